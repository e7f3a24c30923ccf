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

// Registers the bundled substitutes once; safe to call again.
void registerSubstitutes();

// The family actually used for a family a layout names.
QString resolveFamily(const QString &declared);

QFont resolve(const Layout::Font &declared);

} // namespace Fonts
