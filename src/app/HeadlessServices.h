#pragma once

#include "app/Services.h"
#include "base/Failure.h"

#include <optional>

// The seam for work done with nobody at the screen: nothing modal is ever
// shown and nothing outside the program is started. A message box, a file
// dialog, a modal window, the web browser or the printer asked for is kept
// as a failure instead, for the caller to raise once control is back in its
// own code. (Some of these requests come from paint code, where an exception
// must not pass through Qt.)
class HeadlessServices final : public Services
{
public:
    void messageBox(QWidget *parent, const QString &title, const QString &text,
                    MessageIcon icon) override;
    QString chooseFile(QWidget *parent, const QString &title, const QString &filter,
                       const QString &initialName) override;
    QString chooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                           const QString &suggestedPath, const QString &suffix) override;
    int chooseFromList(QWidget *parent, const QString &title, const QString &prompt,
                       const QStringList &items) override;
    void showModal(QWidget *window) override;
    bool openUrl(const QString &url) override;
    void seedRandom(double) override {}
    double nextRandom() override { return 0.0; }
    std::unique_ptr<QPrinter> defaultPrinter() override;

    // Throws the first failure kept since the last call, if there was one.
    void raiseKept();

private:
    void keep(const QString &description);

    std::optional<Failure> m_kept;
};
