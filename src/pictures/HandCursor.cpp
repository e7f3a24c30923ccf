#include "pictures/HandCursor.h"

#include "pictures/PictureLoader.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace HandCursor {

namespace {

// A cursor is a few kilobytes; a larger file goes to the picture loader.
constexpr qsizetype mostRead = 1 << 20;

QByteArray readSmallFile(const QString &path)
{
    // Non-blocking, and only a regular file: a FIFO or a device in the
    // cursor's place must not hang the start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray data;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= mostRead) {
        data.resize(qsizetype(info.st_size));
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, size_t(data.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        data.resize(done);
    }
    ::close(fd);
    return data;
}

quint16 word(const uchar *at) { return qFromLittleEndian<quint16>(at); }
quint32 dword(const uchar *at) { return qFromLittleEndian<quint32>(at); }
qint32 sdword(const uchar *at) { return qFromLittleEndian<qint32>(at); }

// Where the first image of a classic cursor lies in the file's bytes.
struct CursorBitmap
{
    int width = 0;
    int height = 0;
    int bits = 0;
    qsizetype paletteSize = 0;
    qsizetype colourStride = 0;
    qsizetype maskStride = 0;
    const uchar *palette = nullptr;
    const uchar *colours = nullptr;
    const uchar *mask = nullptr;
};

// The directory and the bitmap header of a .cur file's first image, when it
// is the classic kind: a bottom-up uncompressed bitmap of 1, 4, 8, 24 or 32
// bits whose height counts its AND mask too, and whose bytes are all there.
std::optional<CursorBitmap> classicCursorHeader(const QByteArray &file)
{
    const auto *bytes = reinterpret_cast<const uchar *>(file.constData());
    const qsizetype size = file.size();
    if (size < 6 + 16 || word(bytes) != 0 || word(bytes + 2) != 2 || word(bytes + 4) == 0)
        return std::nullopt;
    const quint32 offset = dword(bytes + 6 + 12);
    if (offset > quint32(size) || size - qsizetype(offset) < 40)
        return std::nullopt;
    const uchar *dib = bytes + offset;
    const qint32 width = sdword(dib + 4);
    const qint32 doubleHeight = sdword(dib + 8);
    const int bits = word(dib + 14);
    const quint32 headerSize = dword(dib);
    if (headerSize < 40 || headerSize > 1024 || word(dib + 12) != 1 || dword(dib + 16) != 0
        || width < 1 || width > 256 || doubleHeight < 2 || doubleHeight > 512 || doubleHeight % 2 != 0)
        return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return std::nullopt;

    CursorBitmap bitmap;
    bitmap.width = width;
    bitmap.height = doubleHeight / 2;
    bitmap.bits = bits;
    const quint32 paletteUsed = dword(dib + 32);
    bitmap.paletteSize = bits > 8 ? 0 : (paletteUsed && paletteUsed < (1u << bits) ? paletteUsed : 1u << bits);
    bitmap.colourStride = ((qsizetype(width) * bits + 31) / 32) * 4;
    bitmap.maskStride = ((qsizetype(width) + 31) / 32) * 4;
    const qsizetype needed = qsizetype(headerSize) + bitmap.paletteSize * 4
        + (bitmap.colourStride + bitmap.maskStride) * bitmap.height;
    if (size - qsizetype(offset) < needed)
        return std::nullopt;
    bitmap.palette = dib + headerSize;
    bitmap.colours = bitmap.palette + bitmap.paletteSize * 4;
    bitmap.mask = bitmap.colours + bitmap.colourStride * bitmap.height;
    return bitmap;
}

// The bitmap's pixels, transparent where the AND mask says so; nothing when
// an index lies past the colour table.
std::optional<QImage> cursorPixels(const CursorBitmap &bitmap)
{
    const int width = bitmap.width, height = bitmap.height, bits = bitmap.bits;
    bool anyAlpha = false;
    if (bits == 32) {
        for (qsizetype i = 0; i < bitmap.colourStride * height && !anyAlpha; i += 4)
            anyAlpha = bitmap.colours[i + 3] != 0;
    }

    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        // Rows are stored from the bottom up.
        const uchar *row = bitmap.colours + bitmap.colourStride * (height - 1 - y);
        const uchar *maskRow = bitmap.mask + bitmap.maskStride * (height - 1 - y);
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool clear = (maskRow[x / 8] >> (7 - x % 8)) & 1;
            int blue = 0, green = 0, red = 0, alpha = clear ? 0 : 255;
            if (bits >= 24) {
                const uchar *p = row + qsizetype(x) * (bits / 8);
                blue = p[0], green = p[1], red = p[2];
                if (bits == 32 && anyAlpha)
                    alpha = p[3];
            } else {
                const int perByte = 8 / bits;
                const int index = (row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & ((1 << bits) - 1);
                if (index >= bitmap.paletteSize)
                    return std::nullopt;
                const uchar *entry = bitmap.palette + index * 4;
                blue = entry[0], green = entry[1], red = entry[2];
            }
            out[x] = qRgba(red, green, blue, alpha);
        }
    }
    return image;
}

// The first image of a .cur file when it is the classic kind; nothing for
// any other kind, which the picture loader then reads. Reading the classic
// kind here keeps the image plugins out of the program's start.
std::optional<QImage> classicCursorImage(const QByteArray &file)
{
    const std::optional<CursorBitmap> bitmap = classicCursorHeader(file);
    return bitmap ? cursorPixels(*bitmap) : std::nullopt;
}

} // namespace

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

QImage decode(const QByteArray &file)
{
    std::optional<QImage> image = classicCursorImage(file);
    return image ? *image : QImage();
}

QCursor load(const QString &path)
{
    const QByteArray file = readSmallFile(path);
    QImage image = decode(file);
    if (image.isNull())
        image = PictureLoader::load(path);
    QByteArray header = file.left(6 + 16);
    if (header.isEmpty()) {
        QFile big(path);
        if (big.open(QIODevice::ReadOnly))
            header = big.read(6 + 16);
    }
    const QPoint spot = hotspot(header);
    return QCursor(QPixmap::fromImage(image), spot.x(), spot.y());
}

} // namespace HandCursor
