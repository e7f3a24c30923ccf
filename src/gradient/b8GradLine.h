#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class PictureBox;
class PropertyBag;
class QLabel;
class RecentDrawings;
class Services;

// A horizontal bar filled with a two-colour gradient, with an optional
// one-line caption over it: the thin decorative rules of the printed cards.
// The gradient is painted by a fresh clsGrad on every repaint into the
// drawing surface bgMain, which keeps it; rules given the same recent
// drawings repeat each other's. The caption is the label lblCaption, laid
// over the gradient.
//
// A layout creates one from its saved record, then places it:
//     auto *rule = new b8GradLine(services, card);
//     rule->setObjectName("b8GradLine1");
//     rule->ReadProperties(PropertyBag::fromString(declared.properties));
//     rule->setGeometry(...);
// A rule placed on a window at design time gets InitProperties instead.
class b8GradLine : public QWidget
{
    Q_OBJECT
public:
    // Rules handed the same `drawings` share the images of drawings alike.
    explicit b8GradLine(Services &services, QWidget *parent = nullptr,
                        RecentDrawings *drawings = nullptr);

    // Colours are 0x00BBGGRR, system colours with the high bit set.
    qint32 Color1() const { return m_Color1; }
    void setColor1(qint32 value);
    qint32 Color2() const { return m_Color2; }
    void setColor2(qint32 value);
    qint16 Angle() const { return m_Angle; }
    void setAngle(qint16 value);

    // The caption's properties live on lblCaption itself.
    // 0 left, 1 right, 2 centre; any other value throws Failure.
    qint16 Alignment() const;
    void setAlignment(qint16 value);
    QString Caption() const;
    void setCaption(const QString &value);
    QFont Font() const;
    // Named apart from QWidget::setFont, which stays the widget's own font.
    void setCaptionFont(const QFont &value);
    qint32 ForeColor() const;
    void setForeColor(qint32 value);

    // A new instance placed at design time.
    void InitProperties();
    // An instance loaded from a saved layout; no repaint, the resize and
    // show that follow paint it.
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

    static constexpr qint32 defaultColor1 = 0;
    static constexpr qint32 defaultColor2 = 0xFFFFFF;
    static constexpr qint16 defaultAngle = 1;
    static constexpr qint32 defaultForeColor = qint32(0x80000012u);

signals:
    // A property was set, by its saved name ("Color1", "Caption", ...).
    void propertyChanged(const QString &savedName);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

    void Resize();
    void Show();

private:
    void Repaint();
    int HeightInPixels() const;
    int WidthInPixels() const;
    QFont ambientFont() const;
    void applyForeColor(qint32 value);
    void applySurfaceColours();
    qint32 resolved(qint32 colour) const;

    Services &m_services;
    RecentDrawings *m_drawings = nullptr;
    PictureBox *bgMain = nullptr;
    QLabel *lblCaption = nullptr;
    qint32 m_Color1 = defaultColor1;
    qint32 m_Color2 = defaultColor2;
    qint16 m_Angle = defaultAngle;
};
