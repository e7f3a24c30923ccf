// "Print Card" until the scheduler holds the whole job, on the system's
// default printer (tools/cups.sh sets up a PDF printer), beside the way it
// printed before: the same sheet painted on Qt's print engine, which spools
// the page in the temporary folder and submits that file as it ends. The
// floor is a one-dot page through Qt's engine to the same printer. The runs
// of the three take turns, so a scheduler busy with earlier jobs weighs on
// each alike.

#include "BenchSupport.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "sheet/PrinterDefaults.h"
#include "sheet/SheetPrinter.h"

#include <QApplication>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinterInfo>

#include <algorithm>

class PrintingServices : public Bench::QuietServices
{
public:
    std::unique_ptr<QPrinter> defaultPrinter() override { return m_real.defaultPrinter(); }

private:
    SystemServices m_real;
};

namespace {

// Print Card as it was before pages were streamed: the queue's paper and
// orientation, scaling off, then the sheet painted on Qt's CUPS engine.
void printThroughQtEngine(Form1 &window, Services &services)
{
    Form2 &sheet = window.form2();
    sheet.Fill_Cards();
    std::unique_ptr<QPrinter> printer = services.defaultPrinter();
    printer->setFullPage(false);
    printer->setPageOrientation(PrinterDefaults::orientation(printer->printerName()));
    const QPageSize paper = PrinterDefaults::pageSize(printer->printerName());
    if (paper.isValid())
        printer->setPageSize(paper);
    printer->setCopyCount(1);
    printer->setDocName(QStringLiteral("Tessary business cards"));
    constexpr auto cupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    printer->printEngine()->setProperty(cupsOptions, QStringList{QStringLiteral("fit-to-page"), QStringLiteral("false"),
                                                                 QStringLiteral("print-scaling"), QStringLiteral("none")});
    QPainter painter(printer.get());
    SheetPrinter::paintWindow(painter, sheet, printer->resolution());
}

double median(std::vector<double> times)
{
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QPrinterInfo::defaultPrinter().isNull()) {
        std::printf("print: skipped, no default printer (run tools/cups.sh first)\n");
        return 0;
    }
    PrintingServices services;
    SettingsStore store;
    Form1 window(services, store, QDir::tempPath());
    window.PushButton4_Click();
    window.PushButton3_Click(); // the sheet exists from here on, as after a first print

    constexpr int runs = 10;
    std::vector<double> now, before, floor;
    for (int i = 0; i < runs; ++i) {
        now.push_back(Bench::medianMicros(1, [&] { window.PushButton3_Click(); }));
        before.push_back(Bench::medianMicros(1, [&] { printThroughQtEngine(window, services); }));
        floor.push_back(Bench::medianMicros(1, [&] {
            std::unique_ptr<QPrinter> printer = services.defaultPrinter();
            QPainter painter(printer.get());
            painter.drawText(100, 100, QStringLiteral("."));
        }));
    }
    Bench::report("Print Card to job accepted", median(now) / 1000, "one-dot page", median(floor) / 1000, "ms");
    Bench::report("the same through Qt's print engine", median(before) / 1000, "one-dot page", median(floor) / 1000,
                  "ms");
    Bench::report("Print Card, streamed", median(now) / 1000, "through Qt's engine", median(before) / 1000, "ms");
    return 0;
}
