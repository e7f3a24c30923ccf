#include "TestSupport.h"
#include "TestPictures.h"

#include "base/Failure.h"
#include "pictures/PictureLoader.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace TestPictures;

namespace {

using Quarters = QList<QColor>;

const QColor clear(0, 0, 0, 0);
const Quarters colours = {quarterColours[0], quarterColours[1], quarterColours[2], quarterColours[3]};

// What the boxes of the card need: about what the editor asks for.
const PictureLoader::Needs cardNeeds{QSize(1363, 1313), QSize(109, 105)};

QString failureOf(const std::function<void()> &load)
{
    try {
        load();
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QString();
}

// The bytes this process has read from files so far.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The process's resident memory, and the most it has held since the last
// resetPeakMemory(), in kB.
qint64 memoryKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

class tst_PictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void everyKindShowsUpright_data();
    void everyKindShowsUpright();
    void dataAfterThePictureIsIgnored_data();
    void dataAfterThePictureIsIgnored();
    void damagedPicturesAreRefused_data();
    void damagedPicturesAreRefused();
    void hugeFileReadsOnlyThePicture_data();
    void hugeFileReadsOnlyThePicture();
    void largePhotoDecodesOnlyWhatCanShow_data();
    void largePhotoDecodesOnlyWhatCanShow();
    void progressivePhotoIsDecodedOnce();
    void picturesSentInEndlessScansAreRefused();
    void largePictureOfAnotherKindIsReducedAlike();
    void veryLongPictureIsReduced();
    void smallPictureIsKeptWhole();

private:
    QTemporaryDir m_folder;
};

void tst_PictureLoader::everyKindShowsUpright_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Quarters>("quarters");
    QTest::addColumn<int>("tolerance");

    const Quarters greys = {QColor(0, 0, 0), QColor(255, 255, 255), QColor(96, 96, 96), QColor(192, 192, 192)};
    const Quarters mono = {Qt::black, Qt::white, Qt::white, Qt::black};
    const Quarters clearTopLeft = {clear, colours[1], colours[2], colours[3]};
    const QColor grey(128, 128, 128);

    QTest::newRow("baseline JPEG") << "plain.jpg" << colours << 24;
    QTest::newRow("progressive JPEG") << "progressive.jpg" << colours << 24;
    QTest::newRow("CMYK JPEG from a print shop") << "cmyk.jpg" << colours << 24;
    QTest::newRow("grayscale JPEG") << "grayscale.jpg" << greys << 24;
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("JPEG with EXIF orientation %d", orientation)
            << QStringLiteral("orientation-%1.jpg").arg(orientation) << colours << 24;
    QTest::newRow("JPEG with a thumbnail in its EXIF") << "exif-thumbnail.jpg" << colours << 24;
    QTest::newRow("JPEG with restart markers") << "restart-markers.jpg" << Quarters{grey, grey, grey, grey} << 2;
    QTest::newRow("24-bit BMP stored bottom-up") << "bottomup-24.bmp" << colours << 0;
    QTest::newRow("24-bit BMP stored top-down") << "topdown-24.bmp" << colours << 0;
    QTest::newRow("1-bit BMP") << "mono-1.bmp" << mono << 0;
    QTest::newRow("4-bit BMP") << "indexed-4.bmp" << colours << 0;
    QTest::newRow("8-bit BMP") << "indexed-8.bmp" << colours << 0;
    QTest::newRow("8-bit BMP with an OS/2 header") << "os2-8.bmp" << colours << 0;
    QTest::newRow("RLE8 BMP") << "rle8.bmp" << colours << 0;
    QTest::newRow("RLE4 BMP") << "rle4.bmp" << colours << 0;
    QTest::newRow("RLE8 BMP leaving pixels unset: they are clear")
        << "rle8-skipped.bmp" << Quarters{colours[0], colours[1], colours[2], clear} << 0;
    QTest::newRow("16-bit BMP with colour masks") << "rgb565-bitfields.bmp" << colours << 8;
    QTest::newRow("32-bit BMP whose fourth bytes are zero: opaque")
        << "rgb32-empty-fourth-byte.bmp" << colours << 0;
    QTest::newRow("32-bit BMP with an alpha mask") << "argb32-v5.bmp" << clearTopLeft << 0;
    QTest::newRow("32-bit BMP with alpha bit fields") << "argb32-alphabitfields.bmp" << clearTopLeft << 0;
    QTest::newRow("32-bit BMP declaring alpha that is zero everywhere: opaque")
        << "argb32-v5-alpha-all-zero.bmp" << colours << 0;
    QTest::newRow("PNG with transparency") << "transparent.png" << clearTopLeft << 0;
    QTest::newRow("GIF with transparency") << "transparent.gif" << clearTopLeft << 0;
}

