#pragma once

#include <QPageLayout>
#include <QPageSize>

class QString;

// What a print queue uses for a job that asks for nothing: the paper and the
// orientation its administrator set as its defaults, or the user did with
// lpoptions. A QPrinter made for a queue starts on A4 in portrait whatever
// the queue holds, so whoever prints without a dialog has to ask.
namespace PrinterDefaults {

// The queue's default paper; invalid when the queue is unknown or names none.
QPageSize pageSize(const QString &printerName);

// Landscape when the queue defaults to landscape (or reverse landscape);
// portrait when it defaults to portrait, names no orientation or is unknown.
QPageLayout::Orientation orientation(const QString &printerName);

} // namespace PrinterDefaults
