#pragma once

#include <QIcon>
#include <QImage>

// The pictures the two windows hold.
namespace Pictures {

// The application icon: 32, 48, 128 and 256 pixels, compiled into the program.
QIcon applicationIcon();

// The white face of a sheet card, 350 x 200 pixels, made once and shared.
const QImage &cardFace();

} // namespace Pictures
