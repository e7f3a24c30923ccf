#pragma once

#include <QImage>
#include <QSize>

// A picture as the boxes show it: stretched to fill a box, or at natural size
// from the box's top-left corner. A large picture need not be kept whole at
// full resolution for either. It may hold the whole of it scaled down, with no
// fewer pixels than any box stretches it to, and beside that its top-left
// corner at full resolution, as much of it as a box shows at natural size.
// A plain image is both at once.
class Picture
{
public:
    Picture() = default;
    Picture(QImage image); // NOLINT: every image is a picture
    Picture(QImage whole, QImage corner, QSize naturalSize);

    bool isNull() const { return m_whole.isNull(); }

    // Width and height at natural size, in pixels.
    QSize size() const { return m_size; }

    // The whole picture, perhaps scaled down: what a stretching box draws.
    const QImage &whole() const { return m_whole; }

    // The picture at natural size from its top-left corner; no larger than
    // size(), and cut off wherever the loader was told no box shows more.
    const QImage &corner() const { return m_corner; }

    bool isReduced() const { return m_whole.size() != m_size; }

    // Equal for copies of one picture.
    qint64 cacheKey() const { return m_whole.cacheKey(); }

private:
    QImage m_whole;
    QImage m_corner;
    QSize m_size;
};
