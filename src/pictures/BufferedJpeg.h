#pragma once

#include <QImage>
#include <QRect>
#include <QString>

class QIODevice;

// A JPEG of several scans (a progressive one, or one scan per component)
// comes out only once all of its data has been taken in, whatever the scale:
// taking it in is most of its cost. So both what the boxes need of a large
// one, the whole picture at a reduced scale and a corner at full
// resolution, come from one pass over its data.
namespace BufferedJpeg {

struct Decoded
{
    // The whole picture at the scale asked for; null when it failed.
    QImage whole;
    // The rectangle asked for, at full resolution.
    QImage corner;
    // Why it failed, in words for the user.
    QString reason;
};

// Decodes the JPEG that the device holds from its current position, the
// whole at `eighths` / 8 of its size and `corner` (within the picture as
// stored) at full size. Neither is turned as its EXIF orientation asks.
Decoded decode(QIODevice &device, int eighths, const QRect &corner);

} // namespace BufferedJpeg
