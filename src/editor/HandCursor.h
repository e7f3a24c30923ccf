#pragma once

#include <QCursor>
#include <QPoint>
#include <QString>

namespace HandCursor {

inline constexpr auto fileName = "HAND-M.CUR";

// Loads a cursor file through the picture loader, with the hotspot the file
// records in its own header. Throws Failure when the file cannot be read.
QCursor load(const QString &path);

// The hotspot of the first image of a .cur file's directory, or (0, 0) when
// the header does not hold one.
QPoint hotspot(const QByteArray &header);

} // namespace HandCursor
