#include "app/PictureLoader.h"

#include "layouts/Failure.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PictureLoader {

static Failure failure(const QString &path, const QString &reason)
{
    if (path.isEmpty())
        return Failure(QStringLiteral("The picture cannot be loaded: %1.").arg(reason));
    return Failure(QStringLiteral("The picture \"%1\" cannot be loaded: %2.").arg(path, reason));
}

static QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Opens without blocking and checks the kind of file on the open descriptor,
// so a FIFO or device swapped in after a check is still refused.
static QByteArray readRegularFile(const QString &path)
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
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw failure(path, file.errorString());
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw failure(path, file.errorString());
    return data;
}

// Whether an uncompressed BMP holds all the pixel rows its header declares.
// Qt's reader stops where the data ends and hands back the rest of the
// picture uninitialised, so a short file would show stray memory as a logo.
static bool bmpHoldsItsRows(const QByteArray &data)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    if (data.size() < 14 + 12)
        return false;
    const qint64 offset = qFromLittleEndian<quint32>(bytes + 10);
    const qint64 infoSize = qFromLittleEndian<quint32>(bytes + 14);
    qint64 width = 0, height = 0, bits = 0, compression = 0;
    if (infoSize == 12) {
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<qint16>(bytes + 20);
        bits = qFromLittleEndian<quint16>(bytes + 24);
    } else {
        if (data.size() < 14 + 40)
            return false;
        width = qFromLittleEndian<qint32>(bytes + 18);
        height = qFromLittleEndian<qint32>(bytes + 22);
        bits = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
    }
    // Run-length data has no fixed size; headers Qt rejects are left to it.
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (!uncompressed || width <= 0 || height == 0 || bits <= 0)
        return true;
    const qint64 rows = height < 0 ? -height : height;
    const qint64 stride = (width * bits + 31) / 32 * 4;
    // The last row may lack its padding. A header may declare more rows than
    // any file could hold, so count rows against the bytes there are rather
    // than multiply them out.
    const qint64 left = data.size() - qMax(offset, 14 + infoSize) - (width * bits + 7) / 8;
    return left >= 0 && rows - 1 <= left / stride;
}

QImage decode(const QByteArray &data, const QString &formatHint, const QString &name)
{
    if (data.isEmpty())
        throw failure(name, QStringLiteral("the file is empty"));

    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Named by its content: with a suffix hint the reader names the format
    // after the hint ("jpg"), and a cut-off logo.jpg would slip past.
    const QByteArray format = QImageReader::imageFormat(&buffer);
    buffer.seek(0);
    QImageReader reader(&buffer, formatHint.toLatin1().toLower());
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > maxPixels)
        throw failure(name, QStringLiteral("the picture is %1 x %2 pixels, larger than %3 pixels")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(maxPixels));
    // libjpeg treats a cut-off file as a warning and pads it with grey; a
    // picture that lost its end is a damaged file, not a logo.
    if (format == "jpeg" && data.lastIndexOf("\xFF\xD9") < qMax<qsizetype>(0, data.size() - 4096))
        throw failure(name, QStringLiteral("the JPEG data is truncated"));
    if (format == "bmp" && !bmpHoldsItsRows(data))
        throw failure(name, QStringLiteral("the BMP file is shorter than its header says"));
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

QImage load(const QString &path)
{
    if (path.isEmpty())
        return QImage();
    return decode(readRegularFile(path), QFileInfo(path).suffix(), path);
}

} // namespace PictureLoader
