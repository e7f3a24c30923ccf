#include "TestSupport.h"
#include "SheetMeasure.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "sheet/Form2.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScopeGuard>
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

QString lpstat(const QStringList &arguments)
{
    return run(QStringLiteral("lpstat"), arguments, TestSupport::waitCeilingMs());
}

// Numbers of the queue's jobs, "all" or only the "not-completed" ones.
QList<int> jobIds(const QString &queue, const QString &which = QStringLiteral("all"))
{
    const QRegularExpression line(QStringLiteral("^%1-(\\d+)\\s").arg(QRegularExpression::escape(queue)),
                                  QRegularExpression::MultilineOption);
    QList<int> ids;
    for (auto match = line.globalMatch(lpstat({QStringLiteral("-W"), which, QStringLiteral("-o"), queue}));
         match.hasNext();)
        ids << match.next().captured(1).toInt();
    return ids;
}

// A print queue of this test's own that prints as the default one does (the
// same device and driver), made the default of this process through the
// environment, as libcups reads it. Others may print to the shared printer
// at the same time; on a queue of its own the test waits for its own job.
// Where no queue can be added, the shared default queue is used. The queue
// is removed at the end.
class OwnQueue
{
public:
    explicit OwnQueue(const QString &like)
        : m_name(like)
    {
        const QString device = lpstat({QStringLiteral("-v"), like}).trimmed();
        const qsizetype colon = device.indexOf(QStringLiteral(": "));
        const QString ppd = QStringLiteral("/etc/cups/ppd/%1.ppd").arg(like);
        if (colon < 0 || !QFileInfo(ppd).isReadable())
            return;
        const QString own = QStringLiteral("TessaryTest-%1").arg(QCoreApplication::applicationPid());
        QProcess lpadmin;
        lpadmin.start(QStringLiteral("lpadmin"), {QStringLiteral("-p"), own, QStringLiteral("-E"), QStringLiteral("-v"),
                                                  device.mid(colon + 2), QStringLiteral("-P"), ppd});
        if (!lpadmin.waitForFinished(TestSupport::waitCeilingMs()) || lpadmin.exitStatus() != QProcess::NormalExit
            || lpadmin.exitCode() != 0)
            return;
        m_name = own;
        m_added = true;
        qputenv("PRINTER", own.toLocal8Bit());
        qputenv("LPDEST", own.toLocal8Bit());
    }
    ~OwnQueue()
    {
        if (!m_added)
            return;
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), m_name}, TestSupport::waitCeilingMs());
    }
    OwnQueue(const OwnQueue &) = delete;
    OwnQueue &operator=(const OwnQueue &) = delete;

    const QString &name() const { return m_name; }

private:
    QString m_name;
    bool m_added = false;
};

// The PDF printer names each file after its job: "job_N-title.pdf" or
// "title-job_N.pdf". Empty until the file is there and not empty.
QString jobFile(const QString &folder, int job)
{
    const QRegularExpression name(QStringLiteral("^job_%1-.*\\.pdf$|-job_%1\\.pdf$").arg(job));
    for (const QFileInfo &file : QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files)) {
        if (name.match(file.fileName()).hasMatch() && file.size() > 0)
            return file.filePath();
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
        const OwnQueue queue(printer.printerName());
        const QList<int> before = jobIds(queue.name());

        RealPrinterServices services;
        SettingsStore store;
        QTemporaryDir folder;
        Form1 window(services, store, folder.path());
        window.PushButton4_Click();
        window.field('a')->setText(QStringLiteral("Darnovi Cards"));
        window.PushButton3_Click();
        QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));

        QList<int> jobs;
        const auto newJobs = [&] {
            jobs = jobIds(queue.name());
            jobs.removeIf([&](int id) { return before.contains(id); });
            return !jobs.isEmpty();
        };
        QVERIFY2(QTest::qWaitFor(newJobs, TestSupport::waitCeilingMs()), "no print job reached the queue");
        QCOMPARE(jobs.size(), 1);
        const int job = jobs.first();
        // The page is written whole once the job is done.
        QVERIFY2(QTest::qWaitFor([&] { return !jobIds(queue.name(), QStringLiteral("not-completed")).contains(job); },
                                 TestSupport::waitCeilingMs()),
                 "the print job did not finish");
        QString pdf;
        QVERIFY2(QTest::qWaitFor([&] { return !(pdf = jobFile(outdir, job)).isEmpty(); }, TestSupport::waitCeilingMs()),
                 "the PDF printer wrote no file for the job");
        const auto removePdf = qScopeGuard([&] { QFile::remove(pdf); });
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
