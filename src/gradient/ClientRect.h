#pragma once

class QWidget;

// A window's client area as the platform reports it: left and top are 0,
// right and bottom are the width and height (one past the last pixel, unlike
// QRect::right()).
struct ClientRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Reads the client area of `window`: inside the border of a PictureBox, the
// whole widget otherwise. False for a null window.
bool GetClientRect(const QWidget *window, ClientRect *rect);
