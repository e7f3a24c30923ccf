#include "app/SystemServices.h"

#include "base/Failure.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QUrl>
#include <QVBoxLayout>

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

// The choosers are the desktop's own where it has one (GTK's on GNOME, the
// portal's in a sandbox or where the portal is asked for), with the user's
// bookmarks and recent places; Qt's own elsewhere. Each takes a typed name.
QString SystemServices::chooseFile(QWidget *parent, const QString &title, const QString &filter,
                                   const QString &initialName)
{
    return QFileDialog::getOpenFileName(parent, title, initialName, dialogFilter(filter));
}

QString SystemServices::chooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                                       const QString &suggestedPath, const QString &suffix)
{
    const QString ending = QLatin1Char('.') + suffix;
    QString start = suggestedPath;
    for (;;) {
        QString name = QFileDialog::getSaveFileName(parent, title, start, dialogFilter(filter));
        if (name.isEmpty() || name.endsWith(ending, Qt::CaseInsensitive))
            return name;
        // The chooser asked about the name as typed, if at all; the file
        // written is another one, so ask about that one here. (Qt's default
        // suffix would not help: the desktop's choosers ignore it when they
        // ask.) No means choosing again.
        name += ending;
        if (!QFileInfo::exists(name) || confirmReplace(parent, title, name))
            return name;
        start = name;
    }
}

bool SystemServices::confirmReplace(QWidget *parent, const QString &title, const QString &fileName)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::Warning);
    box.setText(QStringLiteral("%1 already exists.\n\nDo you want to replace it?")
                    .arg(QDir::toNativeSeparators(fileName)));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int SystemServices::chooseFromList(QWidget *parent, const QString &title, const QString &prompt,
                                   const QStringList &items)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto *label = new QLabel(prompt, &dialog);
    label->setTextFormat(Qt::PlainText);
    auto *list = new QListWidget(&dialog);
    list->addItems(items);
    list->setCurrentRow(0);
    label->setBuddy(list);
    list->setAccessibleName(prompt);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return list->currentRow();
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
