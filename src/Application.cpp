#include "Application.h"

#include "CommandLine.h"
#include "PdfExport.h"
#include "app/ProgramFolder.h"
#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "base/Failure.h"
#include "layouts/Fonts.h"

#include <QApplication>
#include <QDBusConnection>
#include <QLocale>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

// GCC names the address sanitizer with a macro, clang as a feature.
#if defined(__SANITIZE_ADDRESS__)
#define TESSARY_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARY_ADDRESS_SANITIZER 1
#endif
#endif

namespace Application {

namespace {

// Exit status for arguments the program does not understand.
constexpr int usageError = 2;

void nameApplication()
{
    QCoreApplication::setOrganizationName(QLatin1String(SettingsStore::organization));
    QCoreApplication::setApplicationName(QLatin1String(SettingsStore::application));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));
}

void say(std::FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int openWindow()
{
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("tessary"));
    Fonts::registerSubstitutes();

    SystemServices services;
    SettingsStore settings;
    Form1 window(services, settings, ProgramFolder::path());
    window.Form_Load();
    window.show();
    return QApplication::exec();
}

// The sheet as a PDF, or its first card as a picture.
int exportFile(CommandLine::Action action, const CommandLine &line)
{
    nameApplication();
    try {
        const QStringList warnings = action == CommandLine::Action::Png
            ? PdfExport::writeCardPicture(line.pngFile(), ProgramFolder::path())
            : PdfExport::write(line.pdfFile(), ProgramFolder::path(), PdfExport::pageSizeFor(QLocale::system()));
        for (const QString &warning : warnings)
            say(stderr, QStringLiteral("tessary: warning: ") + warning);
        return 0;
    } catch (const Failure &failure) {
        say(stderr, QStringLiteral("tessary: ") + failure.description());
        return 1;
    }
}

int badArguments(const CommandLine &line)
{
    say(stderr, QStringLiteral("tessary: ") + line.errorText());
    say(stderr, QStringLiteral("Try 'tessary --help' for more information."));
    return usageError;
}

// Everything but opening the window, once an application object exists.
int act(CommandLine &line, CommandLine::Action action)
{
    switch (action) {
    case CommandLine::Action::Window: return openWindow();
    case CommandLine::Action::Help: say(stdout, line.helpText()); return 0;
    case CommandLine::Action::Version: say(stdout, CommandLine::versionText()); return 0;
    case CommandLine::Action::Pdf:
    case CommandLine::Action::Png: return exportFile(action, line);
    case CommandLine::Action::Error: return badArguments(line);
    }
    return usageError;
}

// Ends the process once the export has said all it has to say. The file is
// complete and in place by now, and nothing else is kept; taking down the
// sheet's widgets, the fonts and the plugins one by one, only to exit, costs
// several milliseconds. Under the address sanitizer everything is still taken
// down, so that its leak check sees the whole run.
int endExport(int status)
{
#if defined(TESSARY_ADDRESS_SANITIZER)
    return status;
#else
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
#endif
}

// The windows and the export need the font configuration, which does not
// need the application object: it loads beside the application's start.
void loadAhead()
{
    Fonts::loadConfigurationAhead();
}

// On a desktop the toolkit's bridge to assistive technology connects to the
// session bus as soon as the first widget changes, and the window waits for
// that connection while it is built. Connecting on a thread of its own as the
// window starts to be built lets the two go on side by side; the bridge then
// finds the connection made. Headless platforms have no such bridge and are
// left alone, and the application waits for the thread before it ends.
void connectSessionBusAhead()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return;
    QThreadPool::globalInstance()->start([] { QDBusConnection::sessionBus(); });
}

bool displayNamed()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int run(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line;
    const CommandLine::Action action = line.parse(arguments);
    switch (action) {
    case CommandLine::Action::Window: {
        loadAhead();
        QApplication app(argc, argv);
        connectSessionBusAhead();
        return openWindow();
    }
    case CommandLine::Action::Help:
    case CommandLine::Action::Version: {
        QCoreApplication app(argc, argv);
        return act(line, action);
    }
    case CommandLine::Action::Pdf:
    case CommandLine::Action::Png: {
        // The export draws widgets, which needs a GUI application, but it
        // never shows one: it needs no display and does not wait for one.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        loadAhead();
        QApplication app(argc, argv);
        return endExport(act(line, action));
    }
    case CommandLine::Action::Error:
        break;
    }
    // The toolkit's own options (-platform, -style, ...) are not ours; the
    // application object takes them out of the arguments. Only where it can
    // be made at all: without a display it would abort before saying why.
    if (!displayNamed()) {
        QCoreApplication app(argc, argv);
        return badArguments(line);
    }
    QApplication app(argc, argv);
    CommandLine rest;
    const CommandLine::Action restAction = rest.parse(QCoreApplication::arguments());
    return act(rest, restAction);
}

} // namespace Application
