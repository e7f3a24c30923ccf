#pragma once

#include "layouts/LayoutTypes.h"

#include <span>

namespace Form1Layout {

const Layout::Window &window();
std::span<const Layout::Control> controls();

} // namespace Form1Layout
