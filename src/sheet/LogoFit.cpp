#include "sheet/LogoFit.h"

#include "app/ErrorTrap.h"

#include <QWidget>

namespace LogoFit {

void showBoxes(ErrorTrap &trap, bool fitted, int fullSizeLine, int fittedLine,
               const std::function<QWidget *()> &fullSizeBox,
               const std::function<QWidget *()> &fittedBox)
{
    trap.at(fullSizeLine, [&] { fullSizeBox()->setVisible(!fitted); });
    trap.at(fittedLine, [&] { fittedBox()->setVisible(fitted); });
}

} // namespace LogoFit
