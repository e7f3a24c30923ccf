#include "PdfExport.h"

#include "app/DurableFile.h"
#include "app/FileCheck.h"
#include "app/HeadlessServices.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"
#include "sheet/CardPicture.h"
#include "sheet/Form2.h"
#include "sheet/SheetPdf.h"

namespace PdfExport {

namespace {

// Runs the window's own restore hidden, fills its sheet and hands the sheet
// to `writeSheet`, with what must run once the painting is done.
QStringList exportSheet(const QString &fileName, const QString &programFolder,
                        const std::function<void(Form2 &, const std::function<void()> &)> &writeSheet)
{
    // Said before the window is built, which takes longer than the check.
    DurableFile::checkTarget(fileName);
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

    writeSheet(sheet, [&] { services.raiseKept(); });
    return warnings;
}

} // namespace

QStringList write(const QString &fileName, const QString &programFolder, const QPageSize &pageSize)
{
    return exportSheet(fileName, programFolder, [&](Form2 &sheet, const std::function<void()> &beforeCommit) {
        SheetPdf::write(sheet, fileName, pageSize, beforeCommit);
    });
}

QStringList writeCardPicture(const QString &fileName, const QString &programFolder)
{
    return exportSheet(fileName, programFolder, [&](Form2 &sheet, const std::function<void()> &beforeCommit) {
        CardPicture::write(sheet, fileName, beforeCommit);
    });
}

} // namespace PdfExport