void tst_PictureLoader::everyKindShowsUpright()
{
    QFETCH(QString, file);
    QFETCH(Quarters, quarters);
    QFETCH(int, tolerance);
    const QString path = folder() + file;
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));

    QImage fromFile, fromMemory;
    const QString failure = failureOf([&] {
        fromFile = PictureLoader::load(path);
        fromMemory = PictureLoader::decode(bytesOf(path), QFileInfo(path).suffix(), file);
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(fromMemory, fromFile);
    QCOMPARE(fromFile.size(), file.startsWith(QLatin1String("restart")) ? QSize(32, 8) : QSize(48, 32));
    for (int quarter = 0; quarter < 4; ++quarter) {
        const QColor shown = fromFile.pixelColor(middleOf(quarter, fromFile.size()));
        const QColor wanted = quarters[quarter];
        const QString what = QStringLiteral("quarter %1 is %2 %3 %4 alpha %5").arg(quarter)
                                 .arg(shown.red()).arg(shown.green()).arg(shown.blue()).arg(shown.alpha());
        if (wanted.alpha() == 0) {
            QVERIFY2(shown.alpha() == 0, qPrintable(what));
            continue;
        }
        QVERIFY2(shown.alpha() == 255, qPrintable(what));
        QVERIFY2(std::abs(shown.red() - wanted.red()) <= tolerance
                     && std::abs(shown.green() - wanted.green()) <= tolerance
                     && std::abs(shown.blue() - wanted.blue()) <= tolerance,
                 qPrintable(what));
    }
}

void tst_PictureLoader::dataAfterThePictureIsIgnored_data()
{
    QTest::addColumn<QByteArray>("trailer");
    QByteArray video("\0\0\0\x18" "ftypmp42\0\0\0\0isommp42", 24);
    QRandomGenerator random(7);
    while (video.size() < 2 * 1024 * 1024) {
        const char byte = char(random.bounded(256u));
        // No end marker anywhere near the end of the file.
        if (!(video.endsWith('\xFF') && byte == '\xD9'))
            video += byte;
    }
    QTest::newRow("a motion photo's video") << video;
    static const char makersBlock[] = "\xFF\xD8\xFF\xE1\x00\x10SEFH\x00\x00\x00\x01\xFF\xD9\x00\x00\x00\x00SEFT";
    QTest::newRow("a maker's block holding markers") << QByteArray(makersBlock, sizeof makersBlock - 1);
    QTest::newRow("a second picture, as multi-picture files hold")
        << bytesOf(folder() + QStringLiteral("orientation-6.jpg"));
    QTest::newRow("two megabytes of zeros") << QByteArray(2 * 1024 * 1024, '\0');
}

void tst_PictureLoader::dataAfterThePictureIsIgnored()
{
    QFETCH(QByteArray, trailer);
    const QByteArray plain = bytesOf(folder() + QStringLiteral("plain.jpg"));
    const QString path = m_folder.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(writeFile(path, plain + trailer));

    QImage image;
    const QString failure = failureOf([&] { image = PictureLoader::load(path); });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(image, PictureLoader::decode(plain, QStringLiteral("jpg")));
}

void tst_PictureLoader::damagedPicturesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("reason");

    const QByteArray plain = bytesOf(folder() + QStringLiteral("plain.jpg"));
    const QByteArray thumbnailed = bytesOf(folder() + QStringLiteral("exif-thumbnail.jpg"));
    const QByteArray bmp = bytesOf(folder() + QStringLiteral("bottomup-24.bmp"));
    const QByteArray rle = bytesOf(folder() + QStringLiteral("rle8.bmp"));
    const QString truncated = QStringLiteral("the JPEG data is truncated");
    const QString shortBmp = QStringLiteral("the BMP file is shorter than its header says");

    QTest::newRow("JPEG cut in its data") << plain.left(plain.size() * 3 / 4) << "jpg" << truncated;
    QTest::newRow("JPEG without its end marker") << plain.chopped(2) << "jpg" << truncated;
    QTest::newRow("JPEG cut inside a marker segment") << plain.left(30) << "jpg" << truncated;
    // The thumbnail's own end marker is near the end of what is left.
    QTest::newRow("JPEG with a thumbnail, cut in its data")
        << thumbnailed.left(thumbnailed.size() - 60) << "jpg" << truncated;
    QTest::newRow("JPEG whose data runs on in zeros")
        << plain.left(plain.indexOf("\xFF\xDA")) + plain.mid(plain.indexOf("\xFF\xDA"), 14)
               + QByteArray(1024 * 1024, '\0')
        << "jpg" << "runs on past the most a picture of its size can hold";
    QTest::newRow("start marker and zeros")
        << QByteArray("\xFF\xD8", 2) + QByteArray(200 * 1024, '\0') << "jpg"
        << "bytes that belong to no part of a picture";
    QTest::newRow("BMP cut in its rows") << bmp.left(bmp.size() - 200) << "bmp" << shortBmp;
    QTest::newRow("RLE BMP cut in its runs") << rle.left(rle.size() - 60) << "bmp" << shortBmp;
    QByteArray embedded = bmp;
    qToLittleEndian<quint32>(4, embedded.data() + 30);
    QTest::newRow("BMP holding a JPEG") << embedded << "bmp" << "only printers take";
    QByteArray noWidth = bmp;
    qToLittleEndian<qint32>(0, noWidth.data() + 18);
    QTest::newRow("BMP of no width") << noWidth << "bmp" << "its header gives it no size";
    const QString tooLarge = QStringLiteral("larger than %1 pixels").arg(PictureLoader::maxPixels);
    QByteArray hugeBmp = bmp;
    qToLittleEndian<qint32>(60000, hugeBmp.data() + 18);
    qToLittleEndian<qint32>(60000, hugeBmp.data() + 22);
    QTest::newRow("BMP header of 60000 x 60000 pixels") << hugeBmp << "bmp" << tooLarge;
    QByteArray hugeJpeg = plain;
    qToBigEndian<quint16>(60000, hugeJpeg.data() + hugeJpeg.indexOf("\xFF\xC0") + 5);
    qToBigEndian<quint16>(60000, hugeJpeg.data() + hugeJpeg.indexOf("\xFF\xC0") + 7);
    QTest::newRow("JPEG header of 60000 x 60000 pixels") << hugeJpeg << "jpg" << tooLarge;
    QTest::newRow("empty file") << QByteArray() << "jpg" << "the file is empty";
    QTest::newRow("text named .bmp") << QByteArray("hello\n") << "bmp"
                                     << "it is not a picture in a format this program reads";
}

