#include "sheet/PrinterDefaults.h"

#include <QByteArray>
#include <QLibrary>
#include <QPrinterInfo>
#include <QString>

#include <cups/cups.h>

#include <memory>

namespace PrinterDefaults {

namespace {

// libcups is opened when a job is printed, not linked: linked, it and the
// score of libraries it needs load at every start of the program, which
// prints far less often than it starts. Qt's own print support opens it
// the same way.
struct Cups
{
    decltype(&cupsGetNamedDest) getNamedDest = nullptr;
    decltype(&cupsGetOption) getOption = nullptr;
    decltype(&cupsFreeDests) freeDests = nullptr;

    static const Cups &library()
    {
        static const Cups cups = [] {
            Cups found;
            QLibrary library(QStringLiteral("cups"), 2);
            if (!library.load())
                return found;
            found.getNamedDest = reinterpret_cast<decltype(&cupsGetNamedDest)>(library.resolve("cupsGetNamedDest"));
            found.getOption = reinterpret_cast<decltype(&cupsGetOption)>(library.resolve("cupsGetOption"));
            found.freeDests = reinterpret_cast<decltype(&cupsFreeDests)>(library.resolve("cupsFreeDests"));
            if (!found.getNamedDest || !found.getOption || !found.freeDests)
                return Cups();
            return found;
        }();
        return cups;
    }
};

} // namespace

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
    const Cups &cups = Cups::library();
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
