#include "sheet/SheetPrinter.h"

#include "app/DurableFile.h"
#include "base/Failure.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/Twips.h"
#include "sheet/CupsJob.h"
#include "sheet/PrinterDefaults.h"

#include <QBuffer>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrinter>
#include <QWidget>

namespace SheetPrinter {

namespace {

// Where a control lies in twips, relative to its container: the layout's
// box while the control still has the size the layout gave it, otherwise
// (a label that sized itself to its caption) its pixel box in twips.
QRectF twipsBox(const QWidget &widget, double twipsPerPixel)
{
    const QRect declared = widget.property(LayoutBuilder::twipsProperty).toRect();
    if (declared.isValid() && Twips::toPixels(declared, twipsPerPixel) == widget.geometry())
        return QRectF(declared);
    const QRect pixels = widget.geometry();
    return QRectF(pixels.x() * twipsPerPixel, pixels.y() * twipsPerPixel,
                  pixels.width() * twipsPerPixel, pixels.height() * twipsPerPixel);
}

// `painter` is in twips with its origin at the widget's container.
void paintTree(QPainter &painter, QWidget &widget, const QRectF &box, double twipsPerPixel)
{
    if (widget.width() <= 0 || widget.height() <= 0)
        return;
    painter.save();
    painter.translate(box.topLeft());
    painter.setClipRect(QRectF(QPointF(0, 0), box.size()), Qt::IntersectClip);
    painter.save();
    painter.scale(box.width() / widget.width(), box.height() / widget.height());
    QWidget::RenderFlags flags;
    if (widget.autoFillBackground() || widget.isWindow())
        flags |= QWidget::DrawWindowBackground;
    if (painter.device()->devType() == QInternal::Printer) {
        // Rendered straight onto a printer, a widget goes through a pixmap
        // and its text would print as pictures; recorded into a QPicture
        // first, it replays as vector drawing commands.
        QPicture recording;
        widget.render(&recording, QPoint(), QRegion(), flags);
        // A picture replays at its own resolution's physical size; the
        // transform already places it, so undo that.
        const double replayScale = double(recording.logicalDpiX()) / painter.device()->logicalDpiX();
        painter.scale(replayScale, double(recording.logicalDpiY()) / painter.device()->logicalDpiY());
        painter.drawPicture(0, 0, recording);
    } else {
        // Any other device (a PDF writer) takes the drawing as it comes, still
        // as vectors. A recording would cost more than all the rest: every
        // picture a control draws goes into it as a PNG and out again.
        widget.render(&painter, QPoint(), QRegion(), flags);
    }
    painter.restore();
    for (QObject *object : widget.children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow() || child->isHidden())
            continue;
        paintTree(painter, *child, twipsBox(*child, twipsPerPixel), twipsPerPixel);
    }
    painter.restore();
}

// How far the window's controls reach from its top-left corner, in twips.
// Only plain background lies beyond them.
QSizeF contentExtent(QWidget &window, double twipsPerPixel)
{
    QRectF extent;
    for (QObject *object : window.children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (child && !child->isWindow() && !child->isHidden())
            extent |= twipsBox(*child, twipsPerPixel);
    }
    if (extent.isNull())
        return QSizeF(window.width() * twipsPerPixel, window.height() * twipsPerPixel);
    return QSizeF(extent.right(), extent.bottom());
}

// A printer made for a queue starts on A4 in portrait whatever paper the
// queue holds. On other paper the printer stops for A4, or its driver scales
// the page or cuts it off, so the page takes the queue's own paper and
// orientation. A printer writing a file has no queue and keeps its page.
void useQueueDefaults(QPrinter &printer)
{
    const QString queue = printer.printerName();
    if (printer.outputFormat() != QPrinter::NativeFormat || queue.isEmpty()) {
        printer.setPageOrientation(QPageLayout::Portrait);
        return;
    }
    // Orientation first: the printable margins of the paper follow it.
    printer.setPageOrientation(PrinterDefaults::orientation(queue));
    const QPageSize paper = PrinterDefaults::pageSize(queue);
    if (paper.isValid())
        printer.setPageSize(paper);
}

QString inUnits(const QSizeF &points)
{
    const QLocale locale;
    if (locale.measurementSystem() == QLocale::MetricSystem)
        return QStringLiteral("%1 \u00d7 %2 mm")
            .arg(locale.toString(points.width() * 25.4 / 72, 'f', 1),
                 locale.toString(points.height() * 25.4 / 72, 'f', 1));
    return QStringLiteral("%1 \u00d7 %2 in")
        .arg(locale.toString(points.width() / 72, 'f', 2), locale.toString(points.height() / 72, 'f', 2));
}

// A sheet cut off at the paper's edge loses whole cards, so it is not sent.
void checkFits(const QSizeF &sheetTwips, const QPrinter &printer)
{
    constexpr double twipsPerPoint = Twips::perInch / 72;
    const QSizeF printable = printer.pageLayout().paintRect(QPageLayout::Point).size();
    // A twip of slack for the rounding of the paper's size in points.
    if (sheetTwips.width() <= printable.width() * twipsPerPoint + 1
        && sheetTwips.height() <= printable.height() * twipsPerPoint + 1)
        return;
    const QPageLayout layout = printer.pageLayout();
    const QString who = printer.printerName().isEmpty()
        ? QStringLiteral("the printer")
        : QStringLiteral("the printer \"%1\"").arg(printer.printerName());
    throw Failure(QStringLiteral("The sheet of cards is %1, larger than the part of the paper %2 can print on: "
                                 "%3 of its default paper, %4. Nothing was printed. Make a larger paper, "
                                 "such as A4 or US Letter, the printer's default paper and print again.")
                      .arg(inUnits(sheetTwips / twipsPerPoint), who, inUnits(printable),
                           layout.pageSize().name()));
}

// The page as Qt's print engine would hand it to the scheduler: drawn on
// the printer's paper, in its orientation and margins, at its resolution.
// It is made whole in memory before any of it is sent.
QByteArray pagePdf(QWidget &window, const QPrinter &printer, const QString &title)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(printer.resolution());
    if (!writer.setPageLayout(printer.pageLayout()))
        throw Failure(QStringLiteral("The page could not be laid out on %1.")
                          .arg(printer.pageLayout().pageSize().name()));
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Tessary " TESSARY_VERSION));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Failure(QStringLiteral("The page for the printer could not be started."));
    paintWindow(painter, window, writer.resolution());
    if (!painter.end())
        throw Failure(QStringLiteral("The page for the printer could not be finished."));
    return pdf;
}