void tst_PictureLoader::damagedPicturesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, suffix);
    QFETCH(QString, reason);
    const QString path = m_folder.filePath(QStringLiteral("damaged.") + suffix);
    QVERIFY(writeFile(path, bytes));

    const QString viaFile = failureOf([&] { PictureLoader::load(path, cardNeeds); });
    QVERIFY2(viaFile.contains(reason), qPrintable(viaFile));
    QVERIFY2(viaFile.contains(path), qPrintable(viaFile));
    const QString inMemory = failureOf([&] { PictureLoader::decode(bytes, suffix, QStringLiteral("logo")); });
    QVERIFY2(inMemory.contains(reason), qPrintable(inMemory));
}

void tst_PictureLoader::hugeFileReadsOnlyThePicture_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QString>("reason");
    const QByteArray plain = bytesOf(folder() + QStringLiteral("plain.jpg"));
    QTest::newRow("a small JPEG and then 6 GB of zeros") << plain << QString();
    QTest::newRow("6 GB of zeros") << QByteArray() << "not a picture in a format this program reads";
    QTest::newRow("a JPEG's headers and then 6 GB of zeros")
        << plain.left(plain.indexOf("\xFF\xDA") + 14) << "runs on past the most a picture of its size can hold";
    QTest::newRow("a BMP and then 6 GB of zeros") << bytesOf(folder() + QStringLiteral("rle8.bmp")) << QString();
    QByteArray claiming = plain.left(plain.indexOf("\xFF\xDA") + 14);
    qToBigEndian<quint16>(60000, claiming.data() + claiming.indexOf("\xFF\xC0") + 5);
    qToBigEndian<quint16>(60000, claiming.data() + claiming.indexOf("\xFF\xC0") + 7);
    QTest::newRow("a JPEG header claiming 60000 x 60000 pixels and then 6 GB of zeros")
        << claiming << QStringLiteral("larger than %1 pixels").arg(PictureLoader::maxPixels);
}

