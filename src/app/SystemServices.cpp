#include "app/SystemServices.h"

#include "layouts/Failure.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>

#include <cstring>

void SystemServices::messageBox(QWidget *parent, const QString &title, const QString &text,
                                MessageIcon icon)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

QString SystemServices::dialogFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString SystemServices::chooseFile(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &initialName)
{
    // Qt's own dialog, so the file name can always be typed in and the dialog
    // looks the same on every desktop.
    return QFileDialog::getOpenFileName(parent, title, initialName, dialogFilter(filter), nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

void SystemServices::showModal(QWidget *window)
{
    QPointer<QWidget> guard(window);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    if (guard && guard->isVisible())
        loop.exec();
}

bool SystemServices::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url));
}

void SystemServices::seedRandom(double secondsSinceMidnight)
{
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof secondsSinceMidnight);
    std::memcpy(&bits, &secondsSinceMidnight, sizeof bits);
    m_random.seed(bits);
}

double SystemServices::nextRandom()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_random);
}

std::unique_ptr<QPrinter> SystemServices::defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw Failure(QStringLiteral(
            "No default printer is set up. Add a printer in the system's printer "
            "settings and make it the default."));
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
