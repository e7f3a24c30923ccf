#include "pictures/JpegExtent.h"

#include "pictures/DeviceReader.h"

#include <QIODevice>

#include <algorithm>
#include <optional>
#include <vector>

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

struct Component
{
    int id = 0;
    int h = 1; // sampling factors
    int v = 1;
};

// What a frame header declares.
struct Frame
{
    qint64 width = 0;
    qint64 height = 0;
    std::vector<Component> components;
    int maxH = 1;
    int maxV = 1;

    QSize size() const { return QSize(int(width), int(height)); }
    qint64 unitsAcross() const { return (width + 8 * maxH - 1) / (8 * maxH); }
    qint64 unitsDown() const { return (height + 8 * maxV - 1) / (8 * maxV); }
};

// Reads a frame header's body, its size first; false when it cannot be a
// picture's.
bool readFrame(const QByteArray &body, Frame &frame)
{
    const auto *bytes = reinterpret_cast<const uchar *>(body.constData());
    frame = Frame();
    if (body.size() < 5)
        return false;
    frame.height = bytes[1] << 8 | bytes[2];
    frame.width = bytes[3] << 8 | bytes[4];
    const int count = body.size() < 6 ? 0 : bytes[5];
    if (frame.width == 0 || frame.height == 0 || count == 0 || body.size() < 6 + 3 * count)
        return false;
    for (int c = 0; c < count; ++c) {
        const uchar *field = bytes + 6 + 3 * c;
        const Component component{field[0], field[1] >> 4, field[1] & 15};
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4)
            return false;
        frame.maxH = std::max(frame.maxH, component.h);
        frame.maxV = std::max(frame.maxV, component.v);
        frame.components.push_back(component);
    }
    return true;
}

// The 8 x 8 blocks of all components that one pass over the picture codes.
qint64 blocksPerPass(const Frame &frame)
{
    int perUnit = 0;
    for (const Component &component : frame.components)
        perUnit += component.h * component.v;
    return frame.unitsAcross() * frame.unitsDown() * perUnit;
}

// The blocks one scan codes, from its header's body: a component of its own
// has only its own blocks, components together fill whole units. -1 when
// the scan names no component of the frame.
qint64 blocksInScan(const Frame &frame, const QByteArray &body)
{
    const auto *bytes = reinterpret_cast<const uchar *>(body.constData());
    const int count = body.isEmpty() ? 0 : bytes[0];
    if (count == 0 || body.size() < 1 + 2 * count)
        return -1;
    qint64 perUnit = 0;
    const Component *only = nullptr;
    for (int c = 0; c < count; ++c) {
        const auto found = std::find_if(frame.components.begin(), frame.components.end(),
                                        [&](const Component &component) { return component.id == bytes[1 + 2 * c]; });
        if (found == frame.components.end())
            return -1;
        perUnit += found->h * found->v;
        only = &*found;
    }
    if (count > 1)
        return frame.unitsAcross() * frame.unitsDown() * perUnit;
    const qint64 across = (frame.width * only->h + frame.maxH - 1) / frame.maxH;
    const qint64 down = (frame.height * only->v + frame.maxV - 1) / frame.maxV;
    return ((across + 7) / 8) * ((down + 7) / 8);
}

// One walk over a picture's data: its markers, the segments they open and
// the coded data of its scans. Each step gives a result when the walk ends
// there.
class Walk
{
public:
    Walk(QIODevice &device, qint64 maxPixels, qint64 maxBlocks)
        : m_in(device), m_maxPixels(maxPixels), m_maxBlocks(maxBlocks)
    {
    }

    Result run();

private:
    std::optional<Result> nextMarker(int &marker);
    std::optional<Result> segment(int marker, QByteArray &body);
    std::optional<Result> scan(const QByteArray &body);
    std::optional<Result> codedData();

    DeviceReader m_in;
    qint64 m_maxPixels = 0;
    qint64 m_maxBlocks = 0;
    Frame m_frame;
    qint64 m_blocks = -1;
    int m_scans = 0;
    qint64 m_scannedBlocks = 0;
    qint64 m_segmentBytes = 0;
    qint64 m_strayBytes = 0;
    int m_pending = -1; // the marker that ended a scan
};

