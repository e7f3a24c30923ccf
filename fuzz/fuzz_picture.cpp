// Arbitrary bytes as a logo or pointer file: the picture loader must either
// give a picture of a sane size or throw Failure, and the cursor's hotspot
// must lie inside the cursor. Some inputs are loaded as the logo boxes load
// them, kept no larger than a small box needs, so the scaled and cut-out
// decoding paths are explored too.

#include "FuzzSupport.h"

#include "layouts/Failure.h"
#include "pictures/HandCursor.h"
#include "pictures/PictureLoader.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::startApplication(argc, argv);
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
            const Picture picture = PictureLoader::decode(bytes, hint, needs, QStringLiteral("fuzz.") + hint);
            const QSize whole = picture.whole().size(), corner = picture.corner().size();
            if (picture.isNull() || qint64(picture.size().width()) * picture.size().height() > PictureLoader::maxPixels
                || whole.width() > picture.size().width() || whole.height() > picture.size().height()
                || corner.width() > picture.size().width() || corner.height() > picture.size().height())
                std::abort();
        } else {
            const QImage image = PictureLoader::decode(bytes, hint, QStringLiteral("fuzz.") + hint);
            if (image.isNull() || qint64(image.width()) * image.height() > PictureLoader::maxPixels)
                std::abort();
        }
    } catch (const Failure &) {
    }

    const QPoint spot = HandCursor::hotspot(bytes);
    if (spot.x() < 0 || spot.y() < 0 || spot.x() > 255 || spot.y() > 255)
        std::abort();
    const QImage cursor = HandCursor::decode(bytes);
    if (!cursor.isNull() && (cursor.width() > 256 || cursor.height() > 256))
        std::abort();
    return 0;
}
