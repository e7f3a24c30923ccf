#include "gradient/DeviceContext.h"

#include "base/Colour.h"

#include <algorithm>
#include <cwchar>

namespace {

// Wide enough for the products of two 33-bit lengths met while clipping a
// line whose ends lie anywhere in the 32-bit plane.
using Wide = __int128;

// Rows drawn together when held-back lines are flushed: few enough that the
// cache lines of one band stay in the first-level cache from one line to the
// next, even when the image's row length maps many rows onto the same sets.
constexpr qint32 bandRows = 32;
constexpr std::size_t mostHeldBack = 8192;

template <typename Int>
Int floorDiv(Int n, Int d)
{
    const Int q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

// ceil((2bm + c) / 2a) for positive a and b; 128-bit only where 64 would not
// do, as the wide division is many times slower.
qint64 ceilQuotient(qint64 b, qint64 m, qint64 c, qint64 a)
{
    constexpr qint64 small = qint64(1) << 30;
    if (b < small && a < small && m < small && m > -small)
        return -floorDiv<qint64>(-(2 * b * m + c), 2 * a);
    return qint64(-floorDiv<Wide>(-(Wide(2) * b * m + c), Wide(2) * a));
}

struct Axis
{
    qint64 start = 0;  // coordinate of the first pixel
    int sign = 0;      // direction of travel, -1, 0 or +1
    qint64 length = 0; // |end - start|
    qint64 lo = 0;     // clip range along this axis, inclusive
    qint64 hi = 0;
};

// A line's pixels are k = 0 .. major.length - 1: k steps along the major
// axis and m(k) = floor((2k * minor.length + major.length) / (2 * major.length))
// steps along the minor one, the pixel nearest the true line, halves rounded
// away from the start. The end point itself (k = major.length) is left out.
struct Span
{
    qint64 kLo = 0;
    qint64 kHi = -1;
};

// The pixels inside the clip rectangle, found directly, so a long guide line
// crossing a small window costs only the pixels it leaves.
bool clipSpan(const Axis &major, const Axis &minor, Span &span)
{
    const qint64 b = major.length;
    const qint64 a = minor.length;

    qint64 kLo = major.sign > 0 ? major.lo - major.start : major.start - major.hi;
    qint64 kHi = major.sign > 0 ? major.hi - major.start : major.start - major.lo;
    kLo = std::max<qint64>(kLo, 0);
    kHi = std::min<qint64>(kHi, b - 1);

    const int minorSign = minor.sign != 0 ? minor.sign : 1;
    const qint64 mLo = minorSign > 0 ? minor.lo - minor.start : minor.start - minor.hi;
    const qint64 mHi = minorSign > 0 ? minor.hi - minor.start : minor.start - minor.lo;
    if (mHi < 0)
        return false;
    if (mLo > 0) {
        if (a == 0)
            return false;
        kLo = std::max<qint64>(kLo, ceilQuotient(b, mLo, -b, a));
    }
    if (a > 0)
        kHi = std::min<qint64>(kHi, ceilQuotient(b, mHi, b, a) - 1);
    span = {kLo, kHi};
    return kLo <= kHi;
}

struct Error
{
    qint64 m;   // minor steps taken
    qint64 rem; // in [0, 2 * major.length)
};

Error errorAt(qint64 k, const Axis &major, const Axis &minor)
{
    constexpr qint64 small = qint64(1) << 30;
    if (k < small && minor.length < small && major.length < small) {
        const qint64 numerator = 2 * k * minor.length + major.length;
        return {numerator / (2 * major.length), numerator % (2 * major.length)};
    }
    const Wide numerator = Wide(2) * k * minor.length + major.length;
    const Wide den = Wide(2) * major.length;
    return {qint64(numerator / den), qint64(numerator % den)};
}

void fillRun(QRgb *run, qint64 count, QRgb pixel)
{
    // The C library's wide-character fill is a 32-bit fill tuned for the
    // processor it runs on; the compiler's own loop is not vectorised at the
    // optimisation level the project builds with.
    if constexpr (sizeof(wchar_t) == sizeof(QRgb)) {
        std::wmemset(reinterpret_cast<wchar_t *>(run), wchar_t(pixel), std::size_t(count));
    } else {
        for (qint64 i = 0; i < count; ++i)
            run[i] = pixel;
    }
}

// A shallow line runs along the rows and is cheap to draw at once.
void drawShallow(uchar *origin, qsizetype stride, const Axis &x, const Axis &y, const Span &span,
                 QRgb pixel)
{
    const Error first = errorAt(span.kLo, x, y);
    const int ySign = y.sign != 0 ? y.sign : 1;
    const qint64 x0 = x.start + x.sign * span.kLo;
    const qint64 y0 = y.start + ySign * first.m;
    uchar *p = origin + y0 * stride + x0 * qsizetype(sizeof(QRgb));
    if (y.length == 0) {
        const qint64 count = span.kHi - span.kLo + 1;
        QRgb *run = reinterpret_cast<QRgb *>(p);
        fillRun(x.sign < 0 ? run - (count - 1) : run, count, pixel);
        return;
    }
    const qsizetype along = x.sign * qsizetype(sizeof(QRgb));
    const qsizetype across = ySign * stride;
    const qint64 den = 2 * x.length;
    const qint64 inc = 2 * y.length;
    qint64 rem = first.rem;
    for (qint64 k = span.kLo; k <= span.kHi; ++k) {
        *reinterpret_cast<QRgb *>(p) = pixel;
        p += along;
        rem += inc;
        if (rem >= den) {
            rem -= den;
            p += across;
        }
    }
}

} // namespace

DeviceContext::DeviceContext(QImage &image) : DeviceContext(image, image.rect()) {}

DeviceContext::DeviceContext(QImage &image, const QRect &clip)
    : m_image(image), m_clip(clip.intersected(image.rect()))
{
    if (m_image.depth() != 32)
        m_image.convertTo(QImage::Format_RGB32);
}

DeviceContext::~DeviceContext()
{
    GdiFlush();
}

bool DeviceContext::MoveToEx(int x, int y, QPoint *previous)
{
    if (previous)
        *previous = m_position;
    m_position = QPoint(x, y);
    return true;
}

bool DeviceContext::LineTo(int x, int y)
{
    const QPoint to(x, y);
    if (m_lineLog)
        m_lineLog->push_back({m_position, to, m_pen.colour});
    if (m_pen.style != PS_NULL)
        plotLine(m_position, to, m_pen.colour);
    m_position = to;
    return true;
}

Pen DeviceContext::CreatePen(int style, int width, qint32 colour)
{
    ++m_pensAlive;
    m_mostPensAlive = std::max(m_mostPensAlive, m_pensAlive);
    return Pen{m_nextHandle++, style, width, colour};
}

Pen DeviceContext::SelectObject(const Pen &pen)
{
    const Pen old = m_pen;
    m_pen = pen;
    return old;
}

bool DeviceContext::DeleteObject(Pen &pen)
{
    if (pen.handle <= 0 || pen.handle == m_pen.handle)
        return false;
    pen.handle = -1;
    --m_pensAlive;
    return true;
}

// Someone may replace or shrink the image while the context is alive; what
// would land outside it is dropped rather than written past its end.
bool DeviceContext::imageStillFits() const
{
    return !m_image.isNull() && m_image.depth() == 32 && m_image.rect().contains(m_clip);
}

// Wider pens are drawn one pixel wide too: every painter here asks for one
// pixel, and a wide line would need end caps the platform's own rules define.
void DeviceContext::plotLine(QPoint from, QPoint to, qint32 colour)
{
    if (from == to || m_clip.isEmpty())
        return;
    if (!imageStillFits()) {
        m_heldBack.clear();
        return;
    }
    const qint64 dx = qint64(to.x()) - from.x();
    const qint64 dy = qint64(to.y()) - from.y();
    const Axis x{from.x(), dx > 0 ? 1 : (dx < 0 ? -1 : 0), dx < 0 ? -dx : dx, m_clip.left(),
                 m_clip.right()};
    const Axis y{from.y(), dy > 0 ? 1 : (dy < 0 ? -1 : 0), dy < 0 ? -dy : dy, m_clip.top(),
                 m_clip.bottom()};
    Span span;

    if (x.length > y.length) {
        if (!clipSpan(x, y, span))
            return;
        GdiFlush();
        drawShallow(m_image.bits(), m_image.bytesPerLine(), x, y, span, Colour::toRgb(colour));
        return;
    }

    // Steep, or exactly diagonal, where stepping along x or along y picks the
    // same pixels. Held back as a walk from its top row down.
    if (!clipSpan(y, x, span))
        return;
    const int xSign = x.sign != 0 ? x.sign : 1;
    ColumnWalk walk{};
    walk.inc = 2 * x.length;
    walk.den = 2 * y.length;
    walk.pixel = Colour::toRgb(colour);
    if (y.sign > 0) {
        const Error top = errorAt(span.kLo, y, x);
        walk.row = qint32(y.start + span.kLo);
        walk.lastRow = qint32(y.start + span.kHi);
        walk.x = qint32(x.start + xSign * top.m);
        walk.xStep = xSign;
        walk.rem = top.rem;
    } else {
        // Walking an upward line downward runs its steps backward; with the
        // error term mirrored the column moves at the same rows as forward.
        const Error top = errorAt(span.kHi, y, x);
        walk.row = qint32(y.start - span.kHi);
        walk.lastRow = qint32(y.start - span.kLo);
        walk.x = qint32(x.start + xSign * top.m);
        walk.xStep = -xSign;
        walk.rem = walk.den - 1 - top.rem;
    }
    m_heldBack.push_back(walk);
    if (m_heldBack.size() >= mostHeldBack)
        GdiFlush();
}

void DeviceContext::GdiFlush()
{
    if (m_heldBack.empty())
        return;
    if (!imageStillFits()) {
        m_heldBack.clear();
        return;
    }
    uchar *origin = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    qint32 top = m_heldBack.front().row;
    qint32 bottom = m_heldBack.front().lastRow;
    for (const ColumnWalk &walk : m_heldBack) {
        top = std::min(top, walk.row);
        bottom = std::max(bottom, walk.lastRow);
    }
    // Each band takes the lines in the order they were drawn, so where lines
    // cross, the later one still ends up on top.
    for (qint32 band = top; band <= bottom; band += bandRows) {
        const qint32 bandEnd = std::min(bottom, band + bandRows - 1);
        for (ColumnWalk &walk : m_heldBack) {
            if (walk.row > bandEnd || walk.row > walk.lastRow)
                continue;
            const qint32 stop = std::min(walk.lastRow, bandEnd);
            uchar *p = origin + qsizetype(walk.row) * stride + qsizetype(walk.x) * qsizetype(sizeof(QRgb));
            const qsizetype side = qsizetype(walk.xStep) * qsizetype(sizeof(QRgb));
            // Locals, not the walk's fields: a store through a pixel pointer
            // could alias them, and the compiler would reload them for every
            // pixel.
            const qint32 rows = stop - walk.row + 1;
            const QRgb pixel = walk.pixel;
            const qint64 inc = walk.inc;
            const qint64 den = walk.den;
            if (inc == 0) {
                // Upright: the column never moves.
                for (qint32 i = 0; i < rows; ++i, p += stride)
                    *reinterpret_cast<QRgb *>(p) = pixel;
            } else {
                qint64 rem = walk.rem;
                qint32 moves = 0;
                for (qint32 i = 0; i < rows; ++i) {
                    *reinterpret_cast<QRgb *>(p) = pixel;
                    p += stride;
                    rem += inc;
                    if (rem >= den) {
                        rem -= den;
                        p += side;
                        ++moves;
                    }
                }
                walk.rem = rem;
                walk.x += moves * walk.xStep;
            }
            walk.row = stop + 1;
        }
    }
    m_heldBack.clear();
}
