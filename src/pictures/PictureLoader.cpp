#include "pictures/PictureLoader.h"

#include "base/Failure.h"
#include "pictures/BmpDecoder.h"
#include "pictures/BoundedDevice.h"
#include "pictures/BufferedJpeg.h"
#include "pictures/JpegExtent.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureLoader {

namespace {

using Transformations = QImageIOHandler::Transformations;

Failure failure(const QString &path, const QString &reason)
{
    if (path.isEmpty())
        return Failure(QStringLiteral("The picture cannot be loaded: %1.").arg(reason));
    return Failure(QStringLiteral("The picture \"%1\" cannot be loaded: %2.").arg(path, reason));
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens without blocking and checks the kind of file on the open descriptor,
// so a FIFO or device swapped in after a check is still refused.
std::unique_ptr<QFile> openRegularFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw failure(path, systemReason(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        throw failure(path, systemReason(error));
    }
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw failure(path, QStringLiteral("it is a folder, not a file"));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw failure(path, QStringLiteral("it is not a regular file"));
    }
    auto file = std::make_unique<QFile>();
    // Unbuffered: each decoder reads in pieces of its own, and a buffer here
    // would only read further ahead of it.
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw failure(path, file->errorString());
    }
    return file;
}

void refuseTooLarge(const QSize &size, const QString &name)
{
    if (size.isValid() && qint64(size.width()) * size.height() > maxPixels)
        throw failure(name, QStringLiteral("the picture is %1 x %2 pixels, larger than %3 pixels")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(maxPixels));
}

QImage readOrThrow(QImageReader &reader, const QString &name)
{
    reader.setAllocationLimit(int(maxPixels * 4 / (1024 * 1024)) + 1);
    QImage image = reader.read();
    if (image.isNull()) {
        const QString reason = reader.error() == QImageReader::UnsupportedFormatError
            ? QStringLiteral("it is not a picture in a format this program reads")
            : reader.errorString();
        throw failure(name, reason);
    }
    return image;
}

// How far a picture shown at `size` can shrink and still have
// `needs.stretched` pixels across and down; 1 when it cannot shrink.
double shrinkFactor(const QSize &size, const std::optional<Needs> &needs)
{
    if (!needs || !needs->stretched.isValid() || size.isEmpty())
        return 1;
    const double factor = std::max(double(needs->stretched.width()) / size.width(),
                                   double(needs->stretched.height()) / size.height());
    return std::min(1.0, factor);
}

QSize cornerSize(const QSize &size, const Needs &needs)
{
    return needs.corner.boundedTo(size).expandedTo(QSize(1, 1));
}

// Qt's smooth scaling takes minutes once a side is a few hundred thousand
// pixels long (a 48 x 524,320 picture halved took 87 s); below this it is
// as quick as it should be.
constexpr int longestSmoothSide = 1 << 16;

// Every 2 x 2 block (2 x 1 or 1 x 2 along one side) as its average.
QImage halved(const QImage &image, bool across, bool down)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = across ? source.width() / 2 : source.width();
    const int h = down ? source.height() / 2 : source.height();
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    const int dx = across ? 2 : 1, dy = down ? 2 : 1;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            int a = 0, r = 0, g = 0, b = 0;
            for (int j = 0; j < dy; ++j) {
                const auto *row = reinterpret_cast<const QRgb *>(source.constScanLine(y * dy + j));
                for (int i = 0; i < dx; ++i) {
                    const QRgb p = row[x * dx + i];
                    a += qAlpha(p), r += qRed(p), g += qGreen(p), b += qBlue(p);
                }
            }
            const int n = dx * dy;
            line[x] = qRgba(r / n, g / n, b / n, a / n);
        }
    }
    return out;
}

