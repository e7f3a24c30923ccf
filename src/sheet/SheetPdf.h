#pragma once

#include <QPageSize>
#include <QString>

#include <functional>

class QLocale;
class QWidget;

// The sheet as one page of a PDF file, for whoever has no printer at hand:
// drawn by the code that prints it, at physical size, from the top-left
// corner of the printable area inside margins of 10 points, as Qt's PDF
// printer places a printed sheet. The window's command and the command line
// write the same file this way.
namespace SheetPdf {

inline constexpr int resolution = 1200;

// Letter where the locale measures in US units, A4 everywhere else.
QPageSize pageSizeFor(const QLocale &locale);

// Paints `sheet` and puts the PDF in place as `fileName` as DurableFile
// does: written beside it, flushed, renamed over it. `beforeCommit`, if
// given, runs after the painting and may throw to give the file up. Throws
// Failure when anything fails (a full disk, a failed flush too); then no
// file is left behind and an earlier file of that name stays as it was.
void write(QWidget &sheet, const QString &fileName, const QPageSize &pageSize,
           const std::function<void()> &beforeCommit = {});

} // namespace SheetPdf
