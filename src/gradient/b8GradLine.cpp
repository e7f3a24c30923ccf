#include "gradient/b8GradLine.h"

#include "base/Failure.h"
#include "gradient/PropertyBag.h"
#include "gradient/SystemColours.h"
#include "gradient/clsGrad.h"
#include "layouts/PictureBox.h"
#include "layouts/Twips.h"

#include <QApplication>
#include <QLabel>

#include <cmath>
#include <limits>

namespace {

// The label keeps its colour as it was set, system-colour reference and
// all, so that a saved layout gets back what it stored.
constexpr auto foreColorProperty = "ForeColor";

// A saved number, as a number or as text (decimal, or hexadecimal with 0x).
qint64 savedNumber(const QVariant &value)
{
    bool ok = false;
    qint64 number = 0;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        number = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    } else {
        number = value.toLongLong(&ok);
    }
    if (!ok)
        throw Failure(QStringLiteral("Type mismatch"));
    return number;
}

// Colours are saved signed or unsigned; both mean the same 32 bits.
qint32 savedColour(const QVariant &value)
{
    const qint64 number = savedNumber(value);
    if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<quint32>::max())
        throw Failure(QStringLiteral("Overflow"));
    return qint32(quint32(number));
}

qint16 savedShort(const QVariant &value)
{
    const qint64 number = savedNumber(value);
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
        throw Failure(QStringLiteral("Overflow"));
    return qint16(number);
}

Qt::Alignment alignmentFlags(qint16 value)
{
    switch (value) {
    case 0:
        return Qt::AlignLeft | Qt::AlignTop;
    case 1:
        return Qt::AlignRight | Qt::AlignTop;
    case 2:
        return Qt::AlignHCenter | Qt::AlignTop;
    }
    throw Failure(QStringLiteral("Invalid property value"));
}

} // namespace

b8GradLine::b8GradLine(Services &services, QWidget *parent, RecentDrawings *drawings)
    : QWidget(parent), m_services(services), m_drawings(drawings)
{
    setAutoFillBackground(true);
    QPalette own = palette();
    own.setColor(QPalette::Window, Qt::white);
    setPalette(own);

    bgMain = new PictureBox(this);
    bgMain->setObjectName(QStringLiteral("bgMain"));
    bgMain->setBorder(false);
    applySurfaceColours();
    bgMain->setGeometry(Twips::toPixels(QRect(210, 30, 4245, 2625)));

    lblCaption = new QLabel(bgMain);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setTextFormat(Qt::PlainText);
    lblCaption->setAutoFillBackground(false);
    lblCaption->setAttribute(Qt::WA_TranslucentBackground);
    lblCaption->setAlignment(alignmentFlags(0));
    lblCaption->setGeometry(Twips::toPixels(QRect(1260, 90, 45, 195)));
    applyForeColor(defaultForeColor);

    resize(Twips::toPixels(4815), Twips::toPixels(1080));
}

void b8GradLine::setColor1(qint32 value)
{
    m_Color1 = value;
    emit propertyChanged(QStringLiteral("Color1"));
    Repaint();
}

void b8GradLine::setColor2(qint32 value)
{
    m_Color2 = value;
    emit propertyChanged(QStringLiteral("Color2"));
    Repaint();
}

void b8GradLine::setAngle(qint16 value)
{
    m_Angle = value;
    emit propertyChanged(QStringLiteral("Angle"));
    Repaint();
}

qint16 b8GradLine::Alignment() const
{
    const Qt::Alignment horizontal = lblCaption->alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight)
        return 1;
    if (horizontal & Qt::AlignHCenter)
        return 2;
    return 0;
}

void b8GradLine::setAlignment(qint16 value)
{
    lblCaption->setAlignment(alignmentFlags(value));
    emit propertyChanged(QStringLiteral("Alignment"));
}

QString b8GradLine::Caption() const
{
    return lblCaption->text();
}

void b8GradLine::setCaption(const QString &value)
{
    lblCaption->setText(value);
    lblCaption->adjustSize();
    emit propertyChanged(QStringLiteral("Caption"));
}

QFont b8GradLine::Font() const
{
    return lblCaption->font();
}

void b8GradLine::setCaptionFont(const QFont &value)
{
    lblCaption->setFont(value);
    lblCaption->adjustSize();
    emit propertyChanged(QStringLiteral("Font"));
}

