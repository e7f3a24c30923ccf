#pragma once

#include <QString>

class Services;
class QWidget;

// The main window's one open-file dialog, kept for the window's whole life.
// Title and filter are set by the caller ("display|pattern" pairs); the file
// name stays from one use to the next, and a cancelled dialog leaves it as it
// was, so cancelling after a choice gives the earlier name back.
class FileDialog
{
public:
    FileDialog(Services &services, QWidget *owner) : m_services(services), m_owner(owner) {}

    void setTitle(const QString &title) { m_title = title; }
    void setFilter(const QString &filter) { m_filter = filter; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }

    // Shows the dialog modally and returns the file name afterwards.
    QString ShowOpen();

private:
    Services &m_services;
    QWidget *m_owner = nullptr;
    QString m_title;
    QString m_filter;
    QString m_fileName;
};
