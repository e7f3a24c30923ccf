#pragma once

#include <QByteArray>

class QImage;

// An opaque picture as the bytes of a PNG file, made for pictures like a
// card: large, mostly white, with long straight runs, and wanted quickly
// rather than small. Qt's own PNG writer tries every row filter on every
// row, and for a card takes longer than the rest of a start and export
// together.
namespace PngEncoder {

// 8-bit RGB, the picture's resolution recorded as its dots per metre.
QByteArray encode(const QImage &image);

} // namespace PngEncoder