void tst_PictureLoader::hugeFileReadsOnlyThePicture()
{
    QFETCH(QByteArray, start);
    QFETCH(QString, reason);
    if (bytesRead() < 0 || memoryKb("VmHWM:") < 0 || !resetPeakMemory())
        QSKIP("This kernel does not count a process's reads and memory in /proc.");
    const QString path = m_folder.filePath(QStringLiteral("big.jpg"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(start);
        // Sparse, as `truncate` makes it: it takes no room on the disk.
        if (!file.resize(qint64(6) << 30))
            QSKIP("The temporary folder cannot hold a 6 GB sparse file.");
    }
    PictureLoader::load(folder() + QStringLiteral("plain.jpg")); // the decoders are loaded

    QVERIFY(resetPeakMemory());
    const qint64 residentBefore = memoryKb("VmRSS:");
    const qint64 readBefore = bytesRead();
    const QString failure = failureOf([&] { PictureLoader::load(path, cardNeeds); });
    const qint64 read = bytesRead() - readBefore;
    const qint64 peakRise = memoryKb("VmHWM:") - residentBefore;
    QFile::remove(path);

    if (reason.isEmpty())
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    else
        QVERIFY2(failure.contains(reason), qPrintable(failure));
    QVERIFY2(read < 256 * 1024, qPrintable(QStringLiteral("%1 bytes read").arg(read)));
    QVERIFY2(peakRise < 100 * 1024, qPrintable(QStringLiteral("memory rose by %1 kB").arg(peakRise)));
}

void tst_PictureLoader::largePhotoDecodesOnlyWhatCanShow_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<QSize>("size");
    for (const bool progressive : {false, true})
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("%s, EXIF orientation %d", progressive ? "progressive" : "baseline", orientation)
                << orientation << progressive << QSize(1600, 1200);
    // Sides that end half-way through a row of colour blocks, where the
    // corner of a turned photo lies at the bottom of what is stored.
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("progressive, EXIF orientation %d, 1608 x 1208", orientation)
            << orientation << true << QSize(1608, 1208);
}

void tst_PictureLoader::largePhotoDecodesOnlyWhatCanShow()
{
    QFETCH(int, orientation);
    QFETCH(bool, progressive);
    QFETCH(QSize, size);
    const QImage upright = photo(size);
    const QByteArray jpeg = phoneJpeg(upright, orientation, 90, progressive);
    const QImage full = PictureLoader::decode(jpeg, QStringLiteral("jpg"));
    QCOMPARE(full.size(), upright.size());

    const PictureLoader::Needs needs{QSize(300, 200), QSize(109, 105)};
    const Picture picture = PictureLoader::decode(jpeg, QStringLiteral("jpg"), needs);
    QCOMPARE(picture.size(), upright.size());
    // Two eighths of the picture keep the 300 x 200 pixels that can show.
    const QSize quarter = size / 4;
    QCOMPARE(picture.whole().size(), quarter);
    QVERIFY(meanDifference(picture.whole(), full.scaled(quarter, Qt::IgnoreAspectRatio,
                                                        Qt::SmoothTransformation)) < 6);
    // The corner at natural size is the full picture's, pixel for pixel.
    QCOMPARE(picture.corner(), full.copy(0, 0, 109, 105));
}

