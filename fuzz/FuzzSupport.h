#pragma once

#include "app/Services.h"

#include <QApplication>
#include <QPrinter>
#include <QtGlobal>

#include <stdexcept>

namespace FuzzSupport {

// The widgets and pictures under test need an application object; one is made
// for the whole run, on the offscreen platform so no display is needed.
inline void startApplication(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own warnings about broken pictures would drown libFuzzer's output.
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    static QApplication app(*argc, *argv);
}

// Services that never block: message boxes are only counted.
class QuietServices : public Services
{
public:
    void messageBox(QWidget *, const QString &, const QString &, MessageIcon) override { ++messages; }
    QString chooseFile(QWidget *, const QString &, const QString &, const QString &) override
    {
        return QString();
    }
    QString chooseSaveFile(QWidget *, const QString &, const QString &, const QString &,
                           const QString &) override
    {
        return QString();
    }
    int chooseFromList(QWidget *, const QString &, const QString &, const QStringList &items) override
    {
        return int(items.size()) - 1;
    }
    void showModal(QWidget *) override {}
    bool openUrl(const QString &) override { return false; }
    void seedRandom(double) override {}
    double nextRandom() override { return 0; }
    std::unique_ptr<QPrinter> defaultPrinter() override
    {
        throw std::runtime_error("no printer while fuzzing");
    }

    int messages = 0;
};

} // namespace FuzzSupport
