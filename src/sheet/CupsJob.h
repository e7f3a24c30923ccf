#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A print job handed to the scheduler as it is sent, with no spool file of
// the program's own. Qt's print engine writes the page into a temporary file
// first and pays no heed when that write fails (a full temporary folder):
// the scheduler then gets a cut-off page and prints it blank, and the
// program hears nothing of it.
namespace CupsJob {

struct Option
{
    QByteArray name;
    QByteArray value;
};

// Prints the PDF document `pdf` on the queue `printerName` ("queue" or
// "queue/instance") as one job titled `title`, with `options` as the job's
// own. Returns once the scheduler holds the whole document. Throws Failure,
// worded for the user with the scheduler's or the system's reason, when the
// queue refuses the job or any part of it cannot be sent; a job already
// made is then cancelled, so nothing of it is printed.
void print(const QString &printerName, const QString &title, const QList<Option> &options,
           const QByteArray &pdf);

} // namespace CupsJob
