#pragma once

#include <QtGlobal>

#include <array>

// The application icon's pixels, compiled into the program at build time
// from assets/icons: square pictures, premultiplied 0xAARRGGBB, row by row.
namespace IconPixels {

struct Size
{
    int side;
    const quint32 *pixels;
};

inline constexpr std::size_t count = 4;
extern const std::array<Size, count> sizes;

} // namespace IconPixels
