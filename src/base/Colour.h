#pragma once

#include <QColor>
#include <QRgb>

// The program's colours are 32-bit values laid out as 0x00BBGGRR, red in the
// low byte, as the layouts and the gradient painters store them. These are
// the one way into Qt's colours and the one way back.
namespace Colour {

constexpr QRgb toRgb(qint32 colour)
{
    const quint32 c = quint32(colour);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

constexpr qint32 fromRgb(QRgb rgb)
{
    return qint32(quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) | (quint32(qBlue(rgb)) << 16));
}

inline QColor toQColor(qint32 colour)
{
    return QColor::fromRgb(toRgb(colour));
}

inline qint32 fromQColor(const QColor &colour)
{
    return fromRgb(colour.rgb());
}

} // namespace Colour
