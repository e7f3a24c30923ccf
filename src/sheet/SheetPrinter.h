#pragma once

#include <QSizeF>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace SheetPrinter {

// Paints a window's client area at physical size: every control lands on the
// twips its layout gives it (a card is 5285 x 3015 twips on paper, exactly),
// drawn by its own paint code, so text and shapes stay vectors. `painter`
// must be active on a device of `dotsPerInch`; the sheet starts at the
// painter's origin.
void paintWindow(QPainter &painter, QWidget &window, int dotsPerInch);

// One control of a window (a card of the sheet) and everything on it, painted
// as paintWindow paints it, with the control's top-left corner at the
// painter's origin.
void paintControl(QPainter &painter, QWidget &control, int dotsPerInch);

// How large a control is on paper, in twips.
QSizeF twipsSize(const QWidget &control);

// Prints the window's client area as one page on `printer`, from the top-left
// corner of the printable area, at physical size, with no dialog and no
// scaling by the print pipeline. A printer bound to a print queue prints on
// the queue's default paper in its default orientation; its page is made
// whole in memory and streamed to the queue. A printer writing a file gets
// the same page, put in place only once it is whole. Throws Failure, and
// prints nothing, when the window's controls do not fit the printable area,
// and when the page cannot be made or sent whole (a job already begun is
// cancelled).
void PrintForm(QWidget &window, QPrinter &printer);

} // namespace SheetPrinter
