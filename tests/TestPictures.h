#pragma once

// Pictures for the loader's tests: the committed files of tests/pictures,
// and large ones made on the spot, turned as a phone stores a photo.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QString>
#include <QTransform>
#include <QtEndian>

namespace TestPictures {

inline QString folder()
{
    return qEnvironmentVariable("TESSARY_SOURCE_DIR") + QStringLiteral("/tests/pictures/");
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The four quarters every committed picture shows upright, in reading order.
inline const QColor quarterColours[4] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                                         QColor(255, 255, 0)};

// The middle of a quarter of a picture of `size`.
inline QPoint middleOf(int quarter, QSize size)
{
    return QPoint(size.width() * (quarter % 2 ? 3 : 1) / 4, size.height() * (quarter / 2 ? 3 : 1) / 4);
}

// A photo-like upright picture: the four coloured quarters, with fine
// detail and noise over them as a camera's sensor gives.
inline QImage photo(QSize size, quint32 seed = 1)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int quarter = 0; quarter < 4; ++quarter)
        painter.fillRect(QRect(QPoint(size.width() / 2 * (quarter % 2), size.height() / 2 * (quarter / 2)),
                               size / 2 + QSize(1, 1)),
                         quarterColours[quarter]);
    painter.end();
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(48u)) - 24;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + noise, 255), qBound(0, qGreen(p) + noise, 255),
                           qBound(0, qBlue(p) + noise, 255));
        }
    }
    return image;
}

inline QByteArray encoded(const QImage &image, const char *format, int quality = 90, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// The picture as a camera stores it when its EXIF orientation is
// `orientation`: what a viewer undoes to show `upright`.
inline QImage storedAs(const QImage &upright, int orientation)
{
    switch (orientation) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.mirrored(true, true);
    case 4: return upright.mirrored(false, true);
    case 5: return upright.transformed(QTransform(0, 1, 1, 0, 0, 0));
    case 6: return upright.transformed(QTransform().rotate(-90));
    case 7: return upright.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8: return upright.transformed(QTransform().rotate(90));
    default: return upright;
    }
}

// `jpeg` with an EXIF segment naming the orientation right after its start
// marker.
inline QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    const uchar entry[] = {0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, uchar(orientation), 0, 0, 0, 0, 0, 0};
    tiff += QByteArray(reinterpret_cast<const char *>(entry), sizeof entry);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment += char((body.size() + 2) >> 8);
    segment += char((body.size() + 2) & 0xFF);
    segment += body;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// A phone photo: `upright` stored turned, with its EXIF orientation.
inline QByteArray phoneJpeg(const QImage &upright, int orientation, int quality = 90, bool progressive = false)
{
    return withOrientation(encoded(storedAs(upright, orientation), "JPEG", quality, progressive), orientation);
}

// Mean difference per channel of two pictures of one size.
inline double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32), y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return 255;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col]))
                + std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace TestPictures
