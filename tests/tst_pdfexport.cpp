#include "SheetMeasure.h"
#include "TestPictures.h"
#include "TestSupport.h"

#include "PdfExport.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "editor/SampleCard.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QtTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace SheetMeasure;

namespace {

constexpr auto fitCaption = "Fit Image to Box";
constexpr auto fullSizeCaption = "Use Full Size";
// An odd size no other picture on the sheet has.
constexpr QSize logoSize(123, 77);
constexpr int logoGrey = 60;

// The margin Qt's PDF output keeps around the printable area: 10 points.
constexpr double marginTwips = 200;

QString program()
{
    return qEnvironmentVariable("TESSARY_BUILD_DIR") + QStringLiteral("/tessary");
}

struct Run
{
    int exitCode = -1;
    QString out, err;
};

// The real program, its environment changed by `set` ("NAME=value", or
// "NAME" alone to remove it).
Run tessary(const QStringList &arguments, const QStringList &set = {},
           const QString &workingDirectory = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const QString &entry : set) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0)
            environment.remove(entry);
        else
            environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program(), arguments);
    Run result;
    if (!process.waitForFinished(TestSupport::waitCeilingMs(TestSupport::startSeconds))) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

QString describe(const Run &run)
{
    return QStringLiteral("exit %1, stderr: %2").arg(run.exitCode).arg(run.err);
}

// Our own line on standard error; the toolkit may have warned before it.
bool says(const QString &err, const QString &message)
{
    const QStringList lines = err.split(QLatin1Char('\n'));
    return std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return line.startsWith(QStringLiteral("tessary: ")) && line.contains(message);
    });
}

QString writeLogo(const QString &folder)
{
    QImage logo(logoSize, QImage::Format_RGB32);
    logo.fill(QColor(logoGrey, logoGrey, logoGrey));
    const QString path = folder + QStringLiteral("/logo.jpg");
    if (!logo.save(path, "JPEG", 100))
        return QString();
    return path;
}

QString writeRedLogo(const QString &folder)
{
    QImage logo(logoSize, QImage::Format_RGB32);
    logo.fill(QColor(230, 0, 0));
    const QString path = folder + QStringLiteral("/red.png");
    return logo.save(path) ? path : QString();
}

// The sample card, as a returning user has it stored.
void storeCard(const QString &logo, const QString &fit)
{
    SettingsStore store;
    for (const CardFields::Field &card : CardFields::fields)
        store.write(CardFields::key(card.letter), QString::fromUtf8(card.sample));
    store.write(QStringLiteral("Logo"), logo);
    store.write(QStringLiteral("Fit"), fit);
}

// Everything about the settings folder an export could change.
QStringList settingsSnapshot()
{
    QStringList out;
    const QString folder = QFileInfo(TestSupport::settingsFile()).absolutePath();
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(entry.filePath());
        file.open(QIODevice::ReadOnly);
        out << entry.fileName() + QLatin1Char(' ')
                + entry.lastModified().toString(Qt::ISODateWithMs) + QLatin1Char(' ')
                + QString::fromLatin1(file.readAll().toBase64());
    }
    return out;
}

// Lines of `pdfimages -list`: width and height of each picture on the page.
QList<QSize> pictureSizes(const QString &pdf)
{
    QList<QSize> sizes;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 4)
            sizes << QSize(fields[3].toInt(), fields[4].toInt());
    }
    return sizes;
}

// How many times pictures are drawn on the page, and how many pictures the
// file stores for them.
struct PictureUse
{
    int drawn = 0;
    QSet<int> stored;
};

PictureUse pictureUse(const QString &pdf)
{
    PictureUse use;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf})
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines.mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 10 && fields[2] == QLatin1String("image")) {
            ++use.drawn;
            use.stored << fields[10].toInt();
        }
    }
    return use;
}

int greyAt(const QImage &page, QPointF twips)
{
    const QPoint dot = (twips / twipsPerDot).toPoint();
    if (!page.rect().contains(dot))
        return -1;
    return page.pixelColor(dot).red();
}

