#pragma once

#include <QColor>

// Contrast between two colours as WCAG 2 measures it: from 1 (none) to 21
// (black on white). Body text reads at 4.5 or more.
namespace Contrast {

inline constexpr double text = 4.5;

// Relative luminance of an opaque colour, 0 (black) to 1 (white).
double luminance(const QColor &colour);

double ratio(const QColor &a, const QColor &b);

// Black or white, whichever reads better on `background`; either reaches
// 4.5 against any colour.
QColor extreme(const QColor &background);

// `colour` when it reaches `minimum` on `background`; otherwise `colour`
// moved towards extreme(background) just far enough to reach it, so a tinted
// or grey text keeps as much of its look as it can.
QColor strengthened(const QColor &colour, const QColor &background, double minimum);

} // namespace Contrast
