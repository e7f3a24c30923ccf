#pragma once

#include "layouts/LayoutTypes.h"

#include <span>

namespace Form2Layout {

inline constexpr int cardCount = 6;

const Layout::Window &window();
// The card array `Picture1`: one entry per index, 0 to 5.
std::span<const Layout::Control> cards();
// What every card holds, each an element of a control array with the card's
// index; positions relative to the card.
std::span<const Layout::Control> cardContents();

// The card face picture: white, 350 x 200 pixels.
inline constexpr int facePictureWidth = 350;
inline constexpr int facePictureHeight = 200;

} // namespace Form2Layout
