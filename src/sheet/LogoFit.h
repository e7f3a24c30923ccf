#pragma once

#include <functional>

class ErrorTrap;
class QWidget;

// The fit rule: which of a card's two logo boxes shows. Fitted, the picture
// is stretched into the box beside the text; at full size it shows at its
// own size in the other box. The full-size box always goes first, hidden
// before the fitted one shows or shown before it hides, so the card never
// shows both boxes.
namespace LogoFit {

// Each box is asked for inside its own step under the trap, so a box that
// cannot be reached is reported at that step's line.
void showBoxes(ErrorTrap &trap, bool fitted, int fullSizeLine, int fittedLine,
               const std::function<QWidget *()> &fullSizeBox,
               const std::function<QWidget *()> &fittedBox);

} // namespace LogoFit
