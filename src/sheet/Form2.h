#pragma once

#include "layouts/Controls.h"
#include "layouts/Form2Layout.h"

#include <QCursor>
#include <QWidget>

#include <array>
#include <optional>

class CaptionLabel;
class CardSource;
class PictureBox;
class RecentDrawings;
class Services;
class ShapeBox;
class StretchImage;

// The print preview window: the sheet of six cards, two columns by three
// rows. It is made hidden on first reach, shown modally by "Print Preview",
// and discarded with everything set on it when the user closes it.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static constexpr int cardCount = Form2Layout::cardCount;

    // `card` is what the sheet shows; `parent` the window it belongs to. The
    // cards' rules share `drawings`, which outlives the sheet; with none each
    // rule is swept on its own.
    Form2(CardSource &card, Services &services, QString programFolder, QWidget *parent,
          RecentDrawings *drawings = nullptr);

    // The load step: icon and (unseen) pointer image, the fit mode of the
    // main window, and a first fill.
    void Form_Load();

    // Copies the card's ten fields and logo onto all six cards.
    void Fill_Cards();

    const Controls &controls() const { return m_controls; }
    // Card `k` itself, the box its contents are drawn in.
    PictureBox *card(int k) const { return m_Picture1[std::size_t(k)]; }
    // Card `k`'s logo boxes: the picture at its own size, and stretched.
    PictureBox *imgPrev2(int k) const { return m_imgPrev2[std::size_t(k)]; }
    StretchImage *imgLogoPrev(int k) const { return m_imgLogoPrev[std::size_t(k)]; }
    const std::optional<QCursor> &mouseIcon() const { return m_mouseIcon; }

    static QString location();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    template <typename T>
    using PerCard = std::array<T *, cardCount>;

    // Fills the typed members below from the built layout; the one place
    // that looks a control up by name.
    void bindControls();

    CardSource &m_card;
    Services &m_services;
    QString m_programFolder;
    Controls m_controls;
    PerCard<PictureBox> m_Picture1{};
    PerCard<PictureBox> m_imgPrev2{};
    PerCard<StretchImage> m_imgLogoPrev{};
    PerCard<CaptionLabel> m_lblPrevLogo{};
    PerCard<ShapeBox> m_Shape3{};
    // The preview labels of fields a to j on each card.
    std::array<std::array<CaptionLabel *, 10>, cardCount> m_previews{};
    std::optional<QCursor> m_mouseIcon;
};
