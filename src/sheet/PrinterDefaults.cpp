#include "sheet/PrinterDefaults.h"

#include "sheet/CupsLibrary.h"

#include <QByteArray>
#include <QPrinterInfo>
#include <QString>

#include <memory>

namespace PrinterDefaults {

QPageSize pageSize(const QString &printerName)
{
    return QPrinterInfo::printerInfo(printerName).defaultPageSize();
}

QPageLayout::Orientation orientation(const QString &printerName)
{
    // Qt names a queue's instance as "queue/instance", as lpoptions does.
    const QByteArray name = printerName.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
    const QByteArray instance = printerName.section(QLatin1Char('/'), 1).toLocal8Bit();
    // Without a name libcups would answer for the default queue instead.
    if (name.isEmpty())
        return QPageLayout::Portrait;
    const CupsLibrary &cups = CupsLibrary::get();
    if (!cups.getNamedDest)
        return QPageLayout::Portrait;
    auto freeDest = [&cups](cups_dest_t *dest) { cups.freeDests(1, dest); };
    const std::unique_ptr<cups_dest_t, decltype(freeDest)> dest(
        cups.getNamedDest(CUPS_HTTP_DEFAULT, name.constData(),
                          instance.isEmpty() ? nullptr : instance.constData()),
        freeDest);
    if (!dest)
        return QPageLayout::Portrait;

    // The destination's options hold the queue's job defaults with the
    // user's lpoptions laid over them. "landscape" can only come from
    // lpoptions, so it is the user's own choice and comes first.
    if (const char *landscape = cups.getOption("landscape", dest->num_options, dest->options)) {
        const QByteArray value = QByteArray(landscape).toLower();
        if (value != "false" && value != "no" && value != "off")
            return QPageLayout::Landscape;
    }
    const char *requested = cups.getOption("orientation-requested", dest->num_options, dest->options);
    // IPP: 3 portrait, 4 landscape, 5 reverse landscape, 6 reverse portrait.
    // Qt can ask only for plain landscape, so reverse landscape prints as
    // that. For a portrait page Qt asks for nothing, which leaves a reverse
    // portrait default to the queue.
    const QByteArray value(requested ? requested : "");
    return value == "4" || value == "5" ? QPageLayout::Landscape : QPageLayout::Portrait;
}

} // namespace PrinterDefaults