// What Qt's print engine asks of the scheduler for a page, and that the
// cards print at their own size rather than fitted to the paper.
QList<CupsJob::Option> jobOptions(const QPrinter &printer)
{
    const QPageLayout layout = printer.pageLayout();
    const bool landscape = layout.orientation() == QPageLayout::Landscape;
    QByteArray sides = "one-sided";
    if (printer.duplex() == QPrinter::DuplexLongSide || (printer.duplex() == QPrinter::DuplexAuto && !landscape))
        sides = "two-sided-long-edge";
    else if (printer.duplex() == QPrinter::DuplexShortSide || printer.duplex() == QPrinter::DuplexAuto)
        sides = "two-sided-short-edge";
    QList<CupsJob::Option> options{{"media", layout.pageSize().key().toLocal8Bit()}, {"sides", sides}};
    if (landscape)
        options += CupsJob::Option{"landscape", ""};
    options += CupsJob::Option{"fit-to-page", "false"};
    options += CupsJob::Option{"print-scaling", "none"};
    return options;
}

} // namespace

void paintWindow(QPainter &painter, QWidget &window, int dotsPerInch)
{
    const double twipsPerPixel = Twips::perPixel();
    window.ensurePolished();
    painter.save();
    painter.scale(dotsPerInch / Twips::perInch, dotsPerInch / Twips::perInch);
    const QRectF box(0, 0, window.width() * twipsPerPixel, window.height() * twipsPerPixel);
    paintTree(painter, window, box, twipsPerPixel);
    painter.restore();
}

void paintControl(QPainter &painter, QWidget &control, int dotsPerInch)
{
    const double twipsPerPixel = Twips::perPixel();
    control.ensurePolished();
    painter.save();
    painter.scale(dotsPerInch / Twips::perInch, dotsPerInch / Twips::perInch);
    paintTree(painter, control, QRectF(QPointF(0, 0), twipsSize(control)), twipsPerPixel);
    painter.restore();
}

QSizeF twipsSize(const QWidget &control)
{
    return twipsBox(control, Twips::perPixel()).size();
}

void PrintForm(QWidget &window, QPrinter &printer)
{
    printer.setFullPage(false);
    useQueueDefaults(printer);
    checkFits(contentExtent(window, Twips::perPixel()), printer);
    const QString title = QStringLiteral("Tessary business cards");
    const QByteArray pdf = pagePdf(window, printer, title);
    if (!printer.outputFileName().isEmpty())
        DurableFile::write(printer.outputFileName(), pdf);
    else if (printer.outputFormat() == QPrinter::NativeFormat && !printer.printerName().isEmpty())
        CupsJob::print(printer.printerName(), title, jobOptions(printer), pdf);
    else
        throw Failure(QStringLiteral("The printer has neither a print queue nor a file to print to."));
}

} // namespace SheetPrinter
