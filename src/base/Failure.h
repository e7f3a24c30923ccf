#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The one kind of failure the program raises. It carries the description the
// user sees, worded by whatever failed (the file system, the image reader, the
// printing system), so an error report can show it unchanged.
class Failure : public std::exception
{
public:
    explicit Failure(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {
    }

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
