#pragma once

#include <QString>

class Services;
class QWidget;

namespace ErrorReport {

inline constexpr auto title = "Application Error";
inline constexpr auto supportAddress = "support@tessary.example";

// The report's text exactly as composed: description, CR LF, the location
// line, two bare CRs, then the request.
QString compose(const QString &description, const QString &location, int line);

// What the box shows: the same pieces, with the separators as line breaks, so
// the location line is followed by an empty line and the request. The
// description itself is left as it is.
QString displayText(const QString &description, const QString &location, int line);

void show(Services &services, QWidget *parent, const QString &description,
          const QString &location, int line);

} // namespace ErrorReport
