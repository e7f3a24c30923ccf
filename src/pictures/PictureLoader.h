#pragma once

#include "base/Picture.h"

#include <QImage>
#include <QSize>
#include <QString>

class QByteArray;

namespace PictureLoader {

// What the boxes that show a picture can use of it.
struct Needs
{
    // The most pixels, across and down, that any box stretches the whole
    // picture to.
    QSize stretched;
    // The most of the picture, from its top-left corner, that any box shows
    // at natural size.
    QSize corner;
};

// Reads a picture file, whole and at full resolution. An empty name gives the
// empty picture. Anything that is not a readable regular file holding a
// decodable image of a sane size (and, for a JPEG, of a sane number of
// scans) throws Failure with a description that names the file and the
// reason; it never blocks on a FIFO or device, and never tries a huge
// allocation. The file is read as the decoder asks for
// it, never past the picture's own end, so data after it costs nothing.
// A JPEG is turned upright as its EXIF orientation says.
QImage load(const QString &path);

// As load(), but keeping no more of a large picture than `needs` says any
// box can show. A JPEG is then decoded at a reduced scale, and its corner at
// full size: on its own, up to the corner's last row, for a JPEG of one
// scan; from the same single decode for a progressive one, which must be
// taken in whole either way. So a big photo costs little more than a small
// logo.
Picture load(const QString &path, const Needs &needs);

// Decode picture data already read. `formatHint` is the file's suffix; the
// content wins where the two disagree. Failures are as load()'s, naming the
// picture `name`.
QImage decode(const QByteArray &data, const QString &formatHint, const QString &name = QString());
Picture decode(const QByteArray &data, const QString &formatHint, const Needs &needs,
               const QString &name = QString());

// The largest picture the loader decodes, in pixels.
inline constexpr qint64 maxPixels = qint64(8192) * 8192;

// The most 8 x 8 blocks that the scans of one JPEG may code between them:
// 32 passes over an 8192 x 8192 plane. A standard progressive colour photo
// of that size takes 14; a file of many more scans only keeps a decoder busy.
inline constexpr qint64 maxScanBlocks = 32 * (maxPixels / 64);

} // namespace PictureLoader
