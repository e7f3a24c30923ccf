#include "sheet/SheetPrinter.h"

#include "layouts/Failure.h"
#include "layouts/LayoutBuilder.h"
#include "layouts/Twips.h"
#include "sheet/CupsLibrary.h"
#include "sheet/PrinterDefaults.h"

#include <QLocale>
#include <QPainter>
#include <QPicture>
#include <QPrintEngine>
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
    printer.setCopyCount(1);
    printer.setDocName(QStringLiteral("Tessary business cards"));
    // Ask the scheduler to print the page as it is, not fitted to the paper:
    // the cards must come out at their own size. (Qt hands CUPS options to
    // its print engine as key, value pairs under this property.)
    constexpr auto cupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    if (printer.outputFormat() == QPrinter::NativeFormat && printer.printEngine()) {
        QStringList options = printer.printEngine()->property(cupsOptions).toStringList();
        options << QStringLiteral("fit-to-page") << QStringLiteral("false")
                << QStringLiteral("print-scaling") << QStringLiteral("none");
        printer.printEngine()->setProperty(cupsOptions, options);
    }

    QPainter painter;
    if (!painter.begin(&printer))
        throw Failure(QStringLiteral("The printer \"%1\" could not be started.")
                          .arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                               : printer.printerName()));
    paintWindow(painter, window, printer.resolution());
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw Failure(QStringLiteral("The printer \"%1\" reported an error; the card was not printed.")
                          .arg(printer.printerName()));
    // Qt's print engine submits the job as the painter ends and keeps quiet
    // when the scheduler refuses it (a queue that is not accepting jobs, or
    // one deleted since it was looked up); libcups still holds the answer.
    if (printer.outputFormat() == QPrinter::NativeFormat && printer.outputFileName().isEmpty()) {
        if (const std::optional<QString> refusal = CupsLibrary::lastRefusal())
            throw Failure(QStringLiteral("The printer \"%1\" did not take the card: %2 Nothing was printed.")
                              .arg(printer.printerName(), refusal->endsWith(QLatin1Char('.')) ? *refusal : *refusal + QLatin1Char('.')));
    }
}

} // namespace SheetPrinter
