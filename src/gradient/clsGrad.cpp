#include "gradient/clsGrad.h"

#include "app/Services.h"
#include "base/Failure.h"
#include "gradient/ClientRect.h"
#include "gradient/DeviceContext.h"
#include "gradient/RecentDrawings.h"
#include "gradient/SystemColours.h"
#include "gradient/UpdateLock.h"
#include "layouts/PictureBox.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

namespace {

constexpr double degreesToRadians = 3.14159265358979 / 180;

// How the failure being handled reads to the user.
QString currentFailure()
{
    try {
        throw;
    } catch (const Failure &failure) {
        return failure.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory");
    } catch (const std::length_error &) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected failure");
    }
}

// To the nearest 32-bit integer, halves to even.
qint32 toLong(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<qint32>::min()
          && rounded <= std::numeric_limits<qint32>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return qint32(rounded);
}

qint32 moved(qint32 coordinate, int step)
{
    const qint64 result = qint64(coordinate) + step;
    if (result < std::numeric_limits<qint32>::min() || result > std::numeric_limits<qint32>::max())
        throw Failure(QStringLiteral("Overflow"));
    return qint32(result);
}

constexpr qint32 endpointBlock = 1000;

// Far more lines than any window or printed page needs, and few enough that
// their endpoints can be counted in 32 bits and held in memory.
constexpr qint64 maxSweepLines = qint64(1) << 22;

} // namespace

clsGrad::clsGrad(Services &services, RecentDrawings *drawings)
    : m_services(services), m_drawings(drawings)
{
}

qint32 clsGrad::translated(qint32 value) const
{
    if (SystemColours::isSystemReference(value)) {
        const int index = SystemColours::referenceIndex(value);
        if (index < SystemColours::count)
            return SystemColours().GetSysColor(index);
    }
    return value;
}

void clsGrad::setColor1(qint32 value)
{
    m_Color1 = translated(value);
}

void clsGrad::setColor2(qint32 value)
{
    m_Color2 = translated(value);
}

void clsGrad::setAngle(float value)
{
    const double a = value;
    m_Angle = float(a - 360.0 * std::floor(a / 360.0));
}

bool clsGrad::Draw(PictureBox &target)
{
    const Drawing drawing{m_Color1, m_Color2, m_Angle, target.size(), target.clientRect().size()};
    std::optional<DeviceContext> dc;
    RecentDrawings::Surface before;
    const QImage *repeat = nullptr;
    try {
        if (m_drawings) {
            before = RecentDrawings::surfaceOf(target);
            repeat = m_drawings->find(drawing, before);
        }
        dc.emplace(target.canvas(), QRect(QPoint(0, 0), target.clientRect().size()));
    } catch (...) {
        m_services.messageBox(&target, QString(), currentFailure(), MessageIcon::Exclamation);
        return false;
    }
    m_reported = false;
    const bool result = paint(target, *dc, [&](qint32 width, qint32 height) {
        if (!repeat)
            return DrawGradient(*dc, width, height) > 0;
        // Nothing is drawn, so the shared image is put in place only once the
        // device context has let go of the canvas.
        return true;
    });
    dc.reset();
    if (!result || m_reported)
        return result;
    if (repeat)
        target.setCanvas(*repeat);
    // Only a drawing that went through without a word is worth repeating.
    else if (m_drawings)
        m_drawings->add(drawing, before, target.canvas());
    return result;
}

bool clsGrad::Draw(QWidget &window, DeviceContext &dc)
{
    return paint(window, dc, [&](qint32 width, qint32 height) { return DrawGradient(dc, width, height) > 0; });
}

// A repeated drawing goes through every step of a drawing but the sweep: the
// window is locked, its client area measured and the context flushed alike,
// so what fails or is held off does not depend on what was drawn before.
bool clsGrad::paint(QWidget &window, DeviceContext &dc, const std::function<bool(qint32, qint32)> &sweep)
{
    bool result = false;
    const UpdateLock lock(&window);
    try {
        ClientRect client;
        if (GetClientRect(&window, &client) && client.right > 1 && client.bottom > 1)
            result = sweep(client.right, client.bottom);
        // Finish the batched lines while the window is still locked.
        dc.GdiFlush();
    } catch (...) {
        m_reported = true;
        m_services.messageBox(&window, QString(), currentFailure(), MessageIcon::Exclamation);
    }
    return result;
}

