#include "layouts/LightPalette.h"

#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace LightPalette {

QPalette palette()
{
    static const QPalette light = [] {
        // Fusion is built into Qt, so its standard palette is there on every
        // desktop, whatever style or colour scheme the desktop picks.
        const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette p = fusion ? fusion->standardPalette() : QPalette(Qt::white);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, QPalette::Window, Qt::white);
        return p;
    }();
    return light;
}

} // namespace LightPalette
