#include "sheet/SheetPdf.h"

#include "base/Failure.h"
#include "sheet/SheetPrinter.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace SheetPdf {

namespace {

void paint(QWidget &sheet, QIODevice &device, const QPageSize &pageSize)
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

// Said here in words, because QSaveFile only reports "Unknown error".
void checkTarget(const QString &fileName)
{
    const QFileInfo target(fileName);
    if (fileName.isEmpty())
        throw Failure(QStringLiteral("No file name was given for the PDF."));
    if (target.isDir())
        throw Failure(QStringLiteral("%1 is a folder, not a file name.").arg(fileName));
    const QFileInfo folder(target.absolutePath());
    const QString folderName = QDir::toNativeSeparators(folder.filePath());
    if (folder.exists() && !folder.isDir())
        throw Failure(QStringLiteral("%1 is a file, not a folder.").arg(folderName));
    if (!folder.isDir())
        throw Failure(QStringLiteral("The folder %1 does not exist.").arg(folderName));
    if (!folder.isWritable())
        throw Failure(QStringLiteral("The folder %1 cannot be written to.").arg(folderName));
}

void write(QWidget &sheet, const QString &fileName, const QPageSize &pageSize,
           const std::function<void()> &beforeCommit)
{
    checkTarget(fileName);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    paint(sheet, buffer, pageSize);
    if (beforeCommit)
        beforeCommit();
    save(pdf, fileName);
}

void save(const QByteArray &pdf, const QString &fileName)
{
    checkTarget(fileName);
    // Unbuffered, and written until every byte is taken: on a full disk a
    // write takes only part and reports no error, and the PDF writer pays no
    // heed to that; only the next write says why it failed. (Left to the
    // PDF writer and QSaveFile's commit, a full disk gave a cut-off file put
    // in place of the earlier one, reported as written.)
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Failure(QStringLiteral("%1 could not be created: %2.").arg(fileName, file.errorString()));
    for (qint64 done = 0; done < pdf.size();) {
        const qint64 written = file.write(pdf.constData() + done, pdf.size() - done);
        if (written <= 0)
            throw Failure(QStringLiteral("%1 could not be written: %2.").arg(fileName, file.errorString()));
        done += written;
    }
    if (!file.commit())
        throw Failure(QStringLiteral("%1 could not be written: %2.").arg(fileName, file.errorString()));
}

} // namespace SheetPdf