qint32 b8GradLine::ForeColor() const
{
    return qint32(lblCaption->property(foreColorProperty).toInt());
}

void b8GradLine::setForeColor(qint32 value)
{
    applyForeColor(value);
    emit propertyChanged(QStringLiteral("ForeColor"));
}

void b8GradLine::applyForeColor(qint32 value)
{
    lblCaption->setProperty(foreColorProperty, value);
    QPalette text = lblCaption->palette();
    text.setColor(QPalette::WindowText, SystemColours(palette()).resolve(value));
    lblCaption->setPalette(text);
}

// System colours are those of the palette the rule sits in, so a rule on a
// card takes the card's colours, not the desktop's.
void b8GradLine::applySurfaceColours()
{
    const SystemColours system(palette());
    bgMain->setBackground(system.resolve(SystemColours::reference(5)));
    QPalette surface = bgMain->palette();
    surface.setColor(QPalette::WindowText, system.resolve(SystemColours::reference(8)));
    bgMain->setPalette(surface);
}

qint32 b8GradLine::resolved(qint32 colour) const
{
    if (SystemColours::isSystemReference(colour) && SystemColours::referenceIndex(colour) < SystemColours::count)
        return SystemColours(palette()).GetSysColor(SystemColours::referenceIndex(colour));
    return colour;
}

void b8GradLine::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || !bgMain || !lblCaption)
        return;
    applySurfaceColours();
    applyForeColor(ForeColor());
    Repaint();
}

QFont b8GradLine::ambientFont() const
{
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void b8GradLine::InitProperties()
{
    m_Color2 = defaultColor2;
    m_Color1 = defaultColor1;
    m_Angle = defaultAngle;
}

void b8GradLine::ReadProperties(const PropertyBag &bag)
{
    m_Color1 = savedColour(bag.read(QStringLiteral("Color1"), defaultColor1));
    m_Color2 = savedColour(bag.read(QStringLiteral("Color2"), defaultColor2));
    m_Angle = savedShort(bag.read(QStringLiteral("Angle"), defaultAngle));
    lblCaption->setAlignment(alignmentFlags(savedShort(bag.read(QStringLiteral("Alignment"), 0))));
    lblCaption->setText(bag.read(QStringLiteral("Caption"), QString()).toString());
    const QFont ambient = ambientFont();
    lblCaption->setFont(PropertyBag::fontFromValue(bag.read(QStringLiteral("Font"), ambient), ambient));
    applyForeColor(savedColour(bag.read(QStringLiteral("ForeColor"), defaultForeColor)));
    lblCaption->adjustSize();
}

void b8GradLine::WriteProperties(PropertyBag &bag) const
{
    bag.write(QStringLiteral("Color1"), m_Color1, defaultColor1);
    bag.write(QStringLiteral("Color2"), m_Color2, defaultColor2);
    bag.write(QStringLiteral("Angle"), int(m_Angle), int(defaultAngle));
    bag.write(QStringLiteral("Alignment"), int(Alignment()), 0);
    bag.write(QStringLiteral("Caption"), Caption(), QString());
    bag.write(QStringLiteral("Font"), PropertyBag::fontToString(Font()),
              PropertyBag::fontToString(ambientFont()));
    bag.write(QStringLiteral("ForeColor"), ForeColor(), defaultForeColor);
}

void b8GradLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Resize();
}

void b8GradLine::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Show();
}

int b8GradLine::HeightInPixels() const
{
    return height();
}

int b8GradLine::WidthInPixels() const
{
    return width();
}

void b8GradLine::Resize()
{
    // Too thin to show a gradient; a rule is at least 30 twips high.
    if (HeightInPixels() < 2)
        resize(width(), Twips::toPixels(30));
    // The surface starts one pixel above the control, so a 2-pixel rule
    // shows one gradient row over one row of the control's white.
    bgMain->setGeometry(0, -1, WidthInPixels(), HeightInPixels());
    const float top = float(bgMain->height() - lblCaption->height()) / 2;
    lblCaption->move(3, int(std::nearbyint(top)));
    Repaint();
}

void b8GradLine::Show()
{
    Repaint();
}

void b8GradLine::Repaint()
{
    clsGrad painter(m_services, m_drawings);
    painter.setColor1(resolved(m_Color1));
    painter.setColor2(resolved(m_Color2));
    painter.setAngle(float(m_Angle));
    painter.Draw(*bgMain);
    bgMain->update();
}
