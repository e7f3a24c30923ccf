#include "sheet/GradLineFactory.h"

#include "gradient/PropertyBag.h"
#include "gradient/b8GradLine.h"
#include "layouts/Fonts.h"

namespace GradLineFactory {

LayoutBuilder::CompositeFactory make(Services &services, RecentDrawings *drawings)
{
    return [&services, drawings](const Layout::Control &declared, QWidget *parent) -> QWidget * {
        auto *rule = new b8GradLine(services, parent, drawings);
        rule->ReadProperties(PropertyBag::fromString(
            QString::fromUtf8(declared.properties ? declared.properties : "")));
        // The saved font names a family this system may not have.
        QFont font = rule->Font();
        font.setFamily(Fonts::resolveFamily(font.family()));
        rule->setCaptionFont(font);
        return rule;
    };
}

} // namespace GradLineFactory
