#include "PdfExport.h"

#include "app/FileCheck.h"
#include "app/HeadlessServices.h"
#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"
#include "sheet/Form2.h"
#include "sheet/SheetPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace PdfExport {

namespace {

// The target's folder must exist and the name must not be taken by a folder;
// said here in words, because QSaveFile only reports "Unknown error".
void checkTarget(const QString &fileName)
{
    const QFileInfo target(fileName);
    if (fileName.isEmpty())
        throw Failure(QStringLiteral("No file name was given for the PDF."));
    if (target.isDir())
        throw Failure(QStringLiteral("%1 is a folder, not a file name.").arg(fileName));
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        throw Failure(QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.filePath())));
    if (!folder.isWritable())
        throw Failure(QStringLiteral("The folder %1 cannot be written to.").arg(QDir::toNativeSeparators(folder.filePath())));
}

void paintSheet(Form2 &sheet, QIODevice &device, const QPageSize &pageSize)
{
    QPdfWriter writer(&device);
    writer.setResolution(resolution);
    writer.setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                     QPageLayout::Point));
    writer.setTitle(QStringLiteral("Tessary business cards"));
    writer.setCreator(QStringLiteral("Tessary " TESSARY_VERSION));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Failure(QStringLiteral("The PDF could not be started."));
    SheetPrinter::paintWindow(painter, sheet, writer.resolution());
    if (!painter.end())
        throw Failure(QStringLiteral("The PDF could not be finished."));
}

} // namespace

QPageSize pageSizeFor(const QLocale &locale)
{
    return QPageSize(locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                             : QPageSize::A4);
}

QStringList write(const QString &fileName, const QString &programFolder, const QPageSize &pageSize)
{
    checkTarget(fileName);
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

    // Written beside the target and renamed over it only once complete.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("%1 could not be created: %2.").arg(fileName, file.errorString()));
    paintSheet(sheet, file, pageSize);
    services.raiseKept();
    if (!file.commit())
        throw Failure(QStringLiteral("%1 could not be written: %2.").arg(fileName, file.errorString()));
    return warnings;
}

} // namespace PdfExport
