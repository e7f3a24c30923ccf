#include "sheet/CupsLibrary.h"

#include <QLibrary>

const CupsLibrary &CupsLibrary::get()
{
    static const CupsLibrary cups = [] {
        CupsLibrary found;
        QLibrary library(QStringLiteral("cups"), 2);
        if (!library.load())
            return found;
        found.getNamedDest = reinterpret_cast<decltype(&cupsGetNamedDest)>(library.resolve("cupsGetNamedDest"));
        found.getOption = reinterpret_cast<decltype(&cupsGetOption)>(library.resolve("cupsGetOption"));
        found.freeDests = reinterpret_cast<decltype(&cupsFreeDests)>(library.resolve("cupsFreeDests"));
        found.lastError = reinterpret_cast<decltype(&cupsLastError)>(library.resolve("cupsLastError"));
        found.lastErrorString = reinterpret_cast<decltype(&cupsLastErrorString)>(library.resolve("cupsLastErrorString"));
        if (!found.getNamedDest || !found.getOption || !found.freeDests || !found.lastError || !found.lastErrorString)
            return CupsLibrary();
        return found;
    }();
    return cups;
}

std::optional<QString> CupsLibrary::lastRefusal()
{
    // IPP's successful statuses run from 0x0000 to 0x00FF; "successful, but
    // an option was ignored" (a queue that cannot turn scaling off) is a print.
    constexpr int lastSuccessful = 0x00FF;
    const CupsLibrary &cups = get();
    if (!cups.lastError)
        return std::nullopt;
    const ipp_status_t status = cups.lastError();
    if (int(status) <= lastSuccessful)
        return std::nullopt;
    const char *reason = cups.lastErrorString();
    return reason && *reason ? QString::fromLocal8Bit(reason)
                             : QStringLiteral("the printing system gave status 0x%1").arg(int(status), 4, 16, QLatin1Char('0'));
}
