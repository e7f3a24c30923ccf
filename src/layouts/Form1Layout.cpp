#include "layouts/Form1Layout.h"

namespace Form1Layout {

using namespace Layout;

namespace {

const Window form1{
    .name = "Form1",
    .caption = "Form1",
    .clientWidth = 8040,
    .clientHeight = 9615,
    .resizable = false,
    .font = {"Arial", 9, 700},
    .backColour = white,
};

// Parents come before their children.
const Control table[] = {
    {.name = "Frame2", .kind = Kind::Frame, .left = 120, .top = 120, .width = 7800, .height = 5175,
     .caption = " Business Information ", .backColour = white, .foreColour = black, .tabIndex = 12},
    {.name = "Frame1", .kind = Kind::Frame, .left = 120, .top = 5370, .width = 7800, .height = 3615,
     .caption = "Quick Preview", .backColour = white, .tabIndex = 24},
    {.name = "PushButton1", .kind = Kind::PushButton, .left = 120, .top = 9120, .width = 3840,
     .height = 405, .caption = "Print Preview", .tabIndex = 11},
    {.name = "PushButton3", .kind = Kind::PushButton, .left = 4080, .top = 9120, .width = 3840,
     .height = 405, .caption = "Print Card", .tabIndex = 39},

    // The data-entry frame: ten fields with right-aligned captions ending at 1740.
    {.name = "Label3", .kind = Kind::Label, .parent = "Frame2", .left = 210, .top = 420, .width = 1530, .height = 210,
     .caption = "Company Name :", .align = Align::Right, .autoSize = true},
    {.name = "a", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 360, .width = 3495, .height = 375, .tabIndex = 0},
    {.name = "Label4", .kind = Kind::Label, .parent = "Frame2", .left = 195, .top = 900, .width = 1545, .height = 225,
     .caption = "Company Tagline :", .align = Align::Right, .autoSize = true},
    {.name = "b", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 840, .width = 3495, .height = 375, .tabIndex = 1},
    {.name = "Label5", .kind = Kind::Label, .parent = "Frame2", .left = 270, .top = 1380, .width = 1470, .height = 210,
     .caption = "Address Line 1 :", .align = Align::Right, .autoSize = true},
    {.name = "c", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 1320, .width = 3495, .height = 375, .tabIndex = 2},
    {.name = "Label6", .kind = Kind::Label, .parent = "Frame2", .left = 270, .top = 1860, .width = 1470, .height = 210,
     .caption = "Address Line 2 :", .align = Align::Right, .autoSize = true},
    {.name = "d", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 1800, .width = 3495, .height = 375, .tabIndex = 3},
    {.name = "Label13", .kind = Kind::Label, .parent = "Frame2", .left = 270, .top = 2340, .width = 1470, .height = 210,
     .caption = "Address Line 3 :", .align = Align::Right, .autoSize = true},
    {.name = "e", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 2280, .width = 3495, .height = 375, .tabIndex = 4},
    {.name = "Label12", .kind = Kind::Label, .parent = "Frame2", .left = 270, .top = 2820, .width = 1470, .height = 210,
     .caption = "Address Line 4 :", .align = Align::Right, .autoSize = true},
    {.name = "f", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 2760, .width = 3495, .height = 375, .tabIndex = 5},
    {.name = "Label14", .kind = Kind::Label, .parent = "Frame2", .left = 270, .top = 3300, .width = 1470, .height = 210,
     .caption = "Address Line 5 :", .align = Align::Right, .autoSize = true},
    {.name = "g", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 3240, .width = 3495, .height = 375, .tabIndex = 6},
    {.name = "Label7", .kind = Kind::Label, .parent = "Frame2", .left = 360, .top = 3780, .width = 1380, .height = 225,
     .caption = "E-mail Address :", .align = Align::Right, .autoSize = true},
    {.name = "h", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 3720, .width = 3495, .height = 375, .tabIndex = 7},
    {.name = "Label8", .kind = Kind::Label, .parent = "Frame2", .left = 435, .top = 4260, .width = 1305, .height = 225,
     .caption = "Phone Number:", .align = Align::Right, .autoSize = true},
    {.name = "i", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 4200, .width = 3495, .height = 375, .tabIndex = 8},
    {.name = "Label9", .kind = Kind::Label, .parent = "Frame2", .left = 885, .top = 4740, .width = 855, .height = 210,
     .caption = "Website :", .align = Align::Right, .autoSize = true},
    {.name = "j", .kind = Kind::TextBox, .parent = "Frame2", .left = 1860, .top = 4680, .width = 3495, .height = 375, .tabIndex = 9},

    // The logo box with its outline and hint, and the two buttons under it.
    {.name = "Shape1", .kind = Kind::Shape, .parent = "Frame2", .left = 5500, .top = 360, .width = 2115, .height = 2115,
     .foreColour = grey, .dotted = true},
    {.name = "imgLogo", .kind = Kind::Image, .parent = "Frame2", .left = 5560, .top = 420, .width = 1995, .height = 1995,
     .stretch = true, .pressable = true},
    // A hint, not a caption: it needs to stand out from its surface, not to
    // read as body text.
    {.name = "lblChoose", .kind = Kind::Label, .parent = "Frame2", .left = 5580, .top = 1140, .width = 1875, .height = 495,
     .caption = "Click to choose Company Logo", .foreColour = grey, .align = Align::Center, .pressable = true,
     .minimumContrast = 3.0},
    {.name = "PushButton2", .kind = Kind::PushButton, .parent = "Frame2", .left = 5505, .top = 2610, .width = 2115,
     .height = 405, .caption = fitCaption, .tabIndex = 10},
    {.name = "PushButton4", .kind = Kind::PushButton, .parent = "Frame2", .left = 5520, .top = 3120, .width = 2115,
     .height = 405, .caption = "Load Sample Data", .tabIndex = 40},

    // The quick-preview card: the card's design.
    {.name = "Picture1", .kind = Kind::PictureBox, .parent = "Frame1", .left = 840, .top = 360, .width = 6255, .height = 3015,
     .backColour = rgb(224, 224, 224), .tabIndex = 25, .border = true, .paper = true},
    {.name = "Shape2", .kind = Kind::Shape, .parent = "Picture1", .left = 120, .top = 120, .width = 5955, .height = 2715,
     .backColour = white, .lowered = true},
    {.name = "a1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 180, .width = 3375, .height = 345,
     .caption = "Your Company Name Here", .font = {"Impact", 14.25, 700}, .autoSize = true},
    {.name = "b1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 600, .width = 1230, .height = 195,
     .caption = "Company Tagline", .font = cardText, .autoSize = true},
    {.name = "c1", .kind = Kind::Label, .parent = "Picture1", .left = 300, .top = 840, .width = 1050, .height = 195,
     .caption = "Address Line 1", .font = cardText, .autoSize = true},
    {.name = "d1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 1080, .width = 1050, .height = 195,
     .caption = "Address Line 2", .font = cardText, .autoSize = true},
    {.name = "e1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 1320, .width = 1050, .height = 195,
     .caption = "Address Line 3", .font = cardText, .autoSize = true},
    {.name = "f1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 1560, .width = 1050, .height = 195,
     .caption = "Address Line 4", .font = cardText, .autoSize = true},
    {.name = "g1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 1800, .width = 1050, .height = 195,
     .caption = "Address Line 5", .font = cardText, .autoSize = true},
    {.name = "i1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 2040, .width = 1050, .height = 195,
     .caption = "Phone Number", .font = cardText, .autoSize = true},
    {.name = "h1", .kind = Kind::Label, .parent = "Picture1", .left = 285, .top = 2280, .width = 1050, .height = 195,
     .caption = "E-mail Address", .font = cardText, .autoSize = true},
    {.name = "j1", .kind = Kind::Label, .parent = "Picture1", .left = 5025, .top = 2580, .width = 915, .height = 195,
     .caption = "Website URL", .font = cardText, .align = Align::Right, .autoSize = true},
    {.name = "Picture2", .kind = Kind::PictureBox, .parent = "Picture1", .left = 240, .top = 540, .width = 4935, .height = 30,
     .backColour = white},
    {.name = "Picture3", .kind = Kind::PictureBox, .parent = "Picture1", .left = 2580, .top = 2520, .width = 3315, .height = 30,
     .backColour = white},
    {.name = "imgPrev2", .kind = Kind::PictureBox, .parent = "Picture1", .left = 4200, .top = 780, .width = 1635, .height = 1575,
     .backColour = white},
    {.name = "imgLogoPrev", .kind = Kind::Image, .parent = "Picture1", .left = 4200, .top = 780, .width = 1635, .height = 1575,
     .visible = false, .stretch = true},
    {.name = "Shape3", .kind = Kind::Shape, .parent = "Picture1", .left = 4140, .top = 720, .width = 1755, .height = 1695,
     .foreColour = grey, .dotted = true},
};

} // namespace

const Window &window() { return form1; }
std::span<const Control> controls() { return table; }

} // namespace Form1Layout
