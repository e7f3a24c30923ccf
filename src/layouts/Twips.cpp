#include "layouts/Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace Twips {

double perPixel()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const double dpi = screen->logicalDotsPerInchY();
        if (dpi > 0)
            return perInch / dpi;
    }
    return 15.0;
}

} // namespace Twips