// Dots of `a` with no dot of nearly the same grey at or beside the same
// place in `b`.
qint64 unmatchedDots(const QImage &a, const QImage &b)
{
    qint64 count = 0;
    for (int y = 1; y + 1 < a.height(); ++y) {
        const uchar *p = a.constScanLine(y);
        const uchar *above = b.constScanLine(y - 1), *level = b.constScanLine(y), *below = b.constScanLine(y + 1);
        for (int x = 1; x + 1 < a.width(); ++x) {
            bool matched = false;
            for (const uchar *line : {above, level, below}) {
                for (int dx = -1; dx <= 1 && !matched; ++dx)
                    matched = std::abs(p[x] - line[x + dx]) <= 64;
            }
            count += !matched;
        }
    }
    return count;
}

} // namespace

class tst_PdfExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(program()).isExecutable(),
                 qPrintable(program() + QStringLiteral(" is not there; TESSARY_BUILD_DIR names the build folder")));
    }

    void init()
    {
        TestSupport::clearSettings();
        QVERIFY(m_folder.isValid());
        m_logo = writeLogo(m_folder.path());
        QVERIFY(!m_logo.isEmpty());
    }

    // The sheet of the stored card, at physical size, where a printer puts it.
    void sheetOfTheStoredCard()
    {
        storeCard(m_logo, QLatin1String(fitCaption));
        const QString pdf = m_folder.filePath(QStringLiteral("sheet.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(pageCount(pdf), 1);

        const QImage page = rasterise(pdf, m_folder.path());
        checkSheetGeometry(page);
        const QPointF corner = firstCardCorner(page);
        const double tolerance = 0.1 * twipsPerMm;
        QVERIFY2(std::abs(corner.x() - (marginTwips + 120)) <= tolerance, qPrintable(QString::number(corner.x())));
        QVERIFY2(std::abs(corner.y() - (marginTwips + 240)) <= tolerance, qPrintable(QString::number(corner.y())));

        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QCOMPARE(text.count(QStringLiteral("Darnovi")), 6);
        QCOMPARE(text.count(QStringLiteral("217-555-0142")), 6);
        QVERIFY(pictureSizes(pdf).contains(logoSize));

        // The six cards are drawn alike, and the file holds each of a card's
        // pictures once: its face, its two rules and the logo.
        const PictureUse use = pictureUse(pdf);
        QCOMPARE(use.drawn, 6 * 4);
        QCOMPARE(use.stored.size(), 4);
    }

    // The first card of the same sheet as a 600 dpi picture: the card's
    // face, its text where paper has it, and the logo right of the text.
    void cardPictureOfTheStoredCard()
    {
        const QString logo = writeRedLogo(m_folder.path());
        QVERIFY(!logo.isEmpty());
        storeCard(logo, QLatin1String(fitCaption));
        const QString png = m_folder.filePath(QStringLiteral("card.png"));
        const Run result = tessary({QStringLiteral("--png"), png});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        QVERIFY(result.out.isEmpty());

        // 5285 x 3015 twips at 600 dpi, rounded down; 600 dpi in dots per metre.
        const QImage card(png);
        QCOMPARE(card.size(), QSize(2202, 1256));
        QCOMPARE(card.dotsPerMeterX(), 23622);
        QCOMPARE(card.dotsPerMeterY(), 23622);
        QVERIFY(!card.hasAlphaChannel());
        const auto at = [&](double x, double y) { return card.pixelColor(QPointF(x, y).toPoint() * 600 / 1440); };
        // Blank card below the e-mail address, and the middle of the logo box
        // (3360, 780, 1635 x 1575 twips), right of the longest line of text.
        QCOMPARE(at(1000, 2700), QColor(Qt::white));
        const QColor logoMiddle = at(3360 + 1635 / 2, 780 + 1575 / 2);
        QVERIFY2(logoMiddle.red() > 200 && logoMiddle.green() < 40 && logoMiddle.blue() < 40,
                 qPrintable(logoMiddle.name()));
        const QColor leftOfLogo = at(3200, 780 + 1575 / 2);
        QVERIFY2(leftOfLogo.red() - leftOfLogo.green() < 40, qPrintable(leftOfLogo.name()));

        if (QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty())
            QSKIP("tesseract (tools/setup.sh --test installs it) reads the card's text back");
        const QString read = run(QStringLiteral("tesseract"), {png, QStringLiteral("-")},
                                 TestSupport::waitCeilingMs(2 * TestSupport::startSeconds));
        for (const char *text : {"Darnovi", "Cards that open doors", "217-555-0142", "www.darnovi.example"})
            QVERIFY2(read.contains(QLatin1String(text)), qPrintable(QStringLiteral("%1 not in: %2").arg(text, read)));
    }

    // The preview card's menu: the command under "Save Sheet as PDF...", its
    // keys shown there, its dialog, and the file --png writes.
    void windowSavesTheSamePicture()
    {
        storeCard(writeRedLogo(m_folder.path()), QLatin1String(fitCaption));
        const QString reference = m_folder.filePath(QStringLiteral("reference.png"));
        const Run result = tessary({QStringLiteral("--png"), reference});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));

        TestSupport::FakeServices services;
        SettingsStore store;
        QTemporaryDir programFolder;
        Form1 window(services, store, programFolder.path());
        window.Form_Load();
        const QList<QAction *> menu = window.controls().find(QStringLiteral("Picture1"))->actions();
        const auto named = [&](const QString &text) {
            return std::find_if(menu.begin(), menu.end(), [&](QAction *a) { return a->text() == text; });
        };
        const auto pdf = named(QStringLiteral("Save Sheet as PDF...")), picture = named(QStringLiteral("Save Card as Picture..."));
        QVERIFY(pdf != menu.end() && picture == pdf + 1);
        QCOMPARE((*picture)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
        QVERIFY((*picture)->isShortcutVisibleInContextMenu());

        (*pdf)->trigger();
        services.savedFile = m_folder.filePath(QStringLiteral("saved.png"));
        (*picture)->trigger();
        QCOMPARE(services.saveDialogs.size(), size_t(2));
        const TestSupport::FakeServices::Dialog &dialog = services.saveDialogs.back();
        QCOMPARE(dialog.title, QStringLiteral("Save Card as Picture"));
        QCOMPARE(dialog.filter, QStringLiteral("PNG Pictures|*.png"));
        QCOMPARE(QFileInfo(dialog.initialName).fileName(), QStringLiteral("card.png"));
        QCOMPARE(QFileInfo(dialog.initialName).path(), QFileInfo(services.saveDialogs.front().initialName).path());
        QVERIFY(services.messages.empty());
        QCOMPARE(QImage(services.savedFile), QImage(reference));
    }

    // The stored fit mode, applied as the window's restore applies it.
    void fitModeFollowsTheStore_data()
    {
        QTest::addColumn<QString>("storedFit");
        QTest::addColumn<bool>("fitted");
        QTest::newRow("stored \"Fit Image to Box\" gives the logo fitted to its box")
            << QString::fromLatin1(fitCaption) << true;
        QTest::newRow("stored \"Use Full Size\" gives the logo at natural size")
            << QString::fromLatin1(fullSizeCaption) << false;
    }
    void fitModeFollowsTheStore()
    {
        QFETCH(QString, storedFit);
        QFETCH(bool, fitted);
        storeCard(m_logo, storedFit);
        const QString pdf = m_folder.filePath(QStringLiteral("fit.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        const QImage page = rasterise(pdf, m_folder.path());
        const QPointF corner = firstCardCorner(page);
        QVERIFY(corner.x() > 0);
        // The logo box starts 3360, 780 twips into the card and is 1635 x
        // 1575; the logo at natural size (15 twips a pixel) is 1155 high.
        for (int card = 0; card < 6; ++card) {
            const QPointF origin = corner + QPointF(5520 * (card % 2), 3240 * (card / 2));
            const QPointF box = origin + QPointF(3360, 780);
            QVERIFY(greyAt(page, box + QPointF(300, 300)) < 100);
            const int below = greyAt(page, box + QPointF(800, 1400));
            if (fitted)
                QVERIFY2(below < 100, qPrintable(QStringLiteral("card %1: %2").arg(card).arg(below)));
            else
                QVERIFY2(below > 200, qPrintable(QStringLiteral("card %1: %2").arg(card).arg(below)));
        }
    }

    // A phone photo as phones save them: large, stored turned with an EXIF
    // orientation, and a video after it. The cards show it upright, and the
    // PDF carries no more of it than the boxes show.
    void phonePhotoShowsUpright_data()
    {
        QTest::addColumn<QString>("storedFit");
        QTest::newRow("fitted to its box") << QString::fromLatin1(fitCaption);
        QTest::newRow("at natural size") << QString::fromLatin1(fullSizeCaption);
    }
    void phonePhotoShowsUpright()
    {
        QFETCH(QString, storedFit);
        const QSize photoSize(2400, 1800);
        QByteArray photo = TestPictures::phoneJpeg(TestPictures::photo(photoSize), 6);
        photo += QByteArray("\0\0\0\x18" "ftypmp42", 12) + QByteArray(256 * 1024, '\x33');
        const QString logo = m_folder.filePath(QStringLiteral("PXL_20240501.MP.jpg"));
        QVERIFY(TestPictures::writeFile(logo, photo));
        storeCard(logo, storedFit);

        const QString pdf = m_folder.filePath(QStringLiteral("photo.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        for (const QSize &size : pictureSizes(pdf))
            QVERIFY2(size.width() < 1900 && size.height() < 1900,
                     qPrintable(QStringLiteral("a %1 x %2 picture").arg(size.width()).arg(size.height())));

        // Greys of the photo's quarters once rasterised: red, green, blue, yellow.
        const int greys[4] = {76, 150, 29, 226};
        const bool fitted = storedFit == QLatin1String(fitCaption);
        const QImage page = rasterise(pdf, m_folder.path());
        const QPointF corner = firstCardCorner(page);
        for (int card = 0; card < 6; ++card) {
            const QPointF box = corner + QPointF(5520 * (card % 2), 3240 * (card / 2)) + QPointF(3360, 780);
            for (int quarter = 0; quarter < 4; ++quarter) {
                // At natural size the box shows only the photo's top-left
                // (red) corner.
                const QPointF at = fitted ? QPointF(TestPictures::middleOf(quarter, QSize(1635, 1575)))
                                          : QPointF(400 + 800 * (quarter % 2), 400 + 800 * (quarter / 2));
                const int wanted = fitted ? greys[quarter] : greys[0];
                int sum = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        sum += greyAt(page, box + at + QPointF(dx, dy) * twipsPerDot);
                QVERIFY2(std::abs(sum / 25 - wanted) < 20,
                         qPrintable(QStringLiteral("card %1 quarter %2: grey %3, not %4")
                                        .arg(card).arg(quarter).arg(sum / 25).arg(wanted)));
            }
        }
    }

    // The export draws what "Print Card" prints after a start with the same
    // store.
    void sameSheetAsPrintCard()
    {
        storeCard(m_logo, QLatin1String(fitCaption));
        const QString exported = m_folder.filePath(QStringLiteral("exported.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), exported});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));

        TestSupport::FakeServices services;
        services.printerFile = m_folder.filePath(QStringLiteral("printed.pdf"));
        SettingsStore store;
        QTemporaryDir programFolder;
        Form1 window(services, store, programFolder.path());
        window.Form_Load();
        window.PushButton3_Click();
        QVERIFY(services.messages.empty());

        QTemporaryDir rasters;
        const QImage a = rasterise(exported, rasters.path());
        const QImage b = rasterise(services.printerFile, m_folder.path());
        QCOMPARE(a.size(), b.size());
        // Text may be placed a fraction of a dot apart (the printer's copy is
        // laid out again at the printer's resolution), so a dot only counts
        // as different when no dot next to it in the other page matches.
        const qint64 differing = unmatchedDots(a, b) + unmatchedDots(b, a);
        QVERIFY2(differing <= 50, qPrintable(QString::number(differing)));
    }

    void pageSizeFollowsTheLocale_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("pageSize");
        QTest::newRow("C locale: A4") << QStringList{QStringLiteral("LC_ALL=C")} << QStringLiteral("A4");
        QTest::newRow("en_GB: A4") << QStringList{QStringLiteral("LC_ALL=en_GB.UTF-8")} << QStringLiteral("A4");
        QTest::newRow("en_US: Letter") << QStringList{QStringLiteral("LC_ALL=en_US.UTF-8")} << QStringLiteral("letter");
        QTest::newRow("US measurement under a German locale: Letter")
            << QStringList{QStringLiteral("LC_ALL"), QStringLiteral("LANG=de_DE.UTF-8"),
                           QStringLiteral("LC_MEASUREMENT=en_US.UTF-8")}
            << QStringLiteral("letter");
    }
    void pageSizeFollowsTheLocale()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, pageSize);
        const QString pdf = m_folder.filePath(QStringLiteral("page.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf}, environment);
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QStringLiteral("(%1)").arg(pageSize)), qPrintable(info));
        checkSheetGeometry(rasterise(pdf, m_folder.path()));
    }

    // No display, no platform chosen: the export picks one that needs none.
    void worksWithoutADisplay()
    {
        storeCard(m_logo, QLatin1String(fitCaption));
        const QString pdf = m_folder.filePath(QStringLiteral("headless.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf},
                                   {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"),
                                    QStringLiteral("WAYLAND_DISPLAY")});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        QCOMPARE(pageCount(pdf), 1);
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        QTest::newRow("--version") << QStringLiteral("--version") << QStringLiteral("tessary " TESSARY_VERSION "\n");
        QTest::newRow("-v") << QStringLiteral("-v") << QStringLiteral("tessary " TESSARY_VERSION "\n");
        QTest::newRow("--help names --pdf") << QStringLiteral("--help") << QStringLiteral("--pdf <file>");
        QTest::newRow("-h names --version") << QStringLiteral("-h") << QStringLiteral("--version");
        QTest::newRow("--help names --png") << QStringLiteral("--help") << QStringLiteral("--png <file>");
    }
    void helpAndVersion()
    {
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        // Answered without a display, as any command-line program does.
        const Run result = tessary({argument}, {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"),
                                                QStringLiteral("WAYLAND_DISPLAY")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(expected), qPrintable(result.out));
        QCOMPARE(result.err, QString());
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << QStringLiteral("bogus");
        QTest::newRow("stray argument") << QStringList{QStringLiteral("card.pdf")} << QStringLiteral("card.pdf");
        QTest::newRow("--pdf without a file") << QStringList{QStringLiteral("--pdf")} << QStringLiteral("pdf");
        QTest::newRow("--pdf with an empty file name") << QStringList{QStringLiteral("--pdf=")} << QStringLiteral("file name");
        QTest::newRow("a second file after --pdf")
            << QStringList{QStringLiteral("--pdf"), QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}
            << QStringLiteral("b.pdf");
        QTest::newRow("--png without a file") << QStringList{QStringLiteral("--png")} << QStringLiteral("png");
        QTest::newRow("--png with an empty file name") << QStringList{QStringLiteral("--png=")} << QStringLiteral("file name");
        QTest::newRow("--png with --pdf")
            << QStringList{QStringLiteral("--pdf"), QStringLiteral("a.pdf"), QStringLiteral("--png"), QStringLiteral("a.png")}
            << QStringLiteral("--png");
    }
    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const QStringList before = QDir(m_folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        // With a display the toolkit gets to take its own options first;
        // without one the program must not need it to say what is wrong.
        const QList<QStringList> environments{
            {}, {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")}};
        for (const QStringList &environment : environments) {
            const Run result = tessary(arguments, environment, m_folder.path());
            QCOMPARE(result.exitCode, 2);
            QVERIFY2(says(result.err, message),
                     qPrintable(result.err));
            QVERIFY(result.err.contains(QStringLiteral("--help")));
            QVERIFY(result.out.isEmpty());
            QCOMPARE(QDir(m_folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
        }
    }

    // Each failure says what went wrong, exits non-zero and leaves nothing
    // behind that could pass for a finished sheet.
    void failuresLeaveNoFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("brokenLogo");
        QTest::addColumn<QString>("message");
        QTest::newRow("a folder that does not exist")
            << QStringLiteral("missing/sheet.pdf") << false << QStringLiteral("does not exist");
        QTest::newRow("a path that is a folder") << QStringLiteral("folder") << false << QStringLiteral("is a folder");
        QTest::newRow("a stored logo that cannot be decoded")
            << QStringLiteral("sheet.pdf") << true << QStringLiteral("broken.jpg");
    }
    void failuresLeaveNoFile()
    {
        QFETCH(QString, target);
        QFETCH(bool, brokenLogo);
        QFETCH(QString, message);
        QTemporaryDir out;
        QVERIFY(QDir(out.path()).mkdir(QStringLiteral("folder")));
        QString logo = m_logo;
        if (brokenLogo) {
            logo = out.filePath(QStringLiteral("broken.jpg"));
            QFile file(logo);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\xff\xd8\xff\xe0 this is not a picture");
        }
        storeCard(logo, QLatin1String(fitCaption));
        const QStringList before = QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

        const Run result = tessary({QStringLiteral("--pdf"), out.filePath(target)});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(says(result.err, message),
                 qPrintable(result.err));
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QVERIFY(QDir(out.filePath(QStringLiteral("folder"))).isEmpty());
    }

    void failedExportKeepsAnEarlierFile()
    {
        QTemporaryDir out;
        const QString broken = out.filePath(QStringLiteral("broken.bmp"));
        QFile logo(broken);
        QVERIFY(logo.open(QIODevice::WriteOnly));
        logo.write("BM not a bitmap");
        logo.close();
        storeCard(broken, QLatin1String(fitCaption));
        const QString pdf = out.filePath(QStringLiteral("sheet.pdf"));
        QFile earlier(pdf);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier sheet");
        earlier.close();

        QCOMPARE(tessary({QStringLiteral("--pdf"), pdf}).exitCode, 1);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("an earlier sheet"));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2);
    }

    // A flush that fails (a network share over its quota says so only then)
    // fails the export, and an earlier file stays as it was, whether the
    // file system has unnamed temporary files or the temporary had a name.
    void failedFlushKeepsAnEarlierFile_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("unnamedTemporaries");
        QTest::newRow("--pdf") << QStringLiteral("--pdf") << true;
        QTest::newRow("--png") << QStringLiteral("--png") << true;
        QTest::newRow("--pdf without unnamed temporaries") << QStringLiteral("--pdf") << false;
        QTest::newRow("--png without unnamed temporaries") << QStringLiteral("--png") << false;
    }
    void failedFlushKeepsAnEarlierFile()
    {
        QFETCH(QString, option);
        QFETCH(bool, unnamedTemporaries);
        const QString preload = qEnvironmentVariable("TESSARY_BUILD_DIR") + QStringLiteral("/tests/flushfails.so");
        QVERIFY2(QFileInfo::exists(preload), qPrintable(preload));
        storeCard(m_logo, QLatin1String(fitCaption));
        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("cards.") + option.mid(2));
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier file");
        earlier.close();

        QStringList environment{QStringLiteral("LD_PRELOAD=") + preload,
                                // The sanitizers' runtime otherwise insists on coming first.
                                QStringLiteral("ASAN_OPTIONS=") + qEnvironmentVariable("ASAN_OPTIONS")
                                    + QStringLiteral(":verify_asan_link_order=0")};
        if (!unnamedTemporaries)
            environment << QStringLiteral("TESSARY_TEST_NO_TMPFILE=1");
        const Run result = tessary({option, target}, environment);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(says(result.err, target) && says(result.err, QStringLiteral("Input/output error")),
                 qPrintable(result.err));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("an earlier file"));
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(target).fileName()});
    }

    // A file replaced under sudo stays its owner's, with its own mode.
    void replacedFileKeepsOwnerAndMode()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give the earlier file another owner");
        const struct passwd *nobody = ::getpwnam("nobody");
        if (!nobody)
            QSKIP("no account named nobody");
        const QString png = m_folder.filePath(QStringLiteral("owned.png"));
        QFile earlier(png);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.close();
        const QByteArray name = QFile::encodeName(png);
        QCOMPARE(::chown(name.constData(), nobody->pw_uid, nobody->pw_gid), 0);
        QCOMPARE(::chmod(name.constData(), 0640), 0);

        const Run result = tessary({QStringLiteral("--png"), png});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        struct stat replaced {};
        QCOMPARE(::stat(name.constData(), &replaced), 0);
        QVERIFY(replaced.st_size > 0);
        QCOMPARE(replaced.st_uid, nobody->pw_uid);
        QCOMPARE(replaced.st_gid, nobody->pw_gid);
        QCOMPARE(replaced.st_mode & 07777, mode_t(0640));
    }

    // The cards come out as the window would show them: without the logo.
    void missingLogoFileIsOnlyAWarning()
    {
        storeCard(m_folder.filePath(QStringLiteral("gone.jpg")), QLatin1String(fitCaption));
        const QString pdf = m_folder.filePath(QStringLiteral("nologo.pdf"));
        const Run result = tessary({QStringLiteral("--pdf"), pdf});
        QVERIFY2(result.exitCode == 0, qPrintable(describe(result)));
        QVERIFY2(result.err.contains(QStringLiteral("gone.jpg")), qPrintable(result.err));
        QCOMPARE(pageCount(pdf), 1);
        QVERIFY(!pictureSizes(pdf).contains(logoSize));
    }

    void settingsStoreIsOnlyRead_data()
    {
        QTest::addColumn<bool>("storedCard");
        QTest::addColumn<QString>("logo");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("stored card with logo") << true << QStringLiteral("logo.jpg") << 0;
        QTest::newRow("stored card with a broken logo") << true << QStringLiteral("broken.jpg") << 1;
        QTest::newRow("nothing stored yet") << false << QString() << 0;
    }
    void settingsStoreIsOnlyRead()
    {
        QFETCH(bool, storedCard);
        QFETCH(QString, logo);
        QFETCH(int, exitCode);
        QFile::remove(m_folder.filePath(QStringLiteral("broken.jpg")));
        QFile broken(m_folder.filePath(QStringLiteral("broken.jpg")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("nothing");
        broken.close();
        if (storedCard)
            storeCard(m_folder.filePath(logo), QLatin1String(fullSizeCaption));
        const QStringList before = settingsSnapshot();
        // A coarse file clock could hide a rewrite of the same bytes.
        QTest::qWait(20);

        const Run result = tessary({QStringLiteral("--pdf"), m_folder.filePath(QStringLiteral("store.pdf"))});
        QVERIFY2(result.exitCode == exitCode, qPrintable(describe(result)));
        QCOMPARE(settingsSnapshot(), before);
        QCOMPARE(QFileInfo::exists(TestSupport::settingsFile()), storedCard);
    }

    // In this process, to watch the widgets: the sheet is drawn from hidden
    // windows, and none is ever shown.
    void noWindowIsShown()
    {
        storeCard(m_logo, QLatin1String(fitCaption));
        struct ShowWatch : QObject
        {
            QStringList shown;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                auto *widget = qobject_cast<QWidget *>(watched);
                if (event->type() == QEvent::Show && widget && widget->isWindow())
                    shown << widget->metaObject()->className();
                return false;
            }
        } watch;
        qApp->installEventFilter(&watch);
        const QString pdf = m_folder.filePath(QStringLiteral("inprocess.pdf"));
        const QStringList warnings = PdfExport::write(pdf, m_folder.path(), QPageSize(QPageSize::A4));
        qApp->removeEventFilter(&watch);
        QVERIFY(warnings.isEmpty());
        QCOMPARE(watch.shown, QStringList());
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
        QCOMPARE(pageCount(pdf), 1);
    }

    // A message box anything on the way would show (here the print preview
    // window's report of a damaged pointer file) ends the export instead.
    void messageBoxBecomesAFailure()
    {
        storeCard(m_logo, QLatin1String(fitCaption));
        QTemporaryDir programFolder;
        QFile cursor(programFolder.filePath(QStringLiteral("HAND-M.CUR")));
        QVERIFY(cursor.open(QIODevice::WriteOnly));
        cursor.write("not a cursor");
        cursor.close();
        const QString pdf = m_folder.filePath(QStringLiteral("cursor.pdf"));
        QFile::remove(pdf);
        try {
            PdfExport::write(pdf, programFolder.path(), QPageSize(QPageSize::A4));
            QFAIL("the export went on");
        } catch (const Failure &failure) {
            QVERIFY2(failure.description().contains(QStringLiteral("HAND-M.CUR")), qPrintable(failure.description()));
            QVERIFY2(failure.description().contains(QStringLiteral("Form2.Form_Load at line 100")),
                     qPrintable(failure.description()));
            QVERIFY(!failure.description().contains(QStringLiteral("screenshot")));
        }
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    }

private:
    QTemporaryDir m_folder;
    QString m_logo;
};

QTEST_MAIN(tst_PdfExport)
#include "tst_pdfexport.moc"
