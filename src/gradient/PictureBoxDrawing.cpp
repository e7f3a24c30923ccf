#include "gradient/PictureBoxDrawing.h"

#include "base/Colour.h"
#include "gradient/DeviceContext.h"
#include "gradient/SystemColours.h"
#include "layouts/PictureBox.h"
#include "layouts/Twips.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

PictureBoxDrawing::PictureBoxDrawing(PictureBox &box)
    : PictureBoxDrawing(box, Twips::perPixel())
{
}

PictureBoxDrawing::PictureBoxDrawing(PictureBox &box, double twipsPerPixel)
    : m_box(box), m_twipsPerPixel(twipsPerPixel)
{
}

PictureBoxDrawing::~PictureBoxDrawing()
{
    finishLines();
}

DeviceContext &PictureBoxDrawing::lines()
{
    if (!m_lines)
        m_lines.emplace(m_box.canvas(), QRect(QPoint(0, 0), m_box.clientRect().size()));
    return *m_lines;
}

void PictureBoxDrawing::drawHeldLine()
{
    if (!m_held)
        return;
    DeviceContext &dc = lines();
    dc.MoveToEx(m_held->from.x(), m_held->from.y(), nullptr);
    Pen pen = dc.CreatePen(PS_SOLID, 1, m_held->colour);
    const Pen old = dc.SelectObject(pen);
    dc.LineTo(m_held->to.x(), m_held->to.y());
    dc.SelectObject(old);
    dc.DeleteObject(pen);
    m_held.reset();
}

void PictureBoxDrawing::finishLines()
{
    drawHeldLine();
    if (!m_lines)
        return;
    m_lines.reset();
    m_box.update();
}

double PictureBoxDrawing::Width() const
{
    return Twips::fromPixels(m_box.width(), m_twipsPerPixel);
}

double PictureBoxDrawing::Height() const
{
    return Twips::fromPixels(m_box.height(), m_twipsPerPixel);
}

double PictureBoxDrawing::ScaleWidth() const
{
    return Twips::fromPixels(m_box.clientRect().width(), m_twipsPerPixel);
}

double PictureBoxDrawing::ScaleHeight() const
{
    return Twips::fromPixels(m_box.clientRect().height(), m_twipsPerPixel);
}

// Coordinates far outside any canvas are pinned to a range the device
// context's 32-bit plane holds; the part of the line that shows is the same.
int PictureBoxDrawing::toPixels(double twips) const
{
    const double pixels = std::nearbyint(twips / m_twipsPerPixel);
    constexpr double limit = std::numeric_limits<int>::max() / 4;
    if (std::isnan(pixels))
        return 0;
    return int(std::clamp(pixels, -limit, limit));
}

// A line between the same two pixels covers the same pixels whatever its
// colour, and a solid pen replaces what it covers, so of a run of such lines
// only the last one shows.
void PictureBoxDrawing::Line(double x1, double y1, double x2, double y2, qint32 colour)
{
    const PixelLine line{QPoint(toPixels(x1), toPixels(y1)), QPoint(toPixels(x2), toPixels(y2)), colour};
    if (m_held && (m_held->from != line.from || m_held->to != line.to))
        drawHeldLine();
    m_held = line;
}

void PictureBoxDrawing::Circle(double x, double y, double radius, qint32 colour)
{
    // Lines drawn before this circle lie under it.
    finishLines();
    QImage &canvas = m_box.canvas();
    QPainter painter(&canvas);
    painter.setClipRect(QRect(QPoint(0, 0), m_box.clientRect().size()));
    painter.setPen(QPen(Colour::toQColor(colour), 0));
    painter.setBrush(Qt::NoBrush);
    const double r = toPixels(radius);
    painter.drawEllipse(QPointF(toPixels(x), toPixels(y)), r, r);
    m_box.update();
}
