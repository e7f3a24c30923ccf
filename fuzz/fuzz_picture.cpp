// Arbitrary bytes as a logo or pointer file: the picture loader must either
// give a picture of a sane size or throw Failure, and the cursor's hotspot
// must lie inside the cursor. Some inputs are decoded from memory as the
// logo boxes load them, kept no larger than a small box needs, so the scaled
// and cut-out decoding paths are explored too. Every input is also written
// to a file and loaded from it as the program loads a logo: whole, and for
// the card's boxes.

#include "FuzzSupport.h"

#include "base/Failure.h"
#include "pictures/HandCursor.h"
#include "pictures/PictureLoader.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir *folder = nullptr;

bool sane(const Picture &picture)
{
    const QSize whole = picture.whole().size(), corner = picture.corner().size();
    return !picture.isNull() && qint64(picture.size().width()) * picture.size().height() <= PictureLoader::maxPixels
        && whole.width() <= picture.size().width() && whole.height() <= picture.size().height()
        && corner.width() <= picture.size().width() && corner.height() <= picture.size().height();
}

bool sane(const QImage &image)
{
    return !image.isNull() && qint64(image.width()) * image.height() <= PictureLoader::maxPixels;
}

// The file path: the regular file opened without blocking, read through
// the bounded device, or through a second, buffered descriptor for the
// formats Qt reads.
void loadFromFile(const QByteArray &bytes, const QString &hint)
{
    const QString path = folder->filePath(QStringLiteral("logo.") + hint);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();
    try {
        if (!sane(PictureLoader::load(path)))
            std::abort();
    } catch (const Failure &) {
    }
    try {
        // What the card's boxes ask for: the fitted box at 1200 dots per
        // inch, and the natural-size box on the screen.
        const PictureLoader::Needs needs{QSize(1363, 1313), QSize(109, 105)};
        if (!sane(PictureLoader::load(path, needs)))
            std::abort();
    } catch (const Failure &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::startApplication(argc, argv);
    static QTemporaryDir temporary;
    if (!temporary.isValid())
        std::abort();
    folder = &temporary;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the name's suffix the user might have typed and,
    // from 6 up, loading for small boxes.
    static const std::array<const char *, 6> suffixes = {"jpg", "bmp", "cur", "", "png", "gif"};
    const QString hint = QLatin1String(suffixes[data[0] % suffixes.size()]);
    const bool forBoxes = data[0] / suffixes.size() % 2 == 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    try {
        if (forBoxes) {
            const PictureLoader::Needs needs{QSize(24, 16), QSize(10, 7)};
            if (!sane(PictureLoader::decode(bytes, hint, needs, QStringLiteral("fuzz.") + hint)))
                std::abort();
        } else if (!sane(PictureLoader::decode(bytes, hint, QStringLiteral("fuzz.") + hint))) {
            std::abort();
        }
    } catch (const Failure &) {
    }
    loadFromFile(bytes, hint);

    const QPoint spot = HandCursor::hotspot(bytes);
    if (spot.x() < 0 || spot.y() < 0 || spot.x() > 255 || spot.y() > 255)
        std::abort();
    const QImage cursor = HandCursor::decode(bytes);
    if (!cursor.isNull() && (cursor.width() > 256 || cursor.height() > 256))
        std::abort();
    return 0;
}
