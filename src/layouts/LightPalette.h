#pragma once

#include <QPalette>

// Qt's own light palette (the one a Qt program gets on a desktop that sets
// none), with a white window background: black text and outlines on white.
// A card is paper, so it always draws in this palette; the main window uses
// it too while no skin asks it to follow the desktop's colours.
namespace LightPalette {

QPalette palette();

} // namespace LightPalette
