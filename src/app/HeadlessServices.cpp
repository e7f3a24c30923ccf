#include "app/HeadlessServices.h"

#include <QPrinter>
#include <QWidget>

void HeadlessServices::keep(const QString &description)
{
    if (!m_kept)
        m_kept = Failure(description);
}

void HeadlessServices::messageBox(QWidget *, const QString &, const QString &text, MessageIcon)
{
    // An error report ends with a request to mail a screenshot, which means
    // nothing on a terminal; what failed and where comes before it.
    keep(text.section(QStringLiteral("\n\n"), 0, 0));
}

QString HeadlessServices::chooseFile(QWidget *, const QString &title, const QString &, const QString &)
{
    keep(QStringLiteral("A file dialog (\"%1\") was asked for where nobody can answer it.").arg(title));
    return QString();
}

QString HeadlessServices::chooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                                         const QString &suggestedPath, const QString &)
{
    return chooseFile(parent, title, filter, suggestedPath);
}

int HeadlessServices::chooseFromList(QWidget *, const QString &title, const QString &, const QStringList &)
{
    keep(QStringLiteral("A list (\"%1\") was to be chosen from where nobody can answer it.").arg(title));
    return -1;
}

void HeadlessServices::showModal(QWidget *window)
{
    keep(QStringLiteral("The window \"%1\" was to be shown where nobody can see it.")
             .arg(window ? window->windowTitle() : QString()));
}

bool HeadlessServices::openUrl(const QString &url)
{
    keep(QStringLiteral("The web browser was to open %1.").arg(url));
    return false;
}

std::unique_ptr<QPrinter> HeadlessServices::defaultPrinter()
{
    throw Failure(QStringLiteral("No printer is used here."));
}

void HeadlessServices::raiseKept()
{
    if (auto kept = std::exchange(m_kept, std::nullopt))
        throw *kept;
}
