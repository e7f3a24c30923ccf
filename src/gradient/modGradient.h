#pragma once

#include <QtGlobal>

class DrawingObject;
class PictureBox;

namespace modGradient {

// Fills `Target` with a gradient from (Red1, Green1, Blue1) to (Red2, Green2,
// Blue2), channels 0 to 255, drawn through the target's own Line and Circle
// in its own units, one line or circle per step:
//   Style 1  vertical bands, left to right
//   Style 2  concentric circles from the centre outward
//   Style 3  diagonal bands from the top-left corner
//   any other value (0 among them)  horizontal bands, top to bottom
// The target's size is read afresh before every line. Anything that fails
// is skipped and the fill goes on; nothing is reported.
void FillGradient(DrawingObject &Target, qint16 Red1, qint16 Green1, qint16 Blue1, qint16 Red2,
                  qint16 Green2, qint16 Blue2, qint16 Style);

// The same on a picture box's canvas, measured in twips.
void FillGradient(PictureBox &Target, qint16 Red1, qint16 Green1, qint16 Blue1, qint16 Red2,
                  qint16 Green2, qint16 Blue2, qint16 Style);

} // namespace modGradient
