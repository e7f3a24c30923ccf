#include "pictures/BoundedDevice.h"

BoundedDevice::BoundedDevice(QIODevice &source, qint64 length, QObject *parent)
    : QIODevice(parent), m_source(source), m_length(length)
{
}

qint64 BoundedDevice::readData(char *data, qint64 maxSize)
{
    const qint64 at = pos();
    const qint64 count = qMin(maxSize, m_length - at);
    if (count <= 0)
        return 0;
    if (m_source.pos() != at && !m_source.seek(at))
        return -1;
    return m_source.read(data, count);
}
