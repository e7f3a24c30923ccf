#pragma once

#include "layouts/LayoutTypes.h"

#include <QFont>
#include <QString>

// The layouts name Arial, Tahoma, MS Sans Serif and Impact, none of which a
// stock Debian system has. Each is mapped to a free font from Debian's
// packages that matches its metrics or its look, registered by the program
// itself so no system configuration is needed. Left to fontconfig, "Impact"
// would fall back to a dingbat font and print the company name as symbols.
namespace Fonts {

// Starts loading the system's font configuration on a thread of its own.
// Called before the application object is made, the load runs beside the
// toolkit's own start instead of holding up the first font lookup.
void loadConfigurationAhead();

// Registers the bundled substitutes once; safe to call again. Waits for a
// configuration load started ahead.
void registerSubstitutes();

// The family actually used for a family a layout names.
QString resolveFamily(const QString &declared);

QFont resolve(const Layout::Font &declared);

} // namespace Fonts
