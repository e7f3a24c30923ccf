#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QPrinter;
class QWidget;

enum class MessageIcon { None, Information, Exclamation, Critical };

// Everything that would block a test or reach outside the program: modal
// boxes, the file dialogs, modal showing, the web opener, the random draw and
// the printer. The program hands the real ones to its windows; tests hand in
// their own.
class Services
{
public:
    virtual ~Services() = default;

    virtual void messageBox(QWidget *parent, const QString &title, const QString &text,
                            MessageIcon icon) = 0;

    // A modal open-file dialog. `initialName` is the name left from an earlier
    // use; the result is the chosen full path, or empty when nothing was chosen.
    virtual QString chooseFile(QWidget *parent, const QString &title, const QString &filter,
                               const QString &initialName) = 0;

    // A modal save-file dialog that starts at `suggestedPath`. The result is
    // the chosen full path, ending in `.suffix` (added when the name lacks
    // it), and the user has agreed to replace a file of that name; empty when
    // nothing was chosen.
    virtual QString chooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &suggestedPath, const QString &suffix) = 0;

    // A modal list of `items` to pick one from. The result is the index of
    // the one picked, or -1 when none was.
    virtual int chooseFromList(QWidget *parent, const QString &title, const QString &prompt,
                               const QStringList &items) = 0;

    // Shows `window` modally and returns once it has been closed.
    virtual void showModal(QWidget *window) = 0;

    // Opens the address in the user's web browser without waiting for it.
    // Returns false when the opener could not be started.
    virtual bool openUrl(const QString &url) = 0;

    virtual void seedRandom(double secondsSinceMidnight) = 0;
    // A number drawn uniformly from [0, 1).
    virtual double nextRandom() = 0;

    // The system's default printer, ready to paint on. Throws Failure when
    // there is none.
    virtual std::unique_ptr<QPrinter> defaultPrinter() = 0;
};
