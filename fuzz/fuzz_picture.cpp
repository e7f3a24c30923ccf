// Arbitrary bytes as a logo or pointer file: the picture loader must either
// give a picture of a sane size or throw Failure, and the cursor's hotspot
// must lie inside the cursor.

#include "FuzzSupport.h"

#include "app/HandCursor.h"
#include "app/PictureLoader.h"
#include "layouts/Failure.h"

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
    // The first byte picks the name's suffix the user might have typed.
    static const std::array<const char *, 6> suffixes = {"jpg", "bmp", "cur", "", "png", "gif"};
    const QString hint = QLatin1String(suffixes[data[0] % suffixes.size()]);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    try {
        const QImage image = PictureLoader::decode(bytes, hint, QStringLiteral("fuzz.") + hint);
        if (image.isNull() || qint64(image.width()) * image.height() > PictureLoader::maxPixels)
            std::abort();
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
