#pragma once

#include <QImage>
#include <QString>

#include <functional>

class Form2;

// One card of the sheet as a picture, for a flyer, a web page or a print
// service that takes images: card 0, painted by the step that paints the
// sheet for paper, so everything on it sits where it sits on paper.
namespace CardPicture {

inline constexpr int resolution = 600;

// The card's face at `resolution`, its size in twips rounded down to whole
// pixels (a card of 5285 x 3015 twips gives 2202 x 1256), opaque and white
// where the card is white, with the resolution recorded in it.
QImage paint(Form2 &sheet);

// Paints the card and puts it in place as the PNG file `fileName`, as
// DurableFile does: written beside it, flushed, renamed over it.
// `beforeCommit`, if given, runs after the painting and may throw to give
// the file up. Throws Failure when anything fails; then no file is left
// behind and an earlier file of that name stays as it was.
void write(Form2 &sheet, const QString &fileName, const std::function<void()> &beforeCommit = {});

} // namespace CardPicture
