#include "sheet/SheetPdf.h"

#include "app/DurableFile.h"
#include "base/Failure.h"
#include "sheet/SheetPrinter.h"

#include <QBuffer>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>

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

void write(QWidget &sheet, const QString &fileName, const QPageSize &pageSize,
           const std::function<void()> &beforeCommit)
{
    DurableFile::checkTarget(fileName);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    paint(sheet, buffer, pageSize);
    if (beforeCommit)
        beforeCommit();
    DurableFile::write(fileName, pdf);
}

} // namespace SheetPdf