Result Walk::run()
{
    if (m_in.get() != 0xFF || m_in.get() != 0xD8)
        return damaged(QStringLiteral("it does not begin with a start-of-image marker"));
    for (;;) {
        int marker = -1;
        if (std::optional<Result> end = nextMarker(marker))
            return *end;
        if (marker == 0xD9)
            return {Status::Complete, m_in.offset(), QString(), m_frame.size(), m_scans};
        if (marker == 0xD8)
            return damaged(QStringLiteral("a second start-of-image marker before the end"));
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue; // markers without a segment
        QByteArray body;
        if (std::optional<Result> end = segment(marker, body))
            return *end;
        if (marker != 0xDA)
            continue;
        if (std::optional<Result> end = scan(body))
            return *end;
    }
}

// The marker that ended the last scan, or the next one in the data.
std::optional<Result> Walk::nextMarker(int &marker)
{
    marker = m_pending;
    m_pending = -1;
    while (marker < 0) {
        int byte = m_in.get();
        if (byte < 0)
            return truncated();
        if (byte != 0xFF) {
            if (++m_strayBytes > maxStrayBytes)
                return damaged(QStringLiteral("a long run of bytes that belong to no part of a picture"));
            continue;
        }
        do
            byte = m_in.get();
        while (byte == 0xFF); // fill bytes may precede a marker
        if (byte < 0)
            return truncated();
        if (byte == 0x00) {
            m_strayBytes += 2;
            continue;
        }
        marker = byte;
    }
    return std::nullopt;
}

// A marker's segment. The headers of frames and scans are read into `body`;
// every other segment is passed over.
std::optional<Result> Walk::segment(int marker, QByteArray &body)
{
    const int high = m_in.get(), low = m_in.get();
    if (low < 0)
        return truncated();
    const int length = high << 8 | low;
    if (length < 2)
        return damaged(QStringLiteral("a marker segment shorter than its own length field"));
    m_segmentBytes += length;
    if (m_segmentBytes > maxSegmentBytes)
        return damaged(QStringLiteral("more than %1 MB of marker segments").arg(maxSegmentBytes >> 20));
    if (isFrameHeader(marker) || marker == 0xDA) {
        body.resize(length - 2);
        if (m_in.read(body.data(), body.size()) < body.size())
            return truncated();
    } else if (!m_in.skip(length - 2)) {
        return truncated();
    }
    if (isFrameHeader(marker)) {
        const bool described = readFrame(body, m_frame);
        if (m_frame.width * m_frame.height > m_maxPixels)
            return Result{Status::TooLarge, 0, QString(), m_frame.size()};
        if (!described)
            return damaged(QStringLiteral("its frame header describes no picture"));
        m_blocks = blocksPerPass(m_frame);
    }
    return std::nullopt;
}

// A scan: its header counted against the limits, then its coded data.
std::optional<Result> Walk::scan(const QByteArray &body)
{
    if (m_blocks < 0)
        return damaged(QStringLiteral("a scan before the frame header"));
    if (++m_scans > maxScans)
        return damaged(QStringLiteral("more than %1 scans").arg(maxScans));
    // A progressive picture sends its coefficients in parts, and every
    // part costs a pass over what the scan covers however little it
    // adds: the cost follows the scans, not the file's size.
    const qint64 scanBlocks = blocksInScan(m_frame, body);
    if (scanBlocks < 0)
        return damaged(QStringLiteral("a scan header that names no component of the frame"));
    m_scannedBlocks += scanBlocks;
    if (m_scannedBlocks > m_maxBlocks)
        return Result{Status::TooManyBlocks, 0,
                      QStringLiteral("its scans code more than %1 blocks of 8 x 8 pixels, far more decoding "
                                     "than any photo needs")
                          .arg(m_maxBlocks),
                      m_frame.size()};
    return codedData();
}

// Entropy-coded data up to the next marker other than a restart, with
// 0xFF 0x00 standing for a data byte of 0xFF; that marker is kept for the
// walk's next step.
std::optional<Result> Walk::codedData()
{
    const qint64 most = m_blocks * maxBytesPerBlock + scanSlack;
    qint64 coded = 0;
    while (m_pending < 0) {
        const qint64 passed = m_in.find(0xFF, most - coded);
        if (passed < 0)
            return truncated();
        coded += passed;
        if (coded > most)
            return damaged(QStringLiteral("its data runs on past the most a picture of its size can hold"));
        m_in.get();
        int next;
        do
            next = m_in.get();
        while (next == 0xFF);
        if (next < 0)
            return truncated();
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
            coded += 2;
        else
            m_pending = next;
    }
    return std::nullopt;
}

} // namespace

Result measure(QIODevice &device, qint64 maxPixels, qint64 maxBlocks)
{
    return Walk(device, maxPixels, maxBlocks).run();
}

} // namespace JpegExtent
