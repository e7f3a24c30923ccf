#pragma once

#include <QtGlobal>

#include <memory>

class QIODevice;

// Reads through a device in pieces of 64 KB from its current position, so
// that nothing far beyond the point reached is ever read: a picture's
// decoder asks for its bytes as it goes, and a huge file costs no more than
// its picture. (Pieces of 4 KB made walking a 14 MB photo three times as
// slow, in system calls.)
class DeviceReader
{
public:
    explicit DeviceReader(QIODevice &device);

    // The next byte, or -1 at the end of the data.
    int get()
    {
        if (m_at == m_end && !fill())
            return -1;
        return m_buffer[m_at++];
    }

    // Up to `count` bytes into `data`; how many there were.
    qint64 read(char *data, qint64 count);

    // Passes over `count` bytes; false when the data ends first. A
    // random-access device is not read over what is passed.
    bool skip(qint64 count);

    // Moves to the next byte of `value` without taking it, passing over at
    // most `most` other bytes. Returns how many it passed, -1 when the data
    // ends first, or most + 1 when there are more than `most`.
    qint64 find(uchar value, qint64 most);

    // Bytes taken since the start.
    qint64 offset() const { return m_base + m_at - m_start; }

private:
    bool fill();

    QIODevice &m_device;
    qint64 m_start = 0;
    qint64 m_base = 0; // the device position of m_buffer[0]
    static constexpr qint64 capacity = 64 * 1024;
    std::unique_ptr<uchar[]> m_buffer = std::make_unique_for_overwrite<uchar[]>(capacity);
    qint64 m_at = 0;
    qint64 m_end = 0;
};
