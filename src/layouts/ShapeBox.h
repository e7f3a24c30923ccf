#pragma once

#include <QColor>
#include <QWidget>

// A rectangle outline drawn on its container, solid or dotted, optionally
// filled. It takes no mouse input: clicks go to whatever lies beneath.
class ShapeBox : public QWidget
{
    Q_OBJECT
public:
    explicit ShapeBox(QWidget *parent = nullptr);

    // An invalid colour (the default) draws the outline in the window-text
    // colour of the palette the shape is in.
    void setBorderColour(const QColor &colour);
    void setDotted(bool dotted);
    // An invalid colour leaves the inside transparent.
    void setFill(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_border;
    QColor m_fill;
    bool m_dotted = false;
};
