#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace HandCursor {

inline constexpr auto fileName = "HAND-M.CUR";

// Loads a cursor file with the hotspot the file records in its own header.
// The classic kind of .cur is read here; any other goes through the picture
// loader. Throws Failure when the file cannot be read.
QCursor load(const QString &path);

// The first image of a classic .cur file's bytes, or a null image where the
// bytes are not one (truncated, compressed, PNG inside, not a cursor).
QImage decode(const QByteArray &file);

// The hotspot of the first image of a .cur file's directory, or (0, 0) when
// the header does not hold one.
QPoint hotspot(const QByteArray &header);

} // namespace HandCursor
