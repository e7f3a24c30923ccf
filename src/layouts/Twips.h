#pragma once

#include <QRect>
#include <cmath>

// Layout lengths are twips: 1440 to the inch, 15 to the pixel at 96 dots per
// inch. Converting with the screen's own twips per pixel keeps the layout in
// step with fonts, which Qt scales by the same logical DPI.
namespace Twips {

inline constexpr double perInch = 1440.0;
inline constexpr double perPoint = 20.0;

// 1440 / the primary screen's logical DPI; 15 when there is no screen yet.
double perPixel();

// Round to the nearest pixel, ties to even.
inline int toPixels(double twips, double twipsPerPixel)
{
    return int(std::nearbyint(twips / twipsPerPixel));
}
inline int toPixels(double twips) { return toPixels(twips, perPixel()); }

inline QRect toPixels(const QRect &twips, double twipsPerPixel)
{
    return QRect(toPixels(twips.x(), twipsPerPixel), toPixels(twips.y(), twipsPerPixel),
                 toPixels(twips.width(), twipsPerPixel), toPixels(twips.height(), twipsPerPixel));
}
inline QRect toPixels(const QRect &twips) { return toPixels(twips, perPixel()); }

inline double fromPixels(int pixels, double twipsPerPixel) { return pixels * twipsPerPixel; }
inline double fromPixels(int pixels) { return fromPixels(pixels, perPixel()); }

} // namespace Twips
