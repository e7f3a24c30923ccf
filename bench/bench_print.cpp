// "Print Card" until the job is accepted by the scheduler, on the system's
// default printer (tools/cups.sh sets up a PDF printer). The floor is the same
// page painted empty to the same printer.

#include "BenchSupport.h"

#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"

#include <QApplication>
#include <QPainter>
#include <QPrinterInfo>

class PrintingServices : public Bench::QuietServices
{
public:
    std::unique_ptr<QPrinter> defaultPrinter() override { return m_real.defaultPrinter(); }

private:
    SystemServices m_real;
};

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
    const double print = Bench::medianMicros(runs, [&] { window.PushButton3_Click(); });
    const double floor = Bench::medianMicros(runs, [&] {
        std::unique_ptr<QPrinter> printer = services.defaultPrinter();
        QPainter painter(printer.get());
        painter.drawText(100, 100, QStringLiteral("."));
    });
    Bench::report("Print Card to job accepted", print / 1000, "one-dot page", floor / 1000, "ms");
    return 0;
}
