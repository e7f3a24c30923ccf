#pragma once

#include <QAccessible>

class QWidget;

// What assistive technology is told about the layouts' widgets beyond Qt's
// own defaults: the role a top-level window is announced with (a plain
// widget would be announced as a "filler"), and a "press" action on controls
// that only a mouse click would otherwise reach.
namespace Accessibility {

// Announces `window` with `role` (QAccessible::Window for a main window,
// QAccessible::Dialog for one that sits in front of it), named by its title.
void setWindowRole(QWidget *window, QAccessible::Role role);

// Gives `widget` a "press" action that emits its clicked() signal, as a
// mouse click on it does. `widget` must have that signal.
void setPressable(QWidget *widget);

} // namespace Accessibility
