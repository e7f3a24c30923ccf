#pragma once

#include "layouts/LayoutTypes.h"
#include "layouts/Twips.h"

#include <QColor>
#include <functional>
#include <span>

class Controls;
class QWidget;

// Turns layout tables into real widgets, each named after its layout name and
// registered by name (and index, for control arrays).
class LayoutBuilder
{
public:
    // Makes the widget of a composite control kind the layouts module does
    // not know itself (the gradient rule), given its declaration and parent.
    using CompositeFactory = std::function<QWidget *(const Layout::Control &, QWidget *parent)>;

    explicit LayoutBuilder(double twipsPerPixel = Twips::perPixel());

    void setCompositeFactory(CompositeFactory factory) { m_factory = std::move(factory); }

    // Client size, border, caption, font and background of a top-level window.
    void applyWindow(QWidget *window, const Layout::Window &declared) const;

    // Builds `table` in order. A control without a parent goes into
    // `container`; any other parent is looked up among the controls already
    // built with the same index.
    void build(QWidget *container, std::span<const Layout::Control> table, Controls &controls,
               int index = -1) const;

    // Orders keyboard focus by the layout's tab indexes.
    static void orderTabs(const Controls &controls);

    // A layout colour (0x00BBGGRR) as a QColor.
    static QColor colour(int layoutColour);

    static constexpr auto twipsProperty = "twips";
    static constexpr auto tabIndexProperty = "tabIndex";
    static constexpr auto indexProperty = "index";
    static constexpr auto paperProperty = "paper";
    static constexpr auto minimumContrastProperty = "minimumContrast";

    // Whether `widget` is paper or lies on paper (a card).
    static bool onPaper(const QWidget *widget);

private:
    QWidget *create(const Layout::Control &declared, QWidget *parent) const;

    double m_twipsPerPixel;
    CompositeFactory m_factory;
};