// Shrinks a picture decoded at full size: the whole smoothed down, the corner
// kept as it is.
Picture reduce(QImage full, const std::optional<Needs> &needs)
{
    const double factor = shrinkFactor(full.size(), needs);
    if (factor >= 1)
        return Picture(std::move(full));
    const QSize size = full.size();
    const QSize shrunk(int(std::ceil(size.width() * factor)), int(std::ceil(size.height() * factor)));
    QImage whole = full;
    // A very long side is first brought down by plain averages, as far as the
    // result still has the pixels it needs.
    while (whole.width() > longestSmoothSide || whole.height() > longestSmoothSide) {
        const bool across = whole.width() > longestSmoothSide && whole.width() / 2 >= shrunk.width();
        const bool down = whole.height() > longestSmoothSide && whole.height() / 2 >= shrunk.height();
        if (!across && !down)
            break;
        QImage smaller = halved(whole, across, down);
        if (smaller.isNull())
            break;
        whole = std::move(smaller);
    }
    const bool stillLong = whole.width() > longestSmoothSide || whole.height() > longestSmoothSide;
    whole = whole.scaled(shrunk, Qt::IgnoreAspectRatio,
                         stillLong ? Qt::FastTransformation : Qt::SmoothTransformation);
    QImage corner = full.copy(QRect(QPoint(0, 0), cornerSize(size, *needs)));
    return Picture(std::move(whole), std::move(corner), size);
}

// A rectangle of the picture as shown, in the picture as stored: the turn
// (after the mirroring) that its EXIF orientation asks for, undone.
QRect storedRect(const QRect &shown, const QSize &stored, Transformations turn)
{
    QRect rect = shown;
    if (turn & QImageIOHandler::TransformationRotate90)
        rect = QRect(shown.y(), stored.height() - shown.x() - shown.width(), shown.height(), shown.width());
    if (turn & QImageIOHandler::TransformationMirror)
        rect.moveLeft(stored.width() - rect.x() - rect.width());
    if (turn & QImageIOHandler::TransformationFlip)
        rect.moveTop(stored.height() - rect.y() - rect.height());
    return rect;
}

