#pragma once

#include <QImage>
#include <QList>
#include <QString>

class DeviceReader;
class QIODevice;

// Reads BMP pictures as Windows and OS/2 write them: 1, 2, 4 and 8 bits per
// pixel with a colour table, 4 and 8 bits run-length encoded, 16, 24 and 32
// bits with or without colour masks, stored bottom-up or top-down. A pixel's
// fourth byte is alpha only where the header declares an alpha mask, and
// alpha that is zero everywhere is taken for a writer that left the bytes
// empty: such a picture shows opaque instead of not at all. Pixels that
// run-length data skips over are transparent.
class BmpDecoder
{
public:
    // The device is positioned at the file's "BM".
    explicit BmpDecoder(QIODevice &device);

    // Reads the headers and the colour table. False, with reason(), when
    // they describe no picture this reads.
    bool readHeader();

    // Width and height, once the header is read.
    QSize size() const { return QSize(m_width, m_height); }

    // Reads the pixels, without reading past them. A null image, with
    // reason(), when the file holds fewer than its header declares; that is
    // known before anything is allocated.
    QImage read();

    QString reason() const { return m_reason; }

private:
    struct Channel
    {
        quint32 mask = 0;
        int shift = 0;
        quint32 most = 0;
        int value(quint32 pixel) const;
    };

    // The info header's bytes, at their offsets in the file's info header.
    struct InfoHeader
    {
        uchar bytes[124] = {};
        int size = 0;
        bool os2 = false;
    };
    // Where run-length data puts its next pixel, which may lie past the
    // picture's edges, and how many of the picture's pixels it has set.
    struct RunCursor
    {
        QImage &image;
        qint64 x = 0;
        qint64 y = 0;
        qint64 covered = 0;
    };
    enum class RunStep { Next, Ended, CutOff, Short };

    bool fail(const QString &reason);
    bool readInfoHeader(InfoHeader &info);
    bool readFormat(const InfoHeader &info);
    bool readMasks(const InfoHeader &info, bool masked);
    bool readColourTable(const InfoHeader &info);
    bool reachPixels(const QImage &image, DeviceReader &in);
    template <typename Convert>
    bool readRows(QImage &image, DeviceReader &in, Convert convert);
    QImage readIndexed();
    QImage readMasked();
    QImage readRunLength();
    RunStep readRun(DeviceReader &in, RunCursor &at) const;
    RunStep readLiteralRun(DeviceReader &in, RunCursor &at, int count) const;
    void put(RunCursor &at, int index) const;

    QIODevice &m_device;
    QString m_reason;
    qint64 m_fileSize = -1;
    qint64 m_position = 0; // bytes of the file read so far
    qint64 m_dataOffset = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_topDown = false;
    int m_bits = 0;
    quint32 m_compression = 0;
    Channel m_red, m_green, m_blue, m_alpha;
    QList<QRgb> m_colours;
};
