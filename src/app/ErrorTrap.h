#pragma once

#include <QString>
#include <functional>

class DeferredFailure;
class Services;
class QWidget;

// The error trap shared by the guarded procedures. Each statement runs through
// `at` with its line number; a failure shows the error report for that line
// and the procedure goes on with its next statement. A condition that fails
// while being tested counts as true, so the procedure goes on into the
// statements the condition guards.
class ErrorTrap
{
public:
    ErrorTrap(Services &services, QWidget *parent, QString location,
              DeferredFailure *deferred = nullptr);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap &) = delete;
    ErrorTrap &operator=(const ErrorTrap &) = delete;

    void at(int line, const std::function<void()> &statement);
    bool test(int line, const std::function<bool()> &condition);

    int reports() const { return m_reports; }

private:
    void report(int line, const QString &description);
    bool reportDeferred(int line);

    Services &m_services;
    QWidget *m_parent = nullptr;
    QString m_location;
    DeferredFailure *m_deferred = nullptr;
    int m_reports = 0;
};
