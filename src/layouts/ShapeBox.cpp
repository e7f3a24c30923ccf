#include "layouts/ShapeBox.h"

#include <QPaintEngine>
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
    // it keeps its place and weight when rendered onto a printer. Each square
    // is a shape of its own, which PDF viewers keep sharp where one shape of
    // many squares comes out with soft edges.
    //
    // A PDF or a printer writes out the colour and the transform with every
    // fill, hundreds of times for a dotted outline. There the colour is set
    // once and the squares are given in the page's own coordinates.
    const QTransform toDevice = painter.deviceTransform();
    const bool onPage = painter.paintEngine()->type() != QPaintEngine::Raster && toDevice.type() <= QTransform::TxScale;
    if (onPage) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(border);
        painter.setWorldTransform(toDevice.inverted() * painter.worldTransform());
    }
    const auto square = [&](int x, int y, int width, int height) {
        if (onPage)
            painter.drawRect(toDevice.mapRect(QRectF(x, y, width, height)));
        else
            painter.fillRect(x, y, width, height, border);
    };
    if (!m_dotted) {
        square(0, 0, w, 1);
        square(0, h - 1, w, 1);
        square(0, 0, 1, h);
        square(w - 1, 0, 1, h);
        return;
    }
    for (int x = 0; x < w; x += 2) {
        square(x, 0, 1, 1);
        square(x, h - 1, 1, 1);
    }
    for (int y = 0; y < h; y += 2) {
        square(0, y, 1, 1);
        square(w - 1, y, 1, 1);
    }
}
