#include "editor/HandCursor.h"

#include "app/PictureLoader.h"

#include <QFile>
#include <QPixmap>
#include <QtEndian>

namespace HandCursor {

QPoint hotspot(const QByteArray &header)
{
    // ICONDIR: reserved 0, type 2 for cursors, image count; then 16-byte
    // entries whose words at offsets 4 and 6 are the hotspot's x and y.
    if (header.size() < 6 + 16)
        return {};
    const auto *bytes = reinterpret_cast<const uchar *>(header.constData());
    if (qFromLittleEndian<quint16>(bytes) != 0 || qFromLittleEndian<quint16>(bytes + 2) != 2
        || qFromLittleEndian<quint16>(bytes + 4) == 0)
        return {};
    const uchar width = bytes[6], height = bytes[7];
    const int x = qFromLittleEndian<quint16>(bytes + 10);
    const int y = qFromLittleEndian<quint16>(bytes + 12);
    const int w = width == 0 ? 256 : width, h = height == 0 ? 256 : height;
    return QPoint(qBound(0, x, w - 1), qBound(0, y, h - 1));
}

QCursor load(const QString &path)
{
    const QImage image = PictureLoader::load(path);
    QFile file(path);
    QByteArray header;
    if (file.open(QIODevice::ReadOnly))
        header = file.read(6 + 16);
    const QPoint spot = hotspot(header);
    return QCursor(QPixmap::fromImage(image), spot.x(), spot.y());
}

} // namespace HandCursor
