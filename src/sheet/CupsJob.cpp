#include "sheet/CupsJob.h"

#include "base/Failure.h"
#include "sheet/CupsLibrary.h"

#include <algorithm>
#include <vector>

namespace CupsJob {

namespace {

QString lastReason()
{
    QString reason = CupsLibrary::lastRefusal().value_or(QStringLiteral("the printing system gave no reason"));
    return reason.endsWith(QLatin1Char('.')) ? reason : reason + QLatin1Char('.');
}

// Sends the document of a job already made; false, with libcups' last error
// saying why, when any step fails.
bool sendDocument(const CupsLibrary &cups, const char *queue, int job, const char *title, const QByteArray &pdf)
{
    if (cups.startDocument(CUPS_HTTP_DEFAULT, queue, job, title, CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE)
        return false;
    // In pieces, so a scheduler that gives up on the job half-way is heard
    // before the rest is sent.
    constexpr qsizetype piece = 64 * 1024;
    for (qsizetype done = 0; done < pdf.size(); done += piece) {
        const size_t length = size_t(std::min(piece, pdf.size() - done));
        if (cups.writeRequestData(CUPS_HTTP_DEFAULT, pdf.constData() + done, length) != HTTP_STATUS_CONTINUE)
            return false;
    }
    // Successful statuses run up to 0x00FF, "an option was ignored" among them.
    return int(cups.finishDocument(CUPS_HTTP_DEFAULT, queue)) <= 0x00FF;
}

} // namespace

void print(const QString &printerName, const QString &title, const QList<Option> &options, const QByteArray &pdf)
{
    const CupsLibrary &cups = CupsLibrary::get();
    if (!cups.createJob)
        throw Failure(QStringLiteral("The printing system's library (libcups) could not be loaded. "
                                     "Nothing was printed."));
    // The scheduler knows queues, not instances: an instance is only a set
    // of options on this machine.
    const QByteArray queue = printerName.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
    const QByteArray jobTitle = title.toLocal8Bit();
    std::vector<cups_option_t> list;
    list.reserve(options.size());
    for (const Option &option : options)
        list.push_back({const_cast<char *>(option.name.constData()), const_cast<char *>(option.value.constData())});

    const int job = cups.createJob(CUPS_HTTP_DEFAULT, queue.constData(), jobTitle.constData(), int(list.size()),
                                   list.data());
    if (job == 0)
        throw Failure(QStringLiteral("The printer \"%1\" did not take the card: %2 Nothing was printed.")
                          .arg(printerName, lastReason()));
    if (sendDocument(cups, queue.constData(), job, jobTitle.constData(), pdf))
        return;
    const QString reason = lastReason();
    cups.cancelJob(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
    throw Failure(QStringLiteral("The card could not be sent whole to the printer \"%1\": %2 "
                                 "The job was cancelled; nothing was printed.")
                      .arg(printerName, reason));
}

} // namespace CupsJob
