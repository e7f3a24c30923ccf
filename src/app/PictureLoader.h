#pragma once

#include <QImage>
#include <QString>

namespace PictureLoader {

// Reads a picture file. An empty name gives the empty picture. Anything that
// is not a readable regular file holding a decodable image of a sane size
// throws Failure with a description that names the file and the reason; it
// never blocks on a FIFO or device, and never tries a huge allocation.
QImage load(const QString &path);

// Decodes picture data already read. `formatHint` is the file's suffix; the
// content wins where the two disagree. Failures are as load()'s, naming the
// picture `name`.
QImage decode(const QByteArray &data, const QString &formatHint, const QString &name = QString());

// The largest picture the loader decodes, in pixels.
inline constexpr qint64 maxPixels = qint64(8192) * 8192;

} // namespace PictureLoader
