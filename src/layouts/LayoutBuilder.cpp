#include "layouts/LayoutBuilder.h"

#include "base/Colour.h"
#include "layouts/Accessibility.h"
#include "layouts/CaptionLabel.h"
#include "layouts/Controls.h"
#include "layouts/Fonts.h"
#include "layouts/FrameBox.h"
#include "layouts/LightPalette.h"
#include "layouts/PictureBox.h"
#include "layouts/ShapeBox.h"
#include "layouts/StretchImage.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <limits>

using namespace Layout;

LayoutBuilder::LayoutBuilder(double twipsPerPixel) : m_twipsPerPixel(twipsPerPixel) {}

QColor LayoutBuilder::colour(int layoutColour)
{
    return Colour::toQColor(layoutColour);
}

static void setRole(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

static Qt::Alignment alignment(Align align)
{
    switch (align) {
    case Align::Right: return Qt::AlignRight | Qt::AlignTop;
    case Align::Center: return Qt::AlignHCenter | Qt::AlignTop;
    case Align::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

void LayoutBuilder::applyWindow(QWidget *window, const Layout::Window &declared) const
{
    window->setObjectName(QLatin1String(declared.name));
    window->setWindowTitle(QLatin1String(declared.caption));
    const QSize client(Twips::toPixels(declared.clientWidth, m_twipsPerPixel),
                       Twips::toPixels(declared.clientHeight, m_twipsPerPixel));
    if (declared.resizable) {
        window->setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        window->resize(client);
    } else {
        window->setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                               | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        window->setFixedSize(client);
    }
    // Both windows start centred on the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), client);
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    if (declared.font.family)
        window->setFont(Fonts::resolve(declared.font));
    // The layouts' colours were chosen against light system colours; a
    // window follows the desktop's colours only when a skin asks it to.
    window->setPalette(LightPalette::palette());
    window->setAutoFillBackground(true);
    setRole(window, QPalette::Window, colour(declared.backColour));
    Accessibility::setWindowRole(window, declared.role == WindowRole::Dialog ? QAccessible::Dialog
                                                                             : QAccessible::Window);
}

bool LayoutBuilder::onPaper(const QWidget *widget)
{
    for (; widget && !widget->isWindow(); widget = widget->parentWidget()) {
        if (widget->property(paperProperty).toBool())
            return true;
    }
    return false;
}

QWidget *LayoutBuilder::create(const Control &declared, QWidget *parent) const
{
    const QString caption = declared.caption ? QString::fromUtf8(declared.caption) : QString();
    switch (declared.kind) {
    case Kind::Frame: {
        auto *frame = new FrameBox(parent);
        frame->setTitle(caption);
        return frame;
    }
    case Kind::TextBox: {
        auto *box = new QLineEdit(parent);
        // A field holds text of any length.
        box->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    case Kind::Label: {
        auto *label = new CaptionLabel(parent);
        label->setAlignment(alignment(declared.align));
        // Without a colour of its own a label writes in the button-text
        // colour of whatever palette it is in: the card's, the window's.
        if (declared.foreColour == inherit)
            label->setForegroundRole(QPalette::ButtonText);
        else
            setRole(label, QPalette::WindowText, colour(declared.foreColour));
        return label;
    }
    case Kind::PictureBox: {
        auto *box = new PictureBox(parent);
        if (declared.backColour != inherit)
            box->setBackground(colour(declared.backColour));
        box->setBorder(declared.border);
        box->setFocusPolicy(Qt::NoFocus);
        return box;
    }
    case Kind::Image: {
        auto *image = new StretchImage(parent);
        image->setStretch(declared.stretch);
        return image;
    }
    case Kind::Shape: {
        auto *shape = new ShapeBox(parent);
        if (declared.foreColour != inherit)
            shape->setBorderColour(colour(declared.foreColour));
        shape->setDotted(declared.dotted);
        if (declared.backColour != inherit)
            shape->setFill(colour(declared.backColour));
        return shape;
    }
    case Kind::PushButton: {
        auto *button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    case Kind::GradLine:
        if (m_factory)
            return m_factory(declared, parent);
        return new QWidget(parent);
    }
    return new QWidget(parent);
}

void LayoutBuilder::build(QWidget *container, std::span<const Control> table, Controls &controls,
                          int index) const
{
    for (const Control &declared : table) {
        QWidget *parent = container;
        if (declared.parent) {
            parent = controls.find(QLatin1String(declared.parent), index);
            if (!parent)
                parent = controls.find(QLatin1String(declared.parent));
            if (!parent)
                parent = container;
        }
        QWidget *widget = create(declared, parent);
        if (declared.paper)
            widget->setProperty(paperProperty, true);
        // Each control on a card holds the card's palette itself rather than
        // inheriting it: under a style sheet (the skin) Qt hands a widget the
        // desktop's palette instead of its parent's.
        if (onPaper(widget))
            widget->setPalette(LightPalette::palette());
        const QString name = QLatin1String(declared.name);
        widget->setObjectName(name);
        widget->setProperty(indexProperty, index);
        const QRect twips(declared.left, declared.top, declared.width, declared.height);
        widget->setProperty(twipsProperty, twips);
        widget->setProperty(tabIndexProperty, declared.tabIndex);
        widget->setProperty(minimumContrastProperty, declared.minimumContrast);
        if (declared.pressable)
            Accessibility::setPressable(widget);
        if (declared.font.family)
            widget->setFont(Fonts::resolve(declared.font));
        if (declared.kind == Kind::Frame) {
            widget->setAutoFillBackground(true);
            if (declared.backColour != inherit)
                setRole(widget, QPalette::Window, colour(declared.backColour));
            if (declared.foreColour != inherit)
                setRole(widget, QPalette::WindowText, colour(declared.foreColour));
        }
        widget->setGeometry(Twips::toPixels(twips, m_twipsPerPixel));
        if (auto *label = qobject_cast<CaptionLabel *>(widget)) {
            label->setCaption(QString::fromUtf8(declared.caption ? declared.caption : ""));
            label->setAutoSize(declared.autoSize);
        }
        if (!declared.visible)
            widget->setHidden(true);
        if (declared.lowered)
            widget->lower();
        controls.add(name, index, widget);
    }
}

void LayoutBuilder::orderTabs(const Controls &controls)
{
    QList<QWidget *> stops;
    for (const auto &widget : controls.all()) {
        if (widget && widget->property(tabIndexProperty).toInt() >= 0
            && widget->focusPolicy() != Qt::NoFocus)
            stops.append(widget);
    }
    std::stable_sort(stops.begin(), stops.end(), [](QWidget *a, QWidget *b) {
        return a->property(tabIndexProperty).toInt() < b->property(tabIndexProperty).toInt();
    });
    for (qsizetype i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1], stops[i]);
}
