#pragma once

// Included first by every test: before anything reads the environment, point
// the settings folder at a fresh temporary directory, so no test ever sees or
// touches the user's own settings.

#include "app/Services.h"
#include "base/Failure.h"

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>
#include <QtNumeric>

#include <deque>
#include <functional>
#include <limits>
#include <memory>

namespace TestSupport {

inline QTemporaryDir &configHome()
{
    static QTemporaryDir dir;
    return dir;
}

struct ConfigHomeSetter
{
    ConfigHomeSetter()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome().path()));
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};
inline ConfigHomeSetter configHomeSetter;

// The longest a test waits for something it expects, in milliseconds:
// `seconds` stretched by TESSARY_WAIT_SCALE (a positive number, default 1),
// so one setting gives a slow or busy machine more time for every wait at
// once. Tests wait for conditions under these ceilings and never measure how
// long anything took.
inline constexpr int startSeconds = 60;  // a program run to its end
inline constexpr int windowSeconds = 30; // a window, a printed page, a helper tool
inline int waitCeilingMs(int seconds = windowSeconds)
{
    static const double scale = [] {
        const QString raw = qEnvironmentVariable("TESSARY_WAIT_SCALE").trimmed();
        if (raw.isEmpty())
            return 1.0;
        bool ok = false;
        const double value = raw.toDouble(&ok);
        if (!ok || !qIsFinite(value) || value <= 0)
            qFatal("TESSARY_WAIT_SCALE must be a positive number, not '%s'", qPrintable(raw));
        return value;
    }();
    return int(qBound(1.0, seconds * 1000.0 * scale, double(std::numeric_limits<int>::max())));
}

inline QString settingsFile()
{
    return configHome().path() + QStringLiteral("/Darnovi/Tessary.conf");
}

// Starts the next case from an empty store.
inline void clearSettings()
{
    QFile::remove(settingsFile());
}

struct Message
{
    QString title;
    QString text;
    MessageIcon icon;
};

// Records every modal request instead of blocking on it.
class FakeServices : public Services
{
public:
    void messageBox(QWidget *, const QString &title, const QString &text, MessageIcon icon) override
    {
        messages.push_back({title, text, icon});
        if (onMessage)
            onMessage();
    }
    QString chooseFile(QWidget *, const QString &title, const QString &filter,
                       const QString &initialName) override
    {
        dialogs.push_back({title, filter, initialName});
        if (chosenFiles.empty())
            return initialName;
        QString name = chosenFiles.front();
        chosenFiles.pop_front();
        return name;
    }
    // Answers with `savedFile` (empty: cancelled), as the chooser hands back
    // a name once the user has agreed to replace it.
    QString chooseSaveFile(QWidget *, const QString &title, const QString &filter, const QString &suggestedPath,
                           const QString &) override
    {
        saveDialogs.push_back({title, filter, suggestedPath});
        return savedFile;
    }
    int chooseFromList(QWidget *, const QString &title, const QString &prompt,
                       const QStringList &items) override
    {
        lists.push_back({title, prompt, items});
        if (chosenItems.empty())
            return -1;
        const int index = chosenItems.front();
        chosenItems.pop_front();
        return index;
    }
    void showModal(QWidget *window) override
    {
        shownModally.push_back(window);
        if (onShowModal)
            onShowModal(window);
    }
    bool openUrl(const QString &url) override
    {
        openedUrls << url;
        return openerWorks;
    }
    void seedRandom(double seconds) override { seeds.push_back(seconds); }
    double nextRandom() override { return randomValue; }
    std::unique_ptr<QPrinter> defaultPrinter() override
    {
        if (printerFile.isEmpty())
            throw Failure(QStringLiteral("No default printer is set up."));
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printerFile);
        return printer;
    }

    struct Dialog
    {
        QString title, filter, initialName;
    };

    struct List
    {
        QString title, prompt;
        QStringList items;
    };

    std::vector<Message> messages;
    std::vector<Dialog> dialogs;
    std::vector<Dialog> saveDialogs;
    QString savedFile;
    std::deque<QString> chosenFiles;
    std::vector<List> lists;
    std::deque<int> chosenItems; // none left: the list is cancelled
    std::vector<QWidget *> shownModally;
    std::function<void(QWidget *)> onShowModal;
    std::function<void()> onMessage;
    QStringList openedUrls;
    bool openerWorks = true;
    std::vector<double> seeds;
    double randomValue = 0.5;
    QString printerFile;
};

} // namespace TestSupport
