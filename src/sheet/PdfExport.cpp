#include "sheet/PdfExport.h"

#include "app/FileCheck.h"
#include "app/HeadlessServices.h"
#include "app/PictureLoader.h"
#include "app/SettingsStore.h"
#include "editor/CardFields.h"
#include "editor/Form1.h"
#include "layouts/Fonts.h"
#include "layouts/StretchImage.h"
#include "sheet/Form2.h"
#include "sheet/SheetPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>

namespace PdfExport {

namespace {

constexpr auto fitCaption = "Fit Image to Box";
constexpr auto fullSizeCaption = "Use Full Size";

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

// The window's own restore, less its writes: each field set with its change
// rule held back (the rule would store the text again), and the fit toggle
// that the restore presses whenever a logo path is stored, applied as the
// caption it leaves behind instead of being pressed (pressing it stores the
// caption).
QStringList restoreCard(Form1 &window, const SettingsStore &settings)
{
    QStringList warnings;
    for (const CardFields::Field &card : CardFields::fields) {
        const QString fallback = card.letter == 'a'   ? QLatin1String(CardFields::defaultCompany)
                                 : card.letter == 'j' ? QLatin1String(CardFields::defaultWebsite)
                                                      : QString();
        QLineEdit *edit = window.field(card.letter);
        const QSignalBlocker quiet(edit);
        edit->setText(settings.read(CardFields::key(card.letter), fallback));
    }
    QString caption = settings.read(QStringLiteral("Fit"), QLatin1String(fitCaption));
    const QString logo = settings.read(QStringLiteral("Logo"));
    if (!logo.isEmpty()) {
        if (FileCheck::exists(logo))
            window.imgLogo()->setPicture(PictureLoader::load(logo));
        else
            warnings << QStringLiteral("The logo %1 is not there any more; the cards have no logo.").arg(logo);
        if (caption == QLatin1String(fitCaption))
            caption = QLatin1String(fullSizeCaption);
        else if (caption == QLatin1String(fullSizeCaption))
            caption = QLatin1String(fitCaption);
    }
    window.fitButton()->setText(caption);
    return warnings;
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
    SettingsStore settings;
    Form1 window(services, settings, programFolder);
    const QStringList warnings = restoreCard(window, settings);
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
