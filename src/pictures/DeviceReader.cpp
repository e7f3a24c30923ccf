#include "pictures/DeviceReader.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

DeviceReader::DeviceReader(QIODevice &device) : m_device(device), m_start(device.pos()), m_base(m_start)
{
}

qint64 DeviceReader::read(char *data, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        if (m_at == m_end && !fill())
            break;
        const qint64 taken = std::min(count - done, m_end - m_at);
        std::memcpy(data + done, m_buffer.get() + m_at, size_t(taken));
        m_at += taken;
        done += taken;
    }
    return done;
}

bool DeviceReader::skip(qint64 count)
{
    const qint64 buffered = m_end - m_at;
    if (count <= buffered) {
        m_at += count;
        return true;
    }
    count -= buffered;
    m_at = m_end;
    if (!m_device.isSequential()) {
        const qint64 target = m_base + m_end + count;
        if (target > m_device.size() || !m_device.seek(target))
            return false;
        m_base = target;
        m_at = m_end = 0;
        return true;
    }
    while (count > 0) {
        if (!fill())
            return false;
        const qint64 taken = std::min(count, m_end);
        m_at = taken;
        count -= taken;
    }
    return true;
}

qint64 DeviceReader::find(uchar value, qint64 most)
{
    qint64 passed = 0;
    for (;;) {
        if (m_at == m_end && !fill())
            return -1;
        const uchar *from = m_buffer.get() + m_at;
        const auto *hit = static_cast<const uchar *>(std::memchr(from, value, size_t(m_end - m_at)));
        const qint64 span = hit ? hit - from : m_end - m_at;
        passed += span;
        m_at += span;
        if (passed > most)
            return most + 1;
        if (hit)
            return passed;
    }
}

bool DeviceReader::fill()
{
    m_base += m_end;
    m_at = m_end = 0;
    const qint64 got = m_device.read(reinterpret_cast<char *>(m_buffer.get()), capacity);
    if (got <= 0)
        return false;
    m_end = got;
    return true;
}
