#include "sheet/CupsLibrary.h"

#include <QLibrary>

#include <type_traits>

const CupsLibrary &CupsLibrary::get()
{
    static const CupsLibrary cups = [] {
        CupsLibrary found;
        QLibrary library(QStringLiteral("cups"), 2);
        if (!library.load())
            return found;
        auto resolve = [&library](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            return function != nullptr;
        };
        if (!resolve(found.getNamedDest, "cupsGetNamedDest") || !resolve(found.getOption, "cupsGetOption")
            || !resolve(found.freeDests, "cupsFreeDests") || !resolve(found.lastError, "cupsLastError")
            || !resolve(found.lastErrorString, "cupsLastErrorString")
            || !resolve(found.createJob, "cupsCreateJob") || !resolve(found.startDocument, "cupsStartDocument")
            || !resolve(found.writeRequestData, "cupsWriteRequestData")
            || !resolve(found.finishDocument, "cupsFinishDocument") || !resolve(found.cancelJob, "cupsCancelJob2"))
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
