#include "EditorFixture.h"
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

#include <unistd.h>

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

// A printer that writes a PDF file on the paper given.
class PaperServices : public FakeServices
{
public:
    std::unique_ptr<QPrinter> defaultPrinter() override
    {
        std::unique_ptr<QPrinter> printer = FakeServices::defaultPrinter();
        printer->setPageSize(paper);
        return printer;
    }

    QPageSize paper;
};

// Waits for the scheduler to finish the job and the PDF printer to finish
// writing the file with that job's number. With a queue named, only that
// queue's jobs are waited for.
QString waitForJobFile(const QString &folder, const QStringList &before, const QString &queue = QString())
{
    QElapsedTimer timer;
    timer.start();
    QString found;
    qint64 lastSize = -1;
    int steady = 0;
    while (timer.elapsed() < TestSupport::waitCeilingMs()) {
        QStringList lpstat{QStringLiteral("-o")};
        if (!queue.isEmpty())
            lpstat << queue;
        const bool queueEmpty = run(QStringLiteral("lpstat"), lpstat).trimmed().isEmpty();
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

// Runs a command as root, through sudo where the test is not root; false
// when it cannot be run or fails.
bool runAsRoot(const QString &program, const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    if (geteuid() == 0)
        process.start(program, arguments);
    else
        process.start(QStringLiteral("sudo"), QStringList{QStringLiteral("-n"), program} + arguments);
    if (!process.waitForStarted(TestSupport::waitCeilingMs()))
        return false;
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(TestSupport::waitCeilingMs()) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// A print queue of the test's own on the CUPS PDF printer, with its own
// defaults, writing into its own folder, and made the default destination
// of this process only (libcups reads LPDEST). The shared default queue and
// its options stay untouched.
class PrivateQueue
{
public:
    explicit PrivateQueue(const QStringList &defaults)
        : m_name(QStringLiteral("TessaryTest%1x%2").arg(QCoreApplication::applicationPid()).arg(++s_count)),
          m_config(QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(m_name))
    {
        if (run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).trimmed() != QLatin1String("scheduler is running")
            || !QFile::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf")) || !m_out.isValid())
            return;
        // The PDF printer reads a configuration of the queue's own name.
        const QByteArray config = "Out " + QFile::encodeName(m_out.path()) + "\n";
        if (!runAsRoot(QStringLiteral("tee"), {m_config}, config))
            return;
        QStringList arguments{QStringLiteral("-p"), m_name, QStringLiteral("-E"),
                              QStringLiteral("-v"), QStringLiteral("cups-pdf:/") + m_name,
                              QStringLiteral("-m"), QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd")};
        for (const QString &option : defaults)
            arguments << QStringLiteral("-o") << option;
        m_made = runAsRoot(QStringLiteral("lpadmin"), arguments);
        if (m_made) {
            m_oldDestination = qgetenv("LPDEST");
            m_hadDestination = qEnvironmentVariableIsSet("LPDEST");
            qputenv("LPDEST", m_name.toLocal8Bit());
        }
    }
    ~PrivateQueue()
    {
        if (m_made) {
            if (m_hadDestination)
                qputenv("LPDEST", m_oldDestination);
            else
                qunsetenv("LPDEST");
            runAsRoot(QStringLiteral("lpadmin"), {QStringLiteral("-x"), m_name});
        }
        runAsRoot(QStringLiteral("rm"), {QStringLiteral("-f"), m_config});
    }
    PrivateQueue(const PrivateQueue &) = delete;
    PrivateQueue &operator=(const PrivateQueue &) = delete;

    bool isMade() const { return m_made; }
    const QString &name() const { return m_name; }
    QString outDir() const { return m_out.path(); }
    // Every job the queue was given, finished or not.
    QString jobs() const
    {
        return run(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), m_name})
            .trimmed();
    }

private:
    static inline int s_count = 0;
    QString m_name;
    QString m_config;
    QTemporaryDir m_out;
    bool m_made = false;
    QByteArray m_oldDestination;
    bool m_hadDestination = false;
};

// The page's size in points, as the PDF says it.
QSizeF pdfPageSize(const QString &pdf)
{
    const QRegularExpression size(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"));
    const auto match = size.match(run(QStringLiteral("pdfinfo"), {pdf}));
    return match.hasMatch() ? QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble()) : QSizeF();
}

// Where the first card's outer corner lands: Qt's 10-point margins (the PDF
// printer's papers have none of their own) and the card's place on the sheet.
const QPointF firstCardOnPage(200 + 120, 200 + 240);

// A queue of the test's own is needed; where none could be added the test
// fails when a printer is required, and is skipped otherwise.
bool queueIsThere(const PrivateQueue &queue)
{
    if (queue.isMade())
        return true;
    if (qEnvironmentVariableIntValue("TESSARY_REQUIRE_PRINTER") == 1)
        QTest::qFail("could not add a print queue on the CUPS PDF printer", __FILE__, __LINE__);
    else
        QTest::qSkip("no CUPS scheduler with the PDF printer to add a queue to, or no right to add one",
                     __FILE__, __LINE__);
    return false;
}

// A folder on a small file system of its own, filled up to the last `room`
// bytes; unmounted at the end. Mounting it needs root.
class FullFolder
{
public:
    explicit FullFolder(qint64 room)
    {
        if (!m_dir.isValid()
            || !runAsRoot(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=256k,mode=1777"), QStringLiteral("tmpfs"),
                                                    m_dir.path()}))
            return;
        m_mounted = true;
        QFile fill(m_dir.filePath(QStringLiteral("fill")));
        if (!fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'x');
        while (fill.write(block) > 0) {
        }
        m_full = fill.resize(std::max<qint64>(0, fill.size() - room));
    }
    ~FullFolder()
    {
        if (m_mounted)
            runAsRoot(QStringLiteral("umount"), {m_dir.path()});
    }
    FullFolder(const FullFolder &) = delete;
    FullFolder &operator=(const FullFolder &) = delete;

    bool isFull() const { return m_full; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_full = false;
};

} // namespace

class tst_Printing : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void pdfSheetHasSixCardsAtPhysicalSize()
    {
        TestSupport::EditorWith<FakeServices> editor;
        FakeServices &services = editor.services;
        services.printerFile = editor.programFolder.filePath(QStringLiteral("sheet.pdf"));
        Form1 &window = editor.form;
        window.PushButton4_Click();
        window.PushButton3_Click();
        QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));
        QCOMPARE(pageCount(services.printerFile), 1);
        checkSheetGeometry(rasterise(services.printerFile, editor.programFolder.path()));
        // Text stays text: every card's company name can be read back.
        const QString text = run(QStringLiteral("pdftotext"), {services.printerFile, QStringLiteral("-")});
        QCOMPARE(text.count(QStringLiteral("Darnovi")), 6);
        QVERIFY(window.hasForm2());
        QVERIFY(!window.existingForm2()->isVisible());
    }

    void emptyCardPrintsSixBorderedCards()
    {
        TestSupport::EditorWith<FakeServices> editor;
        FakeServices &services = editor.services;
        services.printerFile = editor.programFolder.filePath(QStringLiteral("empty.pdf"));
        Form1 &window = editor.form;
        window.PushButton3_Click();
        QVERIFY(services.messages.empty());
        checkSheetGeometry(rasterise(services.printerFile, editor.programFolder.path()));
    }

    void printingTwiceReusesTheHiddenSheet()
    {
        TestSupport::EditorWith<FakeServices> editor;
        FakeServices &services = editor.services;
        services.printerFile = editor.programFolder.filePath(QStringLiteral("a.pdf"));
        Form1 &window = editor.form;
        window.PushButton3_Click();
        Form2 *first = window.existingForm2();
        window.PushButton3_Click();
        QCOMPARE(window.existingForm2(), first);
        QVERIFY(services.shownModally.empty());
    }

    void noPrinterReportsLine102()
    {
        TestSupport::EditorWith<FakeServices> editor; // no printer file: the seam says there is no printer
        FakeServices &services = editor.services;
        Form1 &window = editor.form;
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
        TestSupport::EditorWith<RealPrinterServices> editor;
        RealPrinterServices &services = editor.services;
        Form1 &window = editor.form;
        window.PushButton3_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        QVERIFY(services.messages[0].text.startsWith(QStringLiteral("No default printer")));
        QVERIFY(services.messages[0].text.contains(QStringLiteral("at line 102")));
    }

    void previewFailureToShowReportsLine102()
    {
        TestSupport::EditorWith<FakeServices> editor;
        FakeServices &services = editor.services;
        services.onShowModal = [](QWidget *) { throw Failure(QStringLiteral("cannot show")); };
        Form1 &window = editor.form;
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

        TestSupport::EditorWith<RealPrinterServices> editor;

        RealPrinterServices &services = editor.services;

        Form1 &window = editor.form;
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
        const QImage page = rasterise(pdf, editor.programFolder.path());
        checkSheetGeometry(page);

        // The PDF printer turns text into outlines, so read it back by OCR.
        if (QStandardPaths::findExecutable(QStringLiteral("tesseract")).isEmpty()) {
            if (required)
                QFAIL("tesseract is needed to read the printed text");
            return;
        }
        const QString png = editor.programFolder.filePath(QStringLiteral("page.png"));
        QVERIFY(page.save(png));
        const QString read = run(QStringLiteral("tesseract"), {png, QStringLiteral("-")},
                                 TestSupport::waitCeilingMs(2 * TestSupport::startSeconds));
        QCOMPARE(read.count(QStringLiteral("Darnovi Cards")), 6);
    }

    // A sheet that does not fit the printable part of the paper would lose
    // cards at the edge; it is reported instead and nothing is printed.
    void paperTooSmallForTheSheetIsReported_data()
    {
        QTest::addColumn<QPageSize>("paper");
        QTest::addColumn<bool>("fits");
        // The cards reach 10925 x 9735 twips into the sheet; with Qt's
        // 10-point margins the paper must be at least this big.
        const QSizeF least(10925.0 / 1440 + 20.0 / 72, 9735.0 / 1440 + 20.0 / 72);
        auto inches = [](double width, double height) { return QPageSize(QSizeF(width, height), QPageSize::Inch); };
        QTest::newRow("A4 holds the sheet") << QPageSize(QPageSize::A4) << true;
        QTest::newRow("US Letter holds the sheet") << QPageSize(QPageSize::Letter) << true;
        QTest::newRow("0.1 in to spare each way") << inches(least.width() + 0.1, least.height() + 0.1) << true;
        QTest::newRow("0.1 in too narrow") << inches(least.width() - 0.1, least.height() + 1) << false;
        QTest::newRow("0.1 in too short") << inches(least.width() + 1, least.height() - 0.1) << false;
        QTest::newRow("A5 is too narrow") << QPageSize(QPageSize::A5) << false;
        QTest::newRow("A5 on its side is too short")
            << QPageSize(QSizeF(210, 148), QPageSize::Millimeter) << false;
        QTest::newRow("4 x 6 in photo paper") << inches(4, 6) << false;
    }
    void paperTooSmallForTheSheetIsReported()
    {
        QFETCH(QPageSize, paper);
        QFETCH(bool, fits);
        TestSupport::EditorWith<PaperServices> editor;
        PaperServices &services = editor.services;
        services.printerFile = editor.programFolder.filePath(QStringLiteral("sheet.pdf"));
        services.paper = paper;
        Form1 &window = editor.form;
        window.PushButton3_Click();
        if (fits) {
            QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));
            QCOMPARE(pageCount(services.printerFile), 1);
            return;
        }
        QCOMPARE(services.messages.size(), size_t(1));
        const QString text = services.messages[0].text;
        QCOMPARE(services.messages[0].title, QStringLiteral("Application Error"));
        QVERIFY2(text.contains(QStringLiteral("in Tessary2016/11/03.Form1.PushButton3_Click at line 102")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("default paper, ") + paper.name()), qPrintable(text));
        QVERIFY(!QFile::exists(services.printerFile));
    }

    // "Print Card" through the scheduler on a queue whose default paper
    // (and orientation) is not what Qt starts a printer on.
    void printCardFollowsTheQueueDefaults_data()
    {
        QTest::addColumn<QStringList>("defaults");
        QTest::addColumn<QSizeF>("paperPoints");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("a queue on US Letter prints on US Letter")
            << QStringList{QStringLiteral("PageSize=Letter")} << QSizeF(612, 792) << false;
        QTest::newRow("a queue on A4 prints on A4")
            << QStringList{QStringLiteral("PageSize=A4")} << QSizeF(595, 842) << false;
        QTest::newRow("a queue on US Letter in landscape prints the sheet across the paper")
            << QStringList{QStringLiteral("PageSize=Letter"), QStringLiteral("orientation-requested-default=4")}
            << QSizeF(612, 792) << true;
    }
    void printCardFollowsTheQueueDefaults()
    {
        QFETCH(QStringList, defaults);
        QFETCH(QSizeF, paperPoints);
        QFETCH(bool, landscape);
        PrivateQueue queue(defaults);
        if (!queueIsThere(queue))
            return;
        TestSupport::EditorWith<RealPrinterServices> editor;
        RealPrinterServices &services = editor.services;
        Form1 &window = editor.form;
        window.PushButton4_Click();
        window.PushButton3_Click();
        QVERIFY2(services.messages.empty(), services.messages.empty() ? "" : qPrintable(services.messages[0].text));

        const QString pdf = waitForJobFile(queue.outDir(), {}, queue.name());
        QVERIFY2(!pdf.isEmpty(), "the PDF printer wrote no file for the job");
        QCOMPARE(pageCount(pdf), 1);
        const QSizeF size = pdfPageSize(pdf);
        QVERIFY2(std::abs(size.width() - paperPoints.width()) <= 1 && std::abs(size.height() - paperPoints.height()) <= 1,
                 qPrintable(QStringLiteral("page %1 x %2 pt").arg(size.width()).arg(size.height())));

        QImage page = rasterise(pdf, editor.programFolder.path());
        // A landscape page comes out turned a quarter to the left on the
        // paper; turn it back to read it.
        if (landscape)
            page = page.transformed(QTransform().rotate(90));
        checkSheetGeometry(page);
        if (QTest::currentTestFailed())
            return;
        const QPointF corner = firstCardCorner(page);
        const double tolerance = 0.1 * twipsPerMm;
        QVERIFY2(std::abs(corner.x() - firstCardOnPage.x()) <= tolerance
                     && std::abs(corner.y() - firstCardOnPage.y()) <= tolerance,
                 qPrintable(QStringLiteral("first card at %1, %2 twips").arg(corner.x()).arg(corner.y())));
    }

    // Qt's print engine keeps quiet when the scheduler refuses the job; the
    // user is told, with the scheduler's reason.
    void queueRefusingJobsIsReported()
    {
        PrivateQueue queue({});
        if (!queueIsThere(queue))
            return;
        QVERIFY(runAsRoot(QStringLiteral("cupsreject"), {queue.name()}));
        TestSupport::EditorWith<RealPrinterServices> editor;
        RealPrinterServices &services = editor.services;
        editor.form.PushButton3_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        const QString text = services.messages[0].text;
        QCOMPARE(services.messages[0].title, QStringLiteral("Application Error"));
        QVERIFY2(text.contains(QStringLiteral("not accepting jobs")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("PushButton3_Click at line 102")), qPrintable(text));
        QCOMPARE(queue.jobs(), QString());
    }

    // The page must not be spooled where it can be cut off unnoticed: with
    // 40 KB left in the temporary folder, less than the page needs, the user
    // gets a whole page, or is told, and no cut-off page is printed.
    void fullTemporaryFolderPrintsAWholePageOrSaysWhy()
    {
        PrivateQueue queue({});
        if (!queueIsThere(queue))
            return;
        TestSupport::EditorWith<RealPrinterServices> editor;
        RealPrinterServices &services = editor.services;
        const FullFolder full(40 * 1024);
        if (!full.isFull()) {
            if (qEnvironmentVariableIntValue("TESSARY_REQUIRE_PRINTER") == 1)
                QFAIL("could not mount a small file system for the temporary folder");
            QSKIP("no right to mount a small file system for the temporary folder");
        }
        editor.form.PushButton4_Click();
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(full.path()));
        editor.form.PushButton3_Click();
        qputenv("TMPDIR", oldTemp);
        if (oldTemp.isEmpty())
            qunsetenv("TMPDIR");

        if (!services.messages.empty()) {
            const QString text = services.messages[0].text;
            QCOMPARE(services.messages.size(), size_t(1));
            QVERIFY2(text.contains(QStringLiteral("PushButton3_Click at line 102")), qPrintable(text));
            QVERIFY2(QTest::qWaitFor([&] { return jobIds(queue.name(), QStringLiteral("not-completed")).isEmpty(); },
                                     TestSupport::waitCeilingMs()),
                     "a job was left in the queue");
            QCOMPARE(QDir(queue.outDir()).entryList(QDir::Files), QStringList());
            return;
        }
        const QString pdf = waitForJobFile(queue.outDir(), {}, queue.name());
        QVERIFY2(!pdf.isEmpty(), "the PDF printer wrote no file for the job");
        QCOMPARE(pageCount(pdf), 1);
        checkSheetGeometry(rasterise(pdf, editor.programFolder.path()));
    }

    void tooSmallQueuePaperPrintsNothing()
    {
        PrivateQueue queue({QStringLiteral("PageSize=A5")});
        if (!queueIsThere(queue))
            return;
        TestSupport::EditorWith<RealPrinterServices> editor;
        RealPrinterServices &services = editor.services;
        Form1 &window = editor.form;
        window.PushButton3_Click();
        QCOMPARE(services.messages.size(), size_t(1));
        const QString text = services.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("the printer \"%1\"").arg(queue.name())), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("default paper, A5.")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("PushButton3_Click at line 102")), qPrintable(text));
        // Printing hands the job over before the command returns: had there
        // been one, the queue would list it now.
        QCOMPARE(queue.jobs(), QString());
        QCOMPARE(QDir(queue.outDir()).entryList(QDir::Files), QStringList());
    }
};

QTEST_MAIN(tst_Printing)
#include "tst_printing.moc"
