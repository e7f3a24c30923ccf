#pragma once

#include <QIcon>
#include <QImage>

// The artwork the two windows hold, drawn by the program itself.
namespace Artwork {

// The application icon: 32, 48, 128 and 256 pixels, compiled into the program.
QIcon applicationIcon();

// The white face of a sheet card, 350 x 200 pixels, made once and shared.
const QImage &cardFace();

} // namespace Artwork
