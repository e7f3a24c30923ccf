#include "PdfExport.h"

#include "app/FileCheck.h"
#include "app/HeadlessServices.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"
#include "sheet/Form2.h"
#include "sheet/SheetPdf.h"

namespace PdfExport {

QStringList write(const QString &fileName, const QString &programFolder, const QPageSize &pageSize)
{
    // Said before the window is built, which takes longer than the check.
    SheetPdf::checkTarget(fileName);
    Fonts::registerSubstitutes();

    HeadlessServices services;
    // The window's own restore runs as at start-up; its writes stay in memory.
    SettingsStore settings(SettingsStore::Mode::ReadOnly);
    // Cards of defaults in place of a card that is there but out of reach
    // would look like the user's card lost.
    if (!settings.readError().isEmpty())
        throw settings.readFailure();
    Form1 window(services, settings, programFolder);
    window.restoreCard();
    QStringList warnings;
    const QString logo = settings.read(QStringLiteral("Logo"));
    if (!logo.isEmpty() && !FileCheck::exists(logo))
        warnings << QStringLiteral("The logo %1 is not there any more; the cards have no logo.").arg(logo);
    Form2 &sheet = window.form2();
    sheet.Fill_Cards();
    services.raiseKept();

    SheetPdf::write(sheet, fileName, pageSize, [&] { services.raiseKept(); });
    return warnings;
}

} // namespace PdfExport
