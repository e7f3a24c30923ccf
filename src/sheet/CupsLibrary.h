#pragma once

#include <cups/cups.h>

#include <QString>

#include <optional>

// libcups, opened when a job is printed, not linked: linked, it and the
// score of libraries it needs load at every start of the program, which
// prints far less often than it starts. Qt's own print support opens the
// same library, so both share its state, the last error of a thread among it.
struct CupsLibrary
{
    decltype(&cupsGetNamedDest) getNamedDest = nullptr;
    decltype(&cupsGetOption) getOption = nullptr;
    decltype(&cupsFreeDests) freeDests = nullptr;
    decltype(&cupsLastError) lastError = nullptr;
    decltype(&cupsLastErrorString) lastErrorString = nullptr;
    decltype(&cupsCreateJob) createJob = nullptr;
    decltype(&cupsStartDocument) startDocument = nullptr;
    decltype(&cupsWriteRequestData) writeRequestData = nullptr;
    decltype(&cupsFinishDocument) finishDocument = nullptr;
    decltype(&cupsCancelJob2) cancelJob = nullptr;

    // Every function resolved, or none where libcups cannot be loaded.
    static const CupsLibrary &get();

    // Why the scheduler refused the last request this thread made of it;
    // nothing when it was taken.
    static std::optional<QString> lastRefusal();
};
