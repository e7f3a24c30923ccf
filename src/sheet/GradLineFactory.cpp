#include "sheet/GradLineFactory.h"

#include <QWidget>

namespace GradLineFactory {

LayoutBuilder::CompositeFactory make(Services &services)
{
    return [&services](const Layout::Control &, QWidget *parent) -> QWidget * {
        Q_UNUSED(services);
        return new QWidget(parent);
    };
}

} // namespace GradLineFactory
