#include "app/ErrorTrap.h"

#include "app/DeferredFailure.h"
#include "app/ErrorReport.h"
#include "base/Failure.h"

#include <new>

ErrorTrap::ErrorTrap(Services &services, QWidget *parent, QString location,
                     DeferredFailure *deferred)
    : m_services(services), m_parent(parent), m_location(std::move(location)),
      m_deferred(deferred)
{
    if (m_deferred)
        ++m_deferred->m_depth;
}

ErrorTrap::~ErrorTrap()
{
    if (m_deferred)
        --m_deferred->m_depth;
}

void ErrorTrap::report(int line, const QString &description)
{
    ++m_reports;
    ErrorReport::show(m_services, m_parent, description, m_location, line);
}

bool ErrorTrap::reportDeferred(int line)
{
    if (!m_deferred)
        return false;
    if (auto failure = m_deferred->take()) {
        report(line, failure->description());
        return true;
    }
    return false;
}

void ErrorTrap::at(int line, const std::function<void()> &statement)
{
    try {
        statement();
    } catch (const Failure &failure) {
        reportDeferred(line);
        report(line, failure.description());
        return;
    } catch (const std::bad_alloc &) {
        report(line, QStringLiteral("Out of memory"));
        return;
    }
    reportDeferred(line);
}

bool ErrorTrap::test(int line, const std::function<bool()> &condition)
{
    bool result = true;
    try {
        result = condition();
    } catch (const Failure &failure) {
        reportDeferred(line);
        report(line, failure.description());
        return true;
    } catch (const std::bad_alloc &) {
        report(line, QStringLiteral("Out of memory"));
        return true;
    }
    if (reportDeferred(line))
        return true;
    return result;
}
