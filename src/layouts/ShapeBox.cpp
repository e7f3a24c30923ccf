#include "layouts/ShapeBox.h"

#include <QPainter>

ShapeBox::ShapeBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void ShapeBox::setBorderColour(const QColor &colour)
{
    m_border = colour;
    update();
}

void ShapeBox::setDotted(bool dotted)
{
    m_dotted = dotted;
    update();
}

void ShapeBox::setFill(const QColor &colour)
{
    m_fill = colour;
    update();
}

void ShapeBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int w = width(), h = height();
    const QColor border = m_border.isValid() ? m_border : palette().color(QPalette::WindowText);
    if (m_fill.isValid())
        painter.fillRect(rect(), m_fill);
    // The outline is made of filled one-pixel squares, not a stroked pen, so
    // it keeps its place and weight when rendered onto a printer.
    if (!m_dotted) {
        painter.fillRect(0, 0, w, 1, border);
        painter.fillRect(0, h - 1, w, 1, border);
        painter.fillRect(0, 0, 1, h, border);
        painter.fillRect(w - 1, 0, 1, h, border);
        return;
    }
    for (int x = 0; x < w; x += 2) {
        painter.fillRect(x, 0, 1, 1, border);
        painter.fillRect(x, h - 1, 1, 1, border);
    }
    for (int y = 0; y < h; y += 2) {
        painter.fillRect(0, y, 1, 1, border);
        painter.fillRect(w - 1, y, 1, 1, border);
    }
}
