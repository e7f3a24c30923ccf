#include "pictures/BmpDecoder.h"

#include "pictures/DeviceReader.h"

#include <QIODevice>
#include <QtEndian>

#include <bit>
#include <limits>

namespace {

constexpr quint32 rgb = 0, rle8 = 1, rle4 = 2, bitFields = 3, jpeg = 4, png = 5, alphaBitFields = 6;

QString shortFile()
{
    return QStringLiteral("the BMP file is shorter than its header says");
}

quint32 at32(const uchar *bytes, int offset, int size)
{
    return offset + 4 <= size ? qFromLittleEndian<quint32>(bytes + offset) : 0;
}

quint16 at16(const uchar *bytes, int offset, int size)
{
    return offset + 2 <= size ? qFromLittleEndian<quint16>(bytes + offset) : 0;
}

} // namespace

int BmpDecoder::Channel::value(quint32 pixel) const
{
    if (most == 0)
        return 0;
    return int((quint64((pixel & mask) >> shift) * 255 + most / 2) / most);
}

BmpDecoder::BmpDecoder(QIODevice &device) : m_device(device)
{
}

bool BmpDecoder::fail(const QString &reason)
{
    m_reason = reason;
    return false;
}

bool BmpDecoder::readHeader()
{
    InfoHeader info;
    if (!readInfoHeader(info) || !readFormat(info))
        return false;
    const bool masked = !info.os2 && (m_compression == bitFields || m_compression == alphaBitFields);
    if (!readMasks(info, masked))
        return false;
    const bool paletted = m_bits == 1 || m_bits == 2 || m_bits == 4 || m_bits == 8;
    if (paletted && !readColourTable(info))
        return false;

    // An offset inside the headers is a writer's mistake; the pixels then
    // follow what was read.
    if (m_dataOffset < m_position)
        m_dataOffset = m_position;
    if (m_fileSize >= 0 && m_dataOffset > m_fileSize)
        return fail(shortFile());

    return true;
}

