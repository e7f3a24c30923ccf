#include "app/Application.h"

#include "app/ProgramFolder.h"
#include "app/SettingsStore.h"
#include "app/SystemServices.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"

#include <QApplication>

namespace Application {

int run(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QLatin1String(SettingsStore::organization));
    QCoreApplication::setApplicationName(QLatin1String(SettingsStore::application));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARY_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessary"));
    Fonts::registerSubstitutes();

    SystemServices services;
    SettingsStore settings;
    Form1 window(services, settings, ProgramFolder::path());
    window.Form_Load();
    window.show();
    return app.exec();
}

} // namespace Application
