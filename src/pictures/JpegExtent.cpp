#include "pictures/JpegExtent.h"

#include "pictures/DeviceReader.h"

#include <QIODevice>

#include <algorithm>

namespace JpegExtent {

namespace {

// The most one 8 x 8 block can take in a scan: a 16-bit code and 15 bits of
// value for each of its 64 coefficients, every byte of it stuffed, and a
// restart marker per block. Generous, but it bounds a scan by its picture.
constexpr qint64 maxBytesPerBlock = 64 * (16 + 15) / 8 * 2 + 2;
constexpr qint64 scanSlack = 64 * 1024;
// Progressive pictures hold about ten scans; thousands are only ever made to
// keep a decoder busy.
constexpr int maxScans = 1000;
// Bytes that are neither a marker nor a segment, which decoders skip over.
constexpr qint64 maxStrayBytes = 64 * 1024;
// Marker segments (metadata, tables, profiles) before the end: at most 64 KB
// each, and a photo carries a few of them.
constexpr qint64 maxSegmentBytes = 64 * 1024 * 1024;

Result truncated()
{
    return {Status::Truncated, 0, QStringLiteral("the JPEG data is truncated"), {}};
}

Result damaged(const QString &why)
{
    return {Status::Damaged, 0, QStringLiteral("the JPEG data is damaged: %1").arg(why), {}};
}

bool isFrameHeader(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

QSize frameSize(const QByteArray &frame)
{
    const auto *bytes = reinterpret_cast<const uchar *>(frame.constData());
    if (frame.size() < 5)
        return QSize();
    return QSize(bytes[3] << 8 | bytes[4], bytes[1] << 8 | bytes[2]);
}

// The 8 x 8 blocks of all components that one pass over the picture codes,
// from a frame header's body; -1 when the header cannot be a picture's.
qint64 blockCount(const QByteArray &frame)
{
    const auto *bytes = reinterpret_cast<const uchar *>(frame.constData());
    if (frame.size() < 6)
        return -1;
    const qint64 height = frameSize(frame).height();
    const qint64 width = frameSize(frame).width();
    const int components = bytes[5];
    if (width == 0 || height == 0 || components == 0 || frame.size() < 6 + 3 * components)
        return -1;
    int maxH = 1, maxV = 1, perUnit = 0;
    for (int c = 0; c < components; ++c) {
        const int h = bytes[6 + 3 * c + 1] >> 4, v = bytes[6 + 3 * c + 1] & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            return -1;
        maxH = std::max(maxH, h);
        maxV = std::max(maxV, v);
        perUnit += h * v;
    }
    const qint64 across = (width + 8 * maxH - 1) / (8 * maxH);
    const qint64 down = (height + 8 * maxV - 1) / (8 * maxV);
    return across * down * perUnit;
}

} // namespace

Result measure(QIODevice &device, qint64 maxPixels)
{
    DeviceReader in(device);
    if (in.get() != 0xFF || in.get() != 0xD8)
        return damaged(QStringLiteral("it does not begin with a start-of-image marker"));

    qint64 blocks = -1;
    int scans = 0;
    qint64 segmentBytes = 0;
    qint64 strayBytes = 0;
    int pending = -1; // the marker that ended a scan
    for (;;) {
        int marker = pending;
        pending = -1;
        if (marker < 0) {
            int byte = in.get();
            if (byte < 0)
                return truncated();
            if (byte != 0xFF) {
                if (++strayBytes > maxStrayBytes)
                    return damaged(QStringLiteral("a long run of bytes that belong to no part of a picture"));
                continue;
            }
            do
                byte = in.get();
            while (byte == 0xFF); // fill bytes may precede a marker
            if (byte < 0)
                return truncated();
            if (byte == 0x00) {
                strayBytes += 2;
                continue;
            }
            marker = byte;
        }

        if (marker == 0xD9)
            return {Status::Complete, in.offset(), QString(), {}};
        if (marker == 0xD8)
            return damaged(QStringLiteral("a second start-of-image marker before the end"));
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue; // markers without a segment

        const int high = in.get(), low = in.get();
        if (low < 0)
            return truncated();
        const int length = high << 8 | low;
        if (length < 2)
            return damaged(QStringLiteral("a marker segment shorter than its own length field"));
        segmentBytes += length;
        if (segmentBytes > maxSegmentBytes)
            return damaged(QStringLiteral("more than %1 MB of marker segments").arg(maxSegmentBytes >> 20));
        if (isFrameHeader(marker)) {
            QByteArray frame(length - 2, Qt::Uninitialized);
            for (char &byte : frame) {
                const int next = in.get();
                if (next < 0)
                    return truncated();
                byte = char(next);
            }
            const QSize size = frameSize(frame);
            if (qint64(size.width()) * size.height() > maxPixels)
                return {Status::TooLarge, 0, QString(), size};
            blocks = blockCount(frame);
            if (blocks < 0)
                return damaged(QStringLiteral("its frame header describes no picture"));
        } else if (!in.skip(length - 2)) {
            return truncated();
        }
        if (marker != 0xDA)
            continue;

        // A scan: entropy-coded data up to the next marker other than a
        // restart, with 0xFF 0x00 standing for a data byte of 0xFF.
        if (blocks < 0)
            return damaged(QStringLiteral("a scan before the frame header"));
        if (++scans > maxScans)
            return damaged(QStringLiteral("more than %1 scans").arg(maxScans));
        const qint64 most = blocks * maxBytesPerBlock + scanSlack;
        qint64 coded = 0;
        while (pending < 0) {
            const qint64 passed = in.find(0xFF, most - coded);
            if (passed < 0)
                return truncated();
            coded += passed;
            if (coded > most)
                return damaged(QStringLiteral("its data runs on past the most a picture of its size can hold"));
            in.get();
            int next;
            do
                next = in.get();
            while (next == 0xFF);
            if (next < 0)
                return truncated();
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                coded += 2;
            else
                pending = next;
        }
    }
}

} // namespace JpegExtent