// The file header and the info header's bytes, as far as its kind has them.
bool BmpDecoder::readInfoHeader(InfoHeader &info)
{
    if (!m_device.isSequential())
        m_fileSize = m_device.size() - m_device.pos();
    uchar file[14 + 4];
    if (m_device.read(reinterpret_cast<char *>(file), sizeof file) != qint64(sizeof file))
        return fail(shortFile());
    if (file[0] != 'B' || file[1] != 'M')
        return fail(QStringLiteral("it is not a BMP file"));
    m_dataOffset = qFromLittleEndian<quint32>(file + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(file + 14);
    // Windows headers of 40, 52, 56, 108 and 124 bytes; OS/2's of 12, and of
    // 16 to 64 bytes, of which only the first fields need be there.
    info.os2 = infoSize == 12 || (infoSize >= 16 && infoSize <= 64 && infoSize != 40
                                  && infoSize != 52 && infoSize != 56);
    if (!info.os2 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return fail(QStringLiteral("its header is of a kind this program does not read"));
    const int infoRead = int(infoSize) - 4;
    if (m_device.read(reinterpret_cast<char *>(info.bytes) + 4, infoRead) != infoRead)
        return fail(shortFile());
    info.size = int(infoSize);
    m_position = 14 + info.size;
    return true;
}

// The size, depth and compression, and whether this reads such a picture.
bool BmpDecoder::readFormat(const InfoHeader &info)
{
    const uchar *bytes = info.bytes;
    const int size = info.size;
    if (size == 12) {
        m_width = at16(bytes, 4, size);
        m_height = at16(bytes, 6, size);
        m_bits = at16(bytes, 10, size);
    } else {
        m_width = qint32(at32(bytes, 4, size));
        const qint32 height = qint32(at32(bytes, 8, size));
        m_topDown = height < 0;
        m_height = height == std::numeric_limits<qint32>::min() ? 0 : (height < 0 ? -height : height);
        m_bits = at16(bytes, 14, size);
        m_compression = at32(bytes, 16, size);
    }
    if (m_width <= 0 || m_height <= 0)
        return fail(QStringLiteral("its header gives it no size"));

    const bool paletted = m_bits == 1 || m_bits == 2 || m_bits == 4 || m_bits == 8;
    const bool direct = m_bits == 16 || m_bits == 24 || m_bits == 32;
    if (!paletted && !direct)
        return fail(QStringLiteral("it has %1 bits per pixel, which no BMP has").arg(m_bits));
    if (m_compression == jpeg || m_compression == png)
        return fail(QStringLiteral("it holds a JPEG or PNG picture inside, which only printers take"));
    const bool masked = !info.os2 && (m_compression == bitFields || m_compression == alphaBitFields);
    const bool known = m_compression == rgb || (m_compression == rle8 && m_bits == 8)
        || (m_compression == rle4 && m_bits == 4) || (masked && (m_bits == 16 || m_bits == 32));
    if (!known)
        return fail(QStringLiteral("its compression (%1 with %2 bits per pixel) is of a kind this program does not read")
                        .arg(m_compression)
                        .arg(m_bits));
    return true;
}

// The colour masks of 16 and 32 bit pictures: the usual ones, or those the
// header carries or that follow it.
bool BmpDecoder::readMasks(const InfoHeader &info, bool masked)
{
    const int size = info.size;
    quint32 masks[4] = {};
    if (m_bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (m_bits == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    if (!info.os2 && size >= 52 && (masked || m_bits == 32)) {
        // Later headers carry the masks themselves; a declared alpha mask
        // counts whether or not the compression field says so.
        if (masked)
            for (int i = 0; i < 3; ++i)
                masks[i] = at32(info.bytes, 40 + 4 * i, size);
        if (size >= 56)
            masks[3] = at32(info.bytes, 52, size);
    } else if (size == 40 && masked) {
        const int count = m_compression == alphaBitFields ? 4 : 3;
        uchar extra[16];
        if (m_device.read(reinterpret_cast<char *>(extra), 4 * count) != 4 * count)
            return fail(shortFile());
        m_position += 4 * count;
        for (int i = 0; i < count; ++i)
            masks[i] = qFromLittleEndian<quint32>(extra + 4 * i);
    }
    Channel *channels[4] = {&m_red, &m_green, &m_blue, &m_alpha};
    for (int i = 0; i < 4; ++i) {
        channels[i]->mask = masks[i];
        channels[i]->shift = masks[i] ? std::countr_zero(masks[i]) : 0;
        channels[i]->most = masks[i] >> channels[i]->shift;
    }
    return true;
}

bool BmpDecoder::readColourTable(const InfoHeader &info)
{
    const qint64 declared = info.size == 12 ? 0 : at32(info.bytes, 32, info.size);
    const int tableSize = 1 << m_bits;
    const int entries = int(declared > 0 && declared < tableSize ? declared : tableSize);
    const int entrySize = info.size == 12 ? 3 : 4;
    // A table may stop short of its declared entries where the pixels
    // begin; an offset inside the headers says nothing about it.
    const qint64 room = m_dataOffset - m_position;
    const int readable = room >= 0 ? int(qMin<qint64>(entries, room / entrySize)) : entries;
    QByteArray table(readable * entrySize, Qt::Uninitialized);
    if (m_device.read(table.data(), table.size()) != table.size())
        return fail(shortFile());
    m_position += table.size();
    const auto *bytes = reinterpret_cast<const uchar *>(table.constData());
    m_colours.reserve(tableSize);
    for (int i = 0; i < readable; ++i)
        m_colours.append(qRgb(bytes[i * entrySize + 2], bytes[i * entrySize + 1], bytes[i * entrySize]));
    // Indexes past the table show black rather than stray memory.
    while (m_colours.size() < (m_compression == rle8 ? 256 : tableSize))
        m_colours.append(qRgb(0, 0, 0));
    return true;
}

QImage BmpDecoder::read()
{
    if (m_compression != rle8 && m_compression != rle4 && m_fileSize >= 0) {
        // Count rows against the bytes there are rather than multiply them
        // out: a header may declare more rows than any file holds. The last
        // row may lack its padding.
        const qint64 rowBytes = (qint64(m_width) * m_bits + 7) / 8;
        const qint64 stride = (qint64(m_width) * m_bits + 31) / 32 * 4;
        const qint64 left = m_fileSize - m_dataOffset - rowBytes;
        if (left < 0 || m_height - 1 > left / stride)
            return m_reason = shortFile(), QImage();
    }
    if (m_compression == rle8 || m_compression == rle4)
        return readRunLength();
    if (m_bits <= 8)
        return readIndexed();
    return readMasked();
}

// The image has been allocated and the reader stands at the first pixel;
// otherwise false, with the reason kept.
bool BmpDecoder::reachPixels(const QImage &image, DeviceReader &in)
{
    if (image.isNull())
        return fail(QStringLiteral("there is not enough memory for it"));
    if (!in.skip(m_dataOffset - m_position))
        return fail(shortFile());
    return true;
}

// Hands each stored row of uncompressed pixels to `convert`, with the image
// line it belongs on. Rows are padded to four bytes, except that the last
// one need not be: a file that ends right after its pixels is whole.
template <typename Convert>
bool BmpDecoder::readRows(QImage &image, DeviceReader &in, Convert convert)
{
    if (!reachPixels(image, in))
        return false;
    const qint64 stride = (qint64(m_width) * m_bits + 31) / 32 * 4;
    const qint64 rowBytes = (qint64(m_width) * m_bits + 7) / 8;
    QByteArray row(stride, Qt::Uninitialized);
    const auto *bytes = reinterpret_cast<const uchar *>(row.constData());
    for (int stored = 0; stored < m_height; ++stored) {
        const qint64 wanted = stored == m_height - 1 ? rowBytes : stride;
        if (in.read(row.data(), wanted) != wanted)
            return fail(shortFile());
        convert(bytes, image.scanLine(m_topDown ? stored : m_height - 1 - stored));
    }
    return true;
}

QImage BmpDecoder::readIndexed()
{
    QImage image(m_width, m_height, QImage::Format_Indexed8);
    if (!image.isNull())
        image.setColorTable(m_colours);
    DeviceReader in(m_device);
    const int perByte = 8 / m_bits;
    const int valueMask = (1 << m_bits) - 1;
    const bool read = readRows(image, in, [&](const uchar *bytes, uchar *line) {
        for (int x = 0; x < m_width; ++x) {
            const int shift = 8 - m_bits * (x % perByte + 1);
            line[x] = uchar((bytes[x / perByte] >> shift) & valueMask);
        }
    });
    return read ? image : QImage();
}

QImage BmpDecoder::readMasked()
{
    const bool alpha = m_alpha.mask != 0;
    QImage image(m_width, m_height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    DeviceReader in(m_device);
    bool anyAlpha = false;
    const bool read = readRows(image, in, [&](const uchar *bytes, uchar *scanLine) {
        auto *line = reinterpret_cast<QRgb *>(scanLine);
        for (int x = 0; x < m_width; ++x) {
            if (m_bits == 24) {
                line[x] = qRgb(bytes[3 * x + 2], bytes[3 * x + 1], bytes[3 * x]);
                continue;
            }
            const quint32 pixel = m_bits == 16 ? qFromLittleEndian<quint16>(bytes + 2 * x)
                                               : qFromLittleEndian<quint32>(bytes + 4 * x);
            const int a = alpha ? m_alpha.value(pixel) : 255;
            anyAlpha = anyAlpha || a != 0;
            line[x] = qRgba(m_red.value(pixel), m_green.value(pixel), m_blue.value(pixel), a);
        }
    });
    if (!read)
        return QImage();
    if (alpha && !anyAlpha) {
        for (int y = 0; y < m_height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < m_width; ++x)
                line[x] |= 0xFF000000u;
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    return image;
}

QImage BmpDecoder::readRunLength()
{
    QImage image(m_width, m_height, QImage::Format_ARGB32);
    DeviceReader in(m_device);
    if (!reachPixels(image, in))
        return QImage();
    image.fill(Qt::transparent);

    // Runs of one pixel take two bytes each; any more than that, or than the
    // row ends and jumps need, is data that belongs to no picture of this size.
    const qint64 most = 4 * (qint64(m_width) + 2) * m_height + 64 * 1024;
    RunCursor at{image};
    RunStep step = RunStep::Next;
    while (step == RunStep::Next && at.y < m_height) {
        if (in.offset() > most)
            return m_reason = QStringLiteral("the BMP's run-length data runs on past its picture"), QImage();
        step = readRun(in, at);
        if (step == RunStep::Short)
            return m_reason = shortFile(), QImage();
    }
    // Data may stop without the end marker once the last row is complete.
    const bool cutOff = step == RunStep::CutOff;
    const bool complete = !cutOff || at.y >= m_height || (at.y == m_height - 1 && at.x >= m_width);
    if (!complete)
        return m_reason = shortFile(), QImage();
    if (at.covered == qint64(m_width) * m_height)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

void BmpDecoder::put(RunCursor &at, int index) const
{
    if (at.x < m_width && at.y < m_height) {
        const int line = int(m_topDown ? at.y : m_height - 1 - at.y);
        reinterpret_cast<QRgb *>(at.image.scanLine(line))[at.x] = m_colours.at(index);
        ++at.covered;
    }
    ++at.x;
}

// One run: pixels of one colour, or an escape (end of line, end of picture,
// a jump, a literal run).
BmpDecoder::RunStep BmpDecoder::readRun(DeviceReader &in, RunCursor &at) const
{
    const bool eight = m_compression == rle8;
    const int count = in.get();
    const int value = in.get();
    if (value < 0)
        return RunStep::CutOff;
    if (count > 0) {
        for (int i = 0; i < count; ++i)
            put(at, eight ? value : (i % 2 == 0 ? value >> 4 : value & 15));
        return RunStep::Next;
    }
    switch (value) {
    case 0: // end of line
        at.x = 0;
        ++at.y;
        return RunStep::Next;
    case 1: // end of picture
        return RunStep::Ended;
    case 2: { // jump right and up
        const int right = in.get(), up = in.get();
        at.x += right;
        at.y += up;
        return up < 0 ? RunStep::CutOff : RunStep::Next;
    }
    default:
        return readLiteralRun(in, at, value);
    }
}

// A literal run of `count` pixels, padded to an even number of bytes.
BmpDecoder::RunStep BmpDecoder::readLiteralRun(DeviceReader &in, RunCursor &at, int count) const
{
    const bool eight = m_compression == rle8;
    const int bytes = eight ? count : (count + 1) / 2;
    for (int i = 0; i < bytes; ++i) {
        const int packed = in.get();
        if (packed < 0)
            return RunStep::Short;
        if (eight) {
            put(at, packed);
        } else {
            put(at, packed >> 4);
            if (2 * i + 1 < count)
                put(at, packed & 15);
        }
    }
    if (bytes % 2 == 1 && in.get() < 0)
        return RunStep::CutOff;
    return RunStep::Next;
}
