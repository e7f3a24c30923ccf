#pragma once

#include "layouts/LayoutTypes.h"

#include <span>

namespace Form1Layout {

// The fit button's two captions. The caption is the fit mode itself: it
// names the mode a press switches to, it is what the settings keep, and
// the print preview reads the mode from it.
inline constexpr auto fitCaption = "Fit Image to Box";
inline constexpr auto fullSizeCaption = "Use Full Size";

const Layout::Window &window();
std::span<const Layout::Control> controls();

} // namespace Form1Layout
