/* Tessary's default skin, applied to the main window.
   It colours the window and its two frames and softens the push buttons.
   Labels, text boxes and the card preview are left alone on purpose: the
   card must look exactly as laid out, so nothing here sets a font or uses
   a selector that would reach every widget. */

/* The window and its frames follow the user's own button-face colour. */
QWidget#Form1,
QGroupBox {
    background-color: palette(button);
}

/* The sheen stays above the caption: the caption is written on the button
   face itself, in the button-text colour the desktop pairs with that face,
   so it reads as well as the desktop's own buttons do under any colour
   scheme, dark and high-contrast ones included. */
QPushButton {
    border: 1px solid palette(dark);
    border-radius: 3px;
    padding: 2px 8px;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 palette(light), stop: 0.2 palette(button),
                                      stop: 1 palette(button));
}

QPushButton:hover {
    border-color: palette(shadow);
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 palette(light), stop: 0.2 palette(midlight),
                                      stop: 1 palette(midlight));
}

/* Pressed turns the gradient over, so the button looks pushed in. */
QPushButton:pressed {
    border-color: palette(shadow);
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 palette(mid), stop: 1 palette(button));
}

/* Keyboard focus shows as a ring in the highlight colour. */
QPushButton:focus {
    border-color: palette(highlight);
}

QPushButton:disabled {
    border-color: palette(mid);
    background-color: palette(button);
}
