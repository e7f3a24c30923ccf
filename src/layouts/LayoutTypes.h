#pragma once

// The declared content of a window as data: names, kinds, containers,
// positions in twips, captions, fonts, colours and flags. One builder turns a
// table of these into real widgets.

namespace Layout {

enum class Kind { Frame, TextBox, Label, PictureBox, Image, Shape, PushButton, GradLine };
enum class Align { Left, Right, Center };
// What assistive technology announces a top-level window as.
enum class WindowRole { Frame, Dialog };

// A colour as the layouts write it: 0x00BBGGRR, or `inherit` for none of its
// own.
inline constexpr int inherit = -1;
constexpr int rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

inline constexpr int black = rgb(0, 0, 0);
inline constexpr int grey = rgb(128, 128, 128);
inline constexpr int white = rgb(255, 255, 255);

struct Font
{
    const char *family = nullptr; // nullptr: the container's font
    double points = 0;
    int weight = 400;
};

// The face of the card's small print, on the preview and on the sheet.
inline constexpr Font cardText{"Tahoma", 8.25, 400};

struct Control
{
    const char *name;
    Kind kind;
    const char *parent = nullptr; // nullptr: the window itself
    int left = 0, top = 0, width = 0, height = 0;
    const char *caption = nullptr;
    Font font{};
    int backColour = inherit;
    int foreColour = inherit;
    Align align = Align::Left;
    bool autoSize = false;
    bool visible = true;
    int tabIndex = -1;
    bool border = false;    // picture box: thin flat single line
    bool dotted = false;    // shape: dotted outline instead of solid
    bool stretch = false;   // image: scale the picture to the box
    bool lowered = false;   // shape: beneath its container's other children
    // The control is paper: it and everything on it draw in the light
    // palette, whatever colours the desktop uses.
    bool paper = false;
    // Clicking it does something, so assistive technology can press it too.
    bool pressable = false;
    // The least contrast its text needs against what it is painted on.
    double minimumContrast = 4.5;
    // Saved property record of a composite control, as "name=value" pairs
    // separated by ';' (names as the layout stores them).
    const char *properties = nullptr;
};

struct Window
{
    const char *name;
    const char *caption;
    int clientWidth, clientHeight;
    bool resizable;
    Font font{};
    int backColour = rgb(255, 255, 255);
    WindowRole role = WindowRole::Frame;
};

} // namespace Layout