// A progressive photo is taken in whole before any of it comes out, so the
// whole and the corner come from one decode: the file is read by the walk
// that finds its end and once more, where each further decode would read
// all of it again.
void tst_PictureLoader::progressivePhotoIsDecodedOnce()
{
    if (bytesRead() < 0)
        QSKIP("This kernel does not count a process's reads in /proc.");
    const QByteArray jpeg = encoded(photo(QSize(1600, 1200)), "JPEG", 90, true);
    const QString path = m_folder.filePath(QStringLiteral("progressive.jpg"));
    QVERIFY(writeFile(path, jpeg));
    PictureLoader::load(folder() + QStringLiteral("plain.jpg")); // the decoders are loaded

    const qint64 before = bytesRead();
    const Picture picture = PictureLoader::load(path, PictureLoader::Needs{QSize(300, 200), QSize(109, 105)});
    const qint64 read = bytesRead() - before;
    QVERIFY(picture.isReduced());
    QCOMPARE(picture.corner().size(), QSize(109, 105));
    QVERIFY2(read < jpeg.size() * 5 / 2,
             qPrintable(QStringLiteral("%1 bytes read of a %2-byte file").arg(read).arg(jpeg.size())));
}

// A small file can send a large picture over and over, each scan a pass
// over it that a decoder must make: it is refused before any is decoded.
void tst_PictureLoader::picturesSentInEndlessScansAreRefused()
{
    if (memoryKb("VmHWM:") < 0 || !resetPeakMemory())
        QSKIP("This kernel does not count a process's memory in /proc.");
    // 8192 x 8192 grey pixels in 99 scans, 140 KB.
    const QString path = folder() + QStringLiteral("scans-99.jpg");
    const qint64 residentBefore = memoryKb("VmRSS:");
    const QString failure = failureOf([&] { PictureLoader::load(path, cardNeeds); });
    const qint64 peakRise = memoryKb("VmHWM:") - residentBefore;
    QVERIFY2(failure.contains(path), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("its scans code more than %1 blocks").arg(PictureLoader::maxScanBlocks)),
             qPrintable(failure));
    // Decoding would take 128 MB for its coefficients alone.
    QVERIFY2(peakRise < 16 * 1024, qPrintable(QStringLiteral("memory rose by %1 kB").arg(peakRise)));
}

void tst_PictureLoader::largePictureOfAnotherKindIsReducedAlike()
{
    const QImage upright = photo(QSize(900, 600));
    const QByteArray png = encoded(upright, "PNG");
    const PictureLoader::Needs needs{QSize(300, 150), QSize(50, 40)};
    const Picture picture = PictureLoader::decode(png, QStringLiteral("png"), needs);
    QCOMPARE(picture.size(), upright.size());
    QCOMPARE(picture.whole().size(), QSize(300, 200));
    QVERIFY(meanDifference(picture.whole(), upright.scaled(QSize(300, 200), Qt::IgnoreAspectRatio,
                                                           Qt::SmoothTransformation)) < 2);
    QCOMPARE(picture.corner(), upright.copy(0, 0, 50, 40));
}

// Qt's smooth scaling all but hangs on a side this long; the loader brings
// it down first and the picture still comes out right.
void tst_PictureLoader::veryLongPictureIsReduced()
{
    QImage tall(16, 300000, QImage::Format_RGB32);
    tall.fill(QColor(200, 40, 30));
    for (int y = 150000; y < 300000; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(tall.scanLine(y)), 16, qRgb(20, 60, 220));
    const PictureLoader::Needs needs{QSize(4, 1000), QSize(8, 8)};
    const Picture picture = PictureLoader::decode(encoded(tall, "PNG"), QStringLiteral("png"), needs);
    QCOMPARE(picture.size(), tall.size());
    QVERIFY(picture.isReduced());
    const QImage whole = picture.whole();
    QCOMPARE(whole.size(), QSize(4, 75000));
    QCOMPARE(QColor(whole.pixel(1, 100)), QColor(200, 40, 30));
    QCOMPARE(QColor(whole.pixel(1, 74000)), QColor(20, 60, 220));
    QCOMPARE(picture.corner(), tall.copy(0, 0, 8, 8));
}

void tst_PictureLoader::smallPictureIsKeptWhole()
{
    const Picture picture = PictureLoader::load(folder() + QStringLiteral("plain.jpg"), cardNeeds);
    QVERIFY(!picture.isReduced());
    QCOMPARE(picture.whole().size(), QSize(48, 32));
    QCOMPARE(picture.corner().cacheKey(), picture.whole().cacheKey());
}

QTEST_GUILESS_MAIN(tst_PictureLoader)
#include "tst_pictureloader.moc"
