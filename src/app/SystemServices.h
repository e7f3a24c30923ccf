#pragma once

#include "app/Services.h"

#include <random>

// The real modal boxes, file dialogs, web opener, random draw and printer.
class SystemServices final : public Services
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
    void seedRandom(double secondsSinceMidnight) override;
    double nextRandom() override;
    std::unique_ptr<QPrinter> defaultPrinter() override;

    // "JPEG Files(*.jpg)|*.jpg|BMP Files(*.bmp)|*.bmp" as Qt's file dialog
    // wants it: "JPEG Files(*.jpg) (*.jpg);;BMP Files(*.bmp) (*.bmp)".
    static QString dialogFilter(const QString &pairs);

private:
    static bool confirmReplace(QWidget *parent, const QString &title, const QString &fileName);

    std::mt19937_64 m_random{0};
};
