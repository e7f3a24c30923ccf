// Start-up to the main window shown, against an empty Qt window shown, both
// inside one running application so only the windows' own costs count.

#include "BenchSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"

#include <QApplication>
#include <QTest>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Fonts::registerSubstitutes();
    Bench::QuietServices services;
    {
        // A first card in the store, as a returning user has.
        SettingsStore store;
        Form1 window(services, store, QDir::tempPath());
        window.PushButton4_Click();
    }
    constexpr int runs = 40;
    const double floor = Bench::medianMicros(runs, [&] {
        QWidget empty;
        empty.resize(536, 641);
        empty.show();
        QTest::qWaitForWindowExposed(&empty);
        QCoreApplication::processEvents();
    });
    const double startup = Bench::medianMicros(runs, [&] {
        SettingsStore store;
        Form1 window(services, store, QDir::tempPath());
        window.Form_Load();
        window.show();
        QTest::qWaitForWindowExposed(&window);
        QCoreApplication::processEvents();
    });
    Bench::report("start-up to main window shown", startup / 1000, "empty window shown", floor / 1000, "ms");
    return 0;
}
