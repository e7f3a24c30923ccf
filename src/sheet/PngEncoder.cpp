#include "sheet/PngEncoder.h"

#include "layouts/Failure.h"

#include <QImage>

#include <vector>
#include <zlib.h>

namespace PngEncoder {

namespace {

void appendNumber(QByteArray &out, quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    appendNumber(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto *checked = reinterpret_cast<const Bytef *>(out.constData() + start);
    appendNumber(out, quint32(crc32(crc32(0, nullptr, 0), checked, uInt(out.size() - start))));
}

QByteArray header(const QImage &image)
{
    QByteArray data;
    appendNumber(data, quint32(image.width()));
    appendNumber(data, quint32(image.height()));
    // 8 bits a sample, RGB, deflate, adaptive filtering, not interlaced.
    data.append("\x08\x02\x00\x00\x00", 5);
    return data;
}

QByteArray resolution(const QImage &image)
{
    QByteArray data;
    appendNumber(data, quint32(image.dotsPerMeterX()));
    appendNumber(data, quint32(image.dotsPerMeterY()));
    data.append('\x01'); // the unit is the metre
    return data;
}

// Every row under the "up" filter: each byte less the one above it. A row
// the card repeats (white margins, the sides of a border) becomes a run of
// zeros, which run-length deflate takes at once.
QByteArray compressedRows(const QImage &rgb)
{
    z_stream stream {};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        throw Failure(QStringLiteral("The picture could not be compressed."));
    const int width = rgb.width();
    std::vector<Bytef> above(size_t(3 * width), 0), line(size_t(1 + 3 * width));
    line[0] = 2; // up
    QByteArray out;
    Bytef chunk[65536];
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *pixels = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const Bytef samples[3] = {Bytef(qRed(pixels[x])), Bytef(qGreen(pixels[x])), Bytef(qBlue(pixels[x]))};
            for (int i = 0; i < 3; ++i) {
                line[size_t(1 + 3 * x + i)] = Bytef(samples[i] - above[size_t(3 * x + i)]);
                above[size_t(3 * x + i)] = samples[i];
            }
        }
        stream.next_in = line.data();
        stream.avail_in = uInt(line.size());
        const int flush = y + 1 == rgb.height() ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = chunk;
            stream.avail_out = sizeof chunk;
            deflate(&stream, flush);
            out.append(reinterpret_cast<const char *>(chunk), qsizetype(sizeof chunk - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

} // namespace

QByteArray encode(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    appendChunk(out, "IHDR", header(rgb));
    appendChunk(out, "pHYs", resolution(rgb));
    appendChunk(out, "IDAT", compressedRows(rgb));
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace PngEncoder
