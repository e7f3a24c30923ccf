#pragma once

#include "sheet/SheetPdf.h"

#include <QPageSize>
#include <QString>
#include <QStringList>

// The sheet of the stored card as a PDF file, or its first card as a
// picture, made without a window: the same six cards, logo and fit mode the
// program would print after starting, drawn by the same code that prints
// them.
namespace PdfExport {

using SheetPdf::pageSizeFor;

// Writes the sheet to `fileName` as one page at physical size, placed at the
// top-left corner of the printable area inside margins of 10 points, as
// Qt's PDF printer places a printed sheet. Reads the settings store and never
// writes it; shows nothing; loads no skin. Throws Failure when the target
// cannot be written, the stored logo cannot be read, or anything on the way
// asks for a message box. A failed export leaves no file behind and an
// existing file at `fileName` as it was. Returns what the user should hear
// about a sheet that was written all the same (a stored logo file that is no
// longer there: the cards come out without it, as they would on paper).
QStringList write(const QString &fileName, const QString &programFolder, const QPageSize &pageSize);

// Writes the first card of that sheet to `fileName` as the PNG picture the
// window's "Save Card as Picture" writes. Reads, fails and warns as write()
// does.
QStringList writeCardPicture(const QString &fileName, const QString &programFolder);

} // namespace PdfExport
