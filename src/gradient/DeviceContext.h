#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QtGlobal>

#include <vector>

inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;

// A pen is a plain value: creating, selecting and deleting one allocates
// nothing, so a painter may make one per line without paying for it. The
// handle tells pens of one device context apart; 0 is the stock black pen
// every context starts with.
struct Pen
{
    int handle = 0;
    int style = PS_SOLID;
    int width = 1;
    qint32 colour = 0; // 0x00BBGGRR; bits above the low 24 are ignored
};

// One LineTo as it was asked for, before clipping.
struct DrawnLine
{
    QPoint from;
    QPoint to;
    qint32 colour;

    bool operator==(const DrawnLine &) const = default;
};

// The drawing calls of a window's device context, over a 32-bit backing image
// (a PictureBox canvas, or any QImage). Lines are drawn as the platform draws
// them: one pixel wide, from the current position up to but not including the
// end point, clipped to the context's rectangle.
//
// The lines are rasterised here rather than through QPainter: QPainter cannot
// leave out the end point of a line whichever way it runs (a flat cap drops
// the right or lower end, and a zero-length line still paints its point),
// and changing its pen for every line of a gradient costs far more than the
// pixels do.
//
// Like the platform's, drawing is batched: steep lines are held back and
// drawn together, band by band down the image, because a run of tall lines
// drawn one after another touches every row of the image for every line and
// is several times slower. Everything drawn is in the image once GdiFlush()
// has been called or the context is destroyed; a line that is drawn at once
// first flushes what is held back, so later lines still cover earlier ones.
class DeviceContext
{
public:
    // Images that are not 32 bits deep are converted in place on creation.
    explicit DeviceContext(QImage &image);
    DeviceContext(QImage &image, const QRect &clip);
    ~DeviceContext();
    DeviceContext(const DeviceContext &) = delete;
    DeviceContext &operator=(const DeviceContext &) = delete;

    // Draws whatever is held back.
    void GdiFlush();

    // Sets the current position; the old one goes to `previous` when given.
    bool MoveToEx(int x, int y, QPoint *previous);
    // Draws with the selected pen and moves the current position to (x, y).
    bool LineTo(int x, int y);

    Pen CreatePen(int style, int width, qint32 colour);
    // Selects `pen` and returns the pen it replaces.
    Pen SelectObject(const Pen &pen);
    // Fails (and keeps the pen) while the pen is selected, or when it is the
    // stock pen or was deleted already.
    bool DeleteObject(Pen &pen);

    QPoint currentPosition() const { return m_position; }
    const Pen &selectedPen() const { return m_pen; }
    QRect clipRect() const { return m_clip; }

    // Pens created and not yet deleted, and the most there ever were at once.
    int pensAlive() const { return m_pensAlive; }
    int mostPensAlive() const { return m_mostPensAlive; }
    int pensCreated() const { return m_nextHandle - 1; }

    // When set, every LineTo is appended to `log` with its pen's colour.
    void setLineLog(std::vector<DrawnLine> *log) { m_lineLog = log; }

private:
    // A steep line's pixels from its top row down: one pixel per row, the
    // column moving by xStep whenever the error term passes den.
    struct ColumnWalk
    {
        qint32 row;
        qint32 lastRow;
        qint32 x;
        qint32 xStep;
        qint64 rem;
        qint64 inc;
        qint64 den;
        QRgb pixel;
    };

    void plotLine(QPoint from, QPoint to, qint32 colour);
    bool imageStillFits() const;

    QImage &m_image;
    std::vector<ColumnWalk> m_heldBack;
    QRect m_clip;
    QPoint m_position;
    Pen m_pen;
    int m_nextHandle = 1;
    int m_pensAlive = 0;
    int m_mostPensAlive = 0;
    std::vector<DrawnLine> *m_lineLog = nullptr;
};
