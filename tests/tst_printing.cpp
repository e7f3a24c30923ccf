#include "TestSupport.h"
#include "SheetMeasure.h"

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

using namespace SheetMeasure;

// Everything fake but the printer, which is the system's default.
class RealPrinterServices : public FakeServices
{
public:
    std::unique_ptr<QPrinter> defaultPrinter() override { return m_real.defaultPrinter(); }

private:
    SystemServices m_real;
};

// Waits for the scheduler to finish the job and the PDF printer to finish
// writing the file with that job's number.
QString waitForJobFile(const QString &folder, const QStringList &before)
{
    QElapsedTimer timer;
    timer.start();
    QString found;
    qint64 lastSize = -1;
    int steady = 0;
    while (!timer.hasExpired(TestSupport::waitCeilingMs())) {
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
        const QString read = run(QStringLiteral("tesseract"), {png, QStringLiteral("-")},
                                 TestSupport::waitCeilingMs(2 * TestSupport::startSeconds));
        QCOMPARE(read.count(QStringLiteral("Darnovi Cards")), 6);
    }
};

QTEST_MAIN(tst_Printing)
#include "tst_printing.moc"
