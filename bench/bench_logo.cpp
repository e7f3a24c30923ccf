// "tessary --pdf" with the logo people really have, each against a small
// logo exported the same way in the same run: a phone's 18-megapixel photo,
// a 6 GB file whose first bytes are a small JPEG (the rest sparse zeros),
// and a 5640 x 3172 progressive photo of quality 100, as desktop wallpapers
// are made. A progressive picture must be taken in whole at any scale, so
// that one is also timed as one bare decode, at the scale the program reads
// it: what remains of its export is set against the small logo's.
// Medians of interleaved runs of the whole program, start to exit. The bare
// decode runs in a fresh process of its own each time, as the program's
// does: a process that has decoded the picture before gets its memory back
// without the kernel's page faults, which a start never does.
//
//   bench_logo [PROGRAM]    (default: the tessary of this build tree)
//   bench_logo --decode PICTURE WIDTH HEIGHT    (prints one decode's time)

#include "BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace {

// A photo-like picture: smooth shading with a sensor's noise over it, which
// is what makes a phone's JPEG several megabytes.
QImage photo(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(40u)) - 20;
            line[x] = qRgb(qBound(0, 255 * x / size.width() + noise, 255),
                           qBound(0, 255 * y / size.height() + noise, 255), qBound(0, 128 + noise, 255));
        }
    }
    return image;
}

struct Logo
{
    const char *what;
    QString configHome;
    std::vector<double> millis;
};

bool storeLogo(Logo &logo, const QString &folder, const QString &path)
{
    logo.configHome = folder;
    QDir().mkpath(folder + QStringLiteral("/Darnovi"));
    QFile conf(folder + QStringLiteral("/Darnovi/Tessary.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write("[General]\nFit=Fit Image to Box\nLogo=" + QFile::encodeName(path) + "\n");
    return true;
}

double exportMillis(const QString &program, const Logo &logo, const QString &pdf)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), logo.configHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {QStringLiteral("--pdf"), pdf});
    if (!process.waitForFinished(300000) || process.exitCode() != 0) {
        std::fprintf(stderr, "bench_logo: the export with %s failed: %s\n", logo.what,
                     process.readAll().constData());
        std::exit(1);
    }
    return timer.nsecsElapsed() / 1e6;
}

// One decode of the picture in `path` to `size`, as Qt's reader makes it.
int decodeOnce(const QString &path, QSize size)
{
    QElapsedTimer timer;
    timer.start();
    QImageReader reader(path);
    reader.setScaledSize(size);
    if (reader.read().isNull()) {
        std::fprintf(stderr, "bench_logo: %s does not decode: %s\n", qPrintable(path),
                     qPrintable(reader.errorString()));
        return 1;
    }
    std::printf("%f\n", timer.nsecsElapsed() / 1e6);
    return 0;
}

double decodeMillis(const QString &path, QSize size)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--decode"), path, QString::number(size.width()), QString::number(size.height())});
    const bool finished = process.waitForFinished(300000) && process.exitCode() == 0;
    bool read = false;
    const double millis = process.readAllStandardOutput().trimmed().toDouble(&read);
    if (!finished || !read) {
        std::fprintf(stderr, "bench_logo: the bare decode failed: %s\n", process.readAllStandardError().constData());
        std::exit(1);
    }
    return millis;
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--decode") == 0)
        return decodeOnce(QString::fromLocal8Bit(argv[2]), QSize(std::atoi(argv[3]), std::atoi(argv[4])));
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                     : QCoreApplication::applicationDirPath() + QStringLiteral("/../tessary");
    QTemporaryDir work;
    const QString pdf = work.filePath(QStringLiteral("sheet.pdf"));

    const QString small = work.filePath(QStringLiteral("logo.jpg"));
    const QString large = work.filePath(QStringLiteral("PXL_photo.jpg"));
    const QString huge = work.filePath(QStringLiteral("big.jpg"));
    const QString wallpaper = work.filePath(QStringLiteral("wallpaper.jpg"));
    const QSize wallpaperSize(5640, 3172);
    QImage logoImage(160, 100, QImage::Format_RGB32);
    logoImage.fill(QColor(200, 40, 40));
    QPainter(&logoImage).fillRect(40, 20, 80, 60, QColor(250, 250, 250));
    QImageWriter progressive(wallpaper, "jpeg");
    progressive.setQuality(100);
    progressive.setProgressiveScanWrite(true);
    if (!logoImage.save(small, "JPEG", 92) || !photo(QSize(4896, 3672)).save(large, "JPEG", 92)
        || !QFile::copy(small, huge) || !QFile(huge).resize(qint64(6) << 30)
        || !progressive.write(photo(wallpaperSize))) {
        std::fprintf(stderr, "bench_logo: the logo files could not be made in %s\n", qPrintable(work.path()));
        return 1;
    }

    Logo logos[] = {{"a small logo", {}, {}},
                    {"an 18-megapixel photo", {}, {}},
                    {"a 6 GB file", {}, {}},
                    {"a progressive photo", {}, {}}};
    const QString paths[] = {small, large, huge, wallpaper};
    for (int i = 0; i < 4; ++i)
        if (!storeLogo(logos[i], work.filePath(QStringLiteral("config%1").arg(i)), paths[i]))
            return 1;

    // The card's fitted logo box is 1635 x 1575 twips, 1363 x 1313 pixels at
    // the finest the sheet is drawn; the program decodes the photo at the
    // fewest eighths of its size that keep those.
    const double factor = std::max(1363.0 / wallpaperSize.width(), 1313.0 / wallpaperSize.height());
    const int eighths = std::clamp(int(std::ceil(8 * factor)), 1, 8);
    const QSize decodedSize(wallpaperSize.width() * eighths / 8, wallpaperSize.height() * eighths / 8);
    std::vector<double> decodes;

    // One of each first, so none pays for a cold disk cache.
    for (const Logo &logo : logos)
        exportMillis(program, logo, pdf);
    decodeMillis(wallpaper, decodedSize);
    constexpr int runs = 11;
    for (int run = 0; run < runs; ++run) {
        for (Logo &logo : logos)
            logo.millis.push_back(exportMillis(program, logo, pdf));
        decodes.push_back(decodeMillis(wallpaper, decodedSize));
    }

    const double floor = median(logos[0].millis);
    Bench::report("tessary --pdf, 18-megapixel photo", median(logos[1].millis), "small logo", floor, "ms");
    Bench::report("tessary --pdf, 6 GB file", median(logos[2].millis), "small logo", floor, "ms");
    const double photo = median(logos[3].millis), decode = median(decodes);
    std::printf("progressive %d x %d photo, quality 100, %lld bytes: tessary --pdf %.1f ms, one bare decode "
                "at %d/8 %.1f ms\n",
                wallpaperSize.width(), wallpaperSize.height(), QFileInfo(wallpaper).size(), photo, eighths, decode);
    // The least such a photo's export can cost is the small logo's export
    // plus the one decode no scale avoids.
    Bench::report("tessary --pdf, progressive photo", photo, "small logo + decode", floor + decode, "ms");
    Bench::report("tessary --pdf, progressive - its decode", photo - decode, "small logo", floor, "ms");
    return 0;
}
