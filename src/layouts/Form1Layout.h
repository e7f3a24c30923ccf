#pragma once

#include "layouts/LayoutTypes.h"

#include <array>
#include <span>

namespace Form1Layout {

// The fit button's two captions. The caption is the fit mode itself: it
// names the mode a press switches to, it is what the settings keep, and
// the print preview reads the mode from it.
inline constexpr auto fitCaption = "Fit Image to Box";
inline constexpr auto fullSizeCaption = "Use Full Size";

// The caption label beside each card field, a to j.
inline constexpr std::array<const char *, 10> fieldCaptions{
    "Label3", "Label4", "Label5", "Label6", "Label13", "Label12", "Label14", "Label7", "Label8", "Label9"};

const Layout::Window &window();
std::span<const Layout::Control> controls();

} // namespace Form1Layout
