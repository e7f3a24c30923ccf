#pragma once

#include <QColor>
#include <QString>

class QWidget;
class SkinEngine;

// Routines the windows share for their look and the application's title.
// They keep the name of the module they have always been called through
// (Main::ApplySkin), so whoever carries the code on finds them by it.
namespace Main {

inline constexpr auto skinFile = "\\x\\o.cjs";
inline constexpr auto productName = "Tessary";
inline constexpr int titleLimit = 40;

// The system's button-face colour, from the user's palette.
QColor buttonFace();

// Skins the main window with the skin file in `programFolder` through its
// skin engine, after giving the window, its frames and labels the
// button-face colour. Without the file it does nothing. Failures reach the
// caller.
void ApplySkin(QWidget &window, const QString &programFolder, SkinEngine &skin);

// The same button-face colouring for any window, without a skin.
void ApplySystemColors(QWidget &window);

// Cuts words off the end of `name` until it is at most `limit` characters,
// always cutting at least once; a name without a space is kept whole.
QString shortTitle(const QString &name, int limit = titleLimit);

void SetAppTitle();

} // namespace Main