void clsGrad::RotatePoint(const GuidePoint &Centre, GuidePoint &Point, float Degrees)
{
    const float rad = float(Degrees * degreesToRadians);
    const float dx = Point.x - Centre.x;
    const float dy = Point.y - Centre.y;
    const double s = std::sin(double(rad));
    const double c = std::cos(double(rad));
    Point.x = float(dy * s + dx * c + Centre.x);
    Point.y = float(Centre.y - (dx * s - dy * c));
}

double clsGrad::SafeDivide(double Numerator, double Divisor)
{
    return Divisor == 0 ? 0 : Numerator / Divisor;
}

qint32 clsGrad::BlendColors(qint32 StartColor, qint32 EndColor, qint32 Steps,
                            std::vector<qint32> &Colors)
{
    if (Steps < 2)
        Steps = 2;
    const qint32 R1 = StartColor & 0xFF;
    const qint32 G1 = (StartColor & 0xFF00) / 256;
    const qint32 B1 = (StartColor & 0xFF0000) / 65536;
    const qint32 R2 = EndColor & 0xFF;
    const qint32 G2 = (EndColor & 0xFF00) / 256;
    const qint32 B2 = (EndColor & 0xFF0000) / 65536;

    // Dividing by the number of steps, not the gaps between them, leaves the
    // last step twice as large; the colours already saved depend on it.
    const float dR = float(SafeDivide(float(R2 - R1), float(Steps)));
    const float dG = float(SafeDivide(float(G2 - G1), float(Steps)));
    const float dB = float(SafeDivide(float(B2 - B1), float(Steps)));

    Colors.assign(std::size_t(Steps), 0);
    Colors[0] = StartColor;
    Colors[std::size_t(Steps) - 1] = EndColor;
    for (qint32 i = 1; i <= Steps - 2; ++i) {
        const float step = float(i);
        Colors[std::size_t(i)] = toLong(G1 + double(step * dG)) * 256 + toLong(R1 + double(step * dR))
            + toLong(B1 + double(step * dB)) * 65536;
    }
    return Steps;
}

// A step that fails is reported and tried once more, as the user may have
// freed what it lacked; one that fails again would go on failing, so the
// drawing is given up.
template <typename Step>
bool clsGrad::attempt(Step &&step)
{
    for (int tries = 0; tries < 2; ++tries) {
        try {
            step();
            return true;
        } catch (...) {
            m_reported = true;
            m_services.messageBox(nullptr, QStringLiteral("GradientRect"), currentFailure(),
                                  MessageIcon::Exclamation);
        }
    }
    return false;
}

// The guide line through the centre of the area, long enough to cross it at
// any angle, turned perpendicular to the gradient direction.
clsGrad::GuideLine clsGrad::guideLine(qint32 Width, qint32 Height) const
{
    GuideLine guide;
    guide.centre = {float(std::floor(Width / 2.0)), float(std::floor(Height / 2.0))};
    const GuidePoint &C = guide.centre;
    const qint32 S = Width > Height ? Width : Height;
    const float R = float((std::sqrt(double(S) * S + double(S) * S) + 2) / 2);
    guide.from = {C.x - R, C.y};
    guide.to = {R + C.x, C.y};

    const double turn = double(m_Angle) + 90;
    const float t = float(turn - 360 * std::floor(turn / 360));
    RotatePoint(C, guide.from, t);
    RotatePoint(C, guide.to, t);
    return guide;
}

// Where the sweep starts and which way it moves: the guide line just outside
// the area, on the side the gradient starts from. A line at exactly 45
// degrees is swept across.
clsGrad::Sweep clsGrad::sweepFor(const GuideLine &guide, qint32 Width, qint32 Height) const
{
    const GuidePoint &P0 = guide.from;
    const GuidePoint &P1 = guide.to;
    const bool across = std::fabs(P0.y - P1.y) >= std::fabs(P0.x - P1.x);
    const float maxX = std::max(P0.x, P1.x), minX = std::min(P0.x, P1.x);
    const float maxY = std::max(P0.y, P1.y), minY = std::min(P0.y, P1.y);
    const Sweep rightward {-maxX, 0, 1, 0};
    const Sweep leftward {float(Width - double(minX)), 0, -1, 0};
    const Sweep upward {0, float(Height - double(minY)), 0, -1};
    const Sweep downward {0, -maxY, 0, 1};
    if (m_Angle >= 0 && m_Angle <= 90)
        return across ? rightward : upward;
    if (m_Angle >= 90 && m_Angle <= 180)
        return across ? leftward : upward;
    if (m_Angle >= 180 && m_Angle <= 270)
        return across ? leftward : downward;
    return across ? rightward : downward;
}