// The picture as stored, turned as its EXIF orientation asks: mirrored
// first, then turned a quarter clockwise, as Qt's readers do.
QImage upright(QImage image, Transformations turn)
{
    const bool across = turn & QImageIOHandler::TransformationMirror;
    const bool down = turn & QImageIOHandler::TransformationFlip;
    if (across || down)
        image = std::move(image).mirrored(across, down);
    if (turn & QImageIOHandler::TransformationRotate90)
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// Reads the JPEG in the first `length` bytes of `file`, scaled to `scaled`
// or cut to `clip` (both as stored) when they are given, turned upright.
QImage readJpeg(QIODevice &file, qint64 length, const QString &name, const QSize &scaled = {},
                const QRect &clip = {})
{
    BoundedDevice picture(file, length);
    picture.open(QIODevice::ReadOnly);
    QImageReader reader(&picture, "jpeg");
    reader.setAutoTransform(true);
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    if (clip.isValid())
        reader.setClipRect(clip);
    return readOrThrow(reader, name);
}

Picture readJpegPicture(QIODevice &file, const QString &name, const std::optional<Needs> &needs)
{
    const JpegExtent::Result extent = JpegExtent::measure(file, maxPixels, maxScanBlocks);
    if (extent.status == JpegExtent::Status::TooLarge)
        refuseTooLarge(extent.size, name);
    if (extent.status != JpegExtent::Status::Complete)
        throw failure(name, extent.reason);

    QSize stored;
    Transformations turn;
    {
        BoundedDevice picture(file, extent.length);
        picture.open(QIODevice::ReadOnly);
        QImageReader reader(&picture, "jpeg");
        stored = reader.size();
        turn = reader.transformation();
    }
    if (!stored.isValid())
        throw failure(name, QStringLiteral("the JPEG data is damaged: its header cannot be read"));
    refuseTooLarge(stored, name);
    const bool turned = turn & QImageIOHandler::TransformationRotate90;
    const QSize shown = turned ? stored.transposed() : stored;

    // libjpeg scales by eighths while it decodes; take the fewest eighths that
    // still leave every box all the pixels it can use.
    const double factor = shrinkFactor(shown, needs);
    const int eighths = std::clamp(int(std::ceil(8 * factor - 1e-9)), 1, 8);
    if (eighths == 8)
        return Picture(readJpeg(file, extent.length, name));
    const QRect corner(QPoint(0, 0), cornerSize(shown, *needs));
    if (extent.scans > 1) {
        // All of such a picture is taken in before any of it comes out, so
        // the whole and the corner come from that one pass.
        BoundedDevice picture(file, extent.length);
        picture.open(QIODevice::ReadOnly);
        BufferedJpeg::Decoded decoded = BufferedJpeg::decode(picture, eighths, storedRect(corner, stored, turn));
        if (decoded.whole.isNull())
            throw failure(name, decoded.reason);
        return Picture(upright(std::move(decoded.whole), turn), upright(std::move(decoded.corner), turn), shown);
    }
    // One scan comes out as it is read: the corner's own decode stops at
    // the corner's last row.
    const QSize scaled(std::max(1, stored.width() * eighths / 8), std::max(1, stored.height() * eighths / 8));
    QImage whole = readJpeg(file, extent.length, name, scaled);
    QImage cornerImage = readJpeg(file, extent.length, name, QSize(), storedRect(corner, stored, turn));
    return Picture(std::move(whole), std::move(cornerImage), shown);
}

Picture readBmpPicture(QIODevice &file, const QString &name, const std::optional<Needs> &needs)
{
    BmpDecoder decoder(file);
    if (!decoder.readHeader())
        throw failure(name, decoder.reason());
    refuseTooLarge(decoder.size(), name);
    QImage image = decoder.read();
    if (image.isNull())
        throw failure(name, decoder.reason());
    return reduce(std::move(image), needs);
}

Picture readPicture(QIODevice &file, const QString &formatHint, const QString &name,
                    const std::optional<Needs> &needs)
{
    if (file.size() == 0)
        throw failure(name, QStringLiteral("the file is empty"));
    // Told apart by their content, never by the name: a cut-off logo.jpg is
    // a damaged JPEG, whatever other reader might take it.
    const QByteArray signature = file.peek(2);
    if (signature == "\xFF\xD8")
        return readJpegPicture(file, name, needs);
    if (signature == "BM")
        return readBmpPicture(file, name, needs);

    // Qt's other readers take their bytes a few at a time, which an
    // unbuffered file would turn into a system call each.
    QFile buffered;
    QIODevice *source = &file;
    auto *plain = qobject_cast<QFile *>(&file);
    if (plain && plain->openMode().testFlag(QIODevice::Unbuffered)) {
        const int copy = ::fcntl(plain->handle(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0 || !buffered.open(copy, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
            || !buffered.seek(0)) {
            if (copy >= 0 && !buffered.isOpen())
                ::close(copy);
            throw failure(name, systemReason(errno));
        }
        source = &buffered;
    }
    QImageReader reader(source, formatHint.toLatin1().toLower());
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    refuseTooLarge(reader.size(), name);
    return reduce(readOrThrow(reader, name), needs);
}

Picture loadPicture(const QString &path, const std::optional<Needs> &needs)
{
    if (path.isEmpty())
        return Picture();
    const std::unique_ptr<QFile> file = openRegularFile(path);
    return readPicture(*file, QFileInfo(path).suffix(), path, needs);
}

Picture decodePicture(const QByteArray &data, const QString &formatHint, const QString &name,
                      const std::optional<Needs> &needs)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return readPicture(buffer, formatHint, name, needs);
}

} // namespace

QImage load(const QString &path)
{
    return loadPicture(path, std::nullopt).whole();
}

Picture load(const QString &path, const Needs &needs)
{
    return loadPicture(path, needs);
}

QImage decode(const QByteArray &data, const QString &formatHint, const QString &name)
{
    return decodePicture(data, formatHint, name, std::nullopt).whole();
}

Picture decode(const QByteArray &data, const QString &formatHint, const Needs &needs, const QString &name)
{
    return decodePicture(data, formatHint, name, needs);
}

} // namespace PictureLoader
