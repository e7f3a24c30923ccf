#include "app/ErrorReport.h"

#include "app/Services.h"

namespace ErrorReport {

static QString locationLine(const QString &location, int line)
{
    return QStringLiteral("in ") + location + QStringLiteral(" at line ") + QString::number(line);
}

static QString request()
{
    return QStringLiteral("Please email screenshot of this message to ")
        + QLatin1String(supportAddress);
}

QString compose(const QString &description, const QString &location, int line)
{
    return description + QStringLiteral("\r\n") + locationLine(location, line)
        + QStringLiteral("\r\r") + request();
}

QString displayText(const QString &description, const QString &location, int line)
{
    return description + QLatin1Char('\n') + locationLine(location, line)
        + QStringLiteral("\n\n") + request();
}

void show(Services &services, QWidget *parent, const QString &description,
          const QString &location, int line)
{
    services.messageBox(parent, QLatin1String(title), displayText(description, location, line),
                        MessageIcon::Exclamation);
}

} // namespace ErrorReport