// The guide line's endpoints at every position of the sweep, one pixel
// apart, until both ends are past the far edge. Entries 2k and 2k+1 are the
// ends of line k. Empty after a failure that was given up.
std::vector<clsGrad::Endpoint> clsGrad::sweepEndpoints(const GuideLine &guide, const Sweep &sweep,
                                                       qint32 Width, qint32 Height)
{
    std::vector<Endpoint> points;
    if (!attempt([&] { points.resize(endpointBlock); }))
        return {};
    qint32 n = 0;
    if (!attempt([&] {
            points[0] = {toLong(guide.from.x + sweep.xOffset), toLong(guide.from.y + sweep.yOffset)};
            points[1] = {toLong(guide.to.x + sweep.xOffset), toLong(guide.to.y + sweep.yOffset)};
            n = 2;
        }))
        return {};

    // The sweep's length is known from here on. An area larger than any
    // device would need more endpoints than can be counted or held, so it
    // fails as running out of memory would, before they are collected.
    if (!attempt([&] {
            const Endpoint &a = points[0];
            const Endpoint &b = points[1];
            const qint64 span = sweep.xStep > 0 ? qint64(Width) - std::min(a.x, b.x)
                : sweep.xStep < 0               ? qint64(std::max(a.x, b.x))
                : sweep.yStep > 0               ? qint64(Height) - std::min(a.y, b.y)
                                                : qint64(std::max(a.y, b.y));
            if (span > maxSweepLines)
                throw std::bad_alloc();
        }))
        return {};

    // Endpoints are appended one at a time and the stop test looks at the
    // newest two, so after an odd count it pairs the first end of one line
    // with the second end of the line before, and the sweep can stop with an
    // end left over.
    bool done = false;
    while (!done) {
        if (!attempt([&] {
                const Endpoint &from = points[std::size_t(n) - 2];
                points[std::size_t(n)] = {moved(from.x, sweep.xStep), moved(from.y, sweep.yStep)};
                ++n;
            }))
            return {};
        const Endpoint &newest = points[std::size_t(n) - 1];
        const Endpoint &before = points[std::size_t(n) - 2];
        if (sweep.xStep > 0)
            done = newest.x > Width && before.x > Width;
        else if (sweep.xStep < 0)
            done = newest.x < 0 && before.x < 0;
        else if (sweep.yStep > 0)
            done = newest.y > Height && before.y > Height;
        else if (sweep.yStep < 0)
            done = newest.y < 0 && before.y < 0;
        if (n % endpointBlock == 0
            && !attempt([&] { points.resize(points.size() + endpointBlock); }))
            return {};
    }
    points.resize(std::size_t(n));
    return points;
}

// One solid pen of its own for each line, the colours running along the
// ramp; an unpaired last endpoint is not drawn. Returns twice the number of
// lines drawn.
qint32 clsGrad::drawLines(DeviceContext &TargetDC, const std::vector<Endpoint> &points,
                          const std::vector<qint32> &colours)
{
    const qint32 n = qint32(points.size());
    qint32 i = 0;
    QPoint unused;
    for (; i <= n - 2; i += 2) {
        TargetDC.MoveToEx(points[std::size_t(i)].x, points[std::size_t(i)].y, &unused);
        Pen pen = TargetDC.CreatePen(PS_SOLID, 1, colours[std::size_t(i / 2)]);
        const Pen old = TargetDC.SelectObject(pen);
        TargetDC.LineTo(points[std::size_t(i) + 1].x, points[std::size_t(i) + 1].y);
        TargetDC.SelectObject(old);
        TargetDC.DeleteObject(pen);
    }
    return i;
}

qint32 clsGrad::DrawGradient(DeviceContext &TargetDC, qint32 Width, qint32 Height)
{
    const GuideLine guide = guideLine(Width, Height);
    const Sweep sweep = sweepFor(guide, Width, Height);
    const std::vector<Endpoint> points = sweepEndpoints(guide, sweep, Width, Height);
    if (points.empty())
        return 0;

    // The ramp runs over every line of the sweep, even those at the ends of a
    // slanted sweep that only touch a corner; the device context clips them.
    std::vector<qint32> colours;
    if (!attempt([&] { BlendColors(m_Color1, m_Color2, toLong(points.size() / 2.0), colours); }))
        return 0;
    return drawLines(TargetDC, points, colours);
}
