#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "sheet/Form2.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPrinter>
#include <QPrinterInfo>
#include <QtTest>

#include <algorithm>

using TestSupport::FakeServices;

namespace {

constexpr double twipsPerMm = 1440.0 / 25.4;
constexpr int rasterDpi = 300;
constexpr double twipsPerDot = 1440.0 / rasterDpi;

// Everything fake but the printer, which is the system's default.
class RealPrinterServices : public FakeServices
{
public:
    std::unique_ptr<QPrinter> defaultPrinter() override { return m_real.defaultPrinter(); }

private:
    SystemServices m_real;
};

QString run(const QString &program, const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

int pageCount(const QString &pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpression pages(QStringLiteral("Pages:\\s+(\\d+)"));
    const auto match = pages.match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QImage rasterise(const QString &pdf, const QString &folder)
{
    const QString stem = folder + QStringLiteral("/page");
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(rasterDpi),
                                     QStringLiteral("-gray"), QStringLiteral("-singlefile"), pdf, stem});
    return QImage(stem + QStringLiteral(".pgm")).convertToFormat(QImage::Format_Grayscale8);
}

// Groups of neighbouring positions, each given as its first and last.
QList<QPair<int, int>> groups(const QList<int> &positions)
{
    QList<QPair<int, int>> out;
    for (int p : positions) {
        if (!out.isEmpty() && p <= out.last().second + 2)
            out.last().second = p;
        else
            out.append({p, p});
    }
    return out;
}

// The outer edges of the cards' solid borders: columns and rows that hold a
// dark run nearly as long as a card's side. Text, dotted outlines and the
// fading rules never make runs that long.
struct Borders
{
    QList<QPair<int, int>> columns, rows;
};

Borders findBorders(const QImage &page)
{
    const int minVertical = int(3015 / twipsPerDot * 0.9);
    const int minHorizontal = int(5285 / twipsPerDot * 0.9);
    QList<int> columns, rows;
    for (int x = 0; x < page.width(); ++x) {
        int run = 0, longest = 0;
        for (int y = 0; y < page.height(); ++y) {
            run = page.constScanLine(y)[x] < 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (longest >= minVertical)
            columns << x;
    }
    for (int y = 0; y < page.height(); ++y) {
        const uchar *line = page.constScanLine(y);
        int run = 0, longest = 0;
        for (int x = 0; x < page.width(); ++x) {
            run = line[x] < 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        if (longest >= minHorizontal)
            rows << y;
    }
    return {groups(columns), groups(rows)};
}

void checkSheetGeometry(const QImage &page)
{
    QVERIFY(!page.isNull());
    const Borders borders = findBorders(page);
    // Two columns of cards, each with a left and a right border; three rows,
    // each with a top and a bottom border.
    QCOMPARE(borders.columns.size(), 4);
    QCOMPARE(borders.rows.size(), 6);
    const double tolerance = 0.1 * twipsPerMm;
    auto span = [](const QPair<int, int> &first, const QPair<int, int> &last) {
        return (last.second + 1 - first.first) * twipsPerDot;
    };
    for (int column = 0; column < 2; ++column) {
        const double width = span(borders.columns[2 * column], borders.columns[2 * column + 1]);
        QVERIFY2(std::abs(width - 5285) <= tolerance, qPrintable(QStringLiteral("card width %1 twips").arg(width)));
    }
    for (int row = 0; row < 3; ++row) {
        const double height = span(borders.rows[2 * row], borders.rows[2 * row + 1]);
        QVERIFY2(std::abs(height - 3015) <= tolerance, qPrintable(QStringLiteral("card height %1 twips").arg(height)));
    }
    // Positions relative to the first card: 5520 twips between columns,
    // 3240 between rows.
    const double left0 = borders.columns[0].first * twipsPerDot;
    const double top0 = borders.rows[0].first * twipsPerDot;
    QVERIFY(std::abs(borders.columns[2].first * twipsPerDot - left0 - 5520) <= tolerance);
    for (int row = 1; row < 3; ++row)
        QVERIFY(std::abs(borders.rows[2 * row].first * twipsPerDot - top0 - 3240 * row) <= tolerance);
}

// Waits for the scheduler to finish the job and the PDF printer to finish
// writing the file with that job's number.
QString waitForJobFile(const QString &folder, const QStringList &before)
{
    QElapsedTimer timer;
    timer.start();
    QString found;
    qint64 lastSize = -1;
    int steady = 0;
    while (timer.elapsed() < 60000) {
        const bool queueEmpty = run(QStringLiteral("lpstat"), {QStringLiteral("-o")}).trimmed().isEmpty();
        const QStringList now = QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Time);
        for (const QString &name : now) {
            if (!before.contains(name)) {
                found = folder + QLatin1Char('/') + name;
                break;
            }
        }
        if (queueEmpty && !found.isEmpty()) {
            const qint64 size = QFileInfo(found).size();
            steady = size > 0 && size == lastSize ? steady + 1 : 0;
            lastSize = size;
            if (steady >= 3)
                return found;
        }
        QTest::qWait(100);
    }
    return QString();
}

} // namespace

class tst_Printing : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void pdfSheetHasSixCardsAtPhysicalSize()
    {
        QTemporaryDir folder;
        FakeServices services;
        services.printerFile = folder.filePath(QStringLiteral("sheet.pdf"));
        SettingsStore store;
        Form1 window(services, store, folder.path());
        window.PushButton4_Click();
        window.PushButton3_Click();
        QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));
        QCOMPARE(pageCount(services.printerFile), 1);
        checkSheetGeometry(rasterise(services.printerFile, folder.path()));
        // Text stays text: every card's company name can be read back.
        const QString text = run(QStringLiteral("pdftotext"), {services.printerFile, QStringLiteral("-")});
        QCOMPARE(text.count(QStringLiteral("Darnovi")), 6);
        QVERIFY(window.hasForm2());
        QVERIFY(!window.existingForm2()->isVisible());
    }

    void emptyCardPrintsSixBorderedCards()
    {
        QTemporaryDir folder;
        FakeServices services;
        services.printerFile = folder.filePath(QStringLiteral("empty.pdf"));
        SettingsStore store;
        Form1 window(services, store, folder.path());
        window.PushButton3_Click();
        QVERIFY(services.messages.empty());
        checkSheetGeometry(rasterise(services.printerFile, folder.path()));
    }

    void printingTwiceReusesTheHiddenSheet()
    {
        QTemporaryDir folder;
        FakeServices services;
        services.printerFile = folder.filePath(QStringLiteral("a.pdf"));
        SettingsStore store;
        Form1 window(services, store, folder.path());
        window.PushButton3_Click();
        Form2 *first = window.existingForm2();
        window.PushButton3_Click();
        QCOMPARE(window.existingForm2(), first);
        QVERIFY(services.shownModally.empty());
    }

    void noPrinterReportsLine102()
    {
        FakeServices services; // no printer file: the seam says there is no printer
        SettingsStore store;
        Form1 window(services, store, QDir::tempPath());
        window.PushButton3_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        QCOMPARE(services.messages[0].title, QStringLiteral("Application Error"));
        QVERIFY(services.messages[0].text.contains(
            QStringLiteral("in Tessary2016/11/03.Form1.PushButton3_Click at line 102")));
    }

    // Run by its own CTest entry with CUPS_SERVER pointing where no scheduler
    // listens, so the real printer lookup finds nothing.
    void realLookupWithoutPrinterReportsLine102()
    {
        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("a default printer exists here");
        RealPrinterServices services;
        SettingsStore store;
        Form1 window(services, store, QDir::tempPath());
        window.PushButton3_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        QVERIFY(services.messages[0].text.startsWith(QStringLiteral("No default printer")));
        QVERIFY(services.messages[0].text.contains(QStringLiteral("at line 102")));
    }

    void previewFailureToShowReportsLine102()
    {
        FakeServices services;
        services.onShowModal = [](QWidget *) { throw Failure(QStringLiteral("cannot show")); };
        SettingsStore store;
        Form1 window(services, store, QDir::tempPath());
        window.PushButton1_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        QVERIFY(services.messages[0].text.startsWith(QStringLiteral("cannot show\nin Tessary2016/11/03.Form1.PushButton1_Click at line 102")));
    }

    void printCardThroughCups()
    {
        const bool required = qEnvironmentVariableIntValue("TESSARY_REQUIRE_PRINTER") == 1;
        const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
        if (printer.isNull()) {
            if (required)
                QFAIL("no default printer, though the CUPS PDF printer should be set up");
            QSKIP("no CUPS scheduler with a default printer here");
        }
        QString outdir = qEnvironmentVariable("TESSARY_PRINT_OUTDIR");
        if (outdir.isEmpty())
            outdir = QDir::homePath() + QStringLiteral("/PDF");
        QDir().mkpath(outdir);
        const QStringList before = QDir(outdir).entryList({QStringLiteral("*.pdf")}, QDir::Files);

        RealPrinterServices services;
        SettingsStore store;
        QTemporaryDir folder;
        Form1 window(services, store, folder.path());
        window.PushButton4_Click();
        window.field('a')->setText(QStringLiteral("Darnovi Cards"));
        window.PushButton3_Click();
        QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));

        const QString pdf = waitForJobFile(outdir, before);
        QVERIFY2(!pdf.isEmpty(), "the PDF printer wrote no file for the job");
        QCOMPARE(pageCount(pdf), 1);
        const QImage page = rasterise(pdf, folder.path());
        checkSheetGeometry(page);

        // The PDF printer turns text into outlines, so read it back by OCR.
        if (QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty()) {
            if (required)
                QFAIL("tesseract is needed to read the printed text");
            return;
        }
        const QString png = folder.filePath(QStringLiteral("page.png"));
        QVERIFY(page.save(png));
        const QString read = run(QStringLiteral("tesseract"), {png, QStringLiteral("-")}, 120000);
        QCOMPARE(read.count(QStringLiteral("Darnovi Cards")), 6);
    }
};

QTEST_MAIN(tst_Printing)
#include "tst_printing.moc"
