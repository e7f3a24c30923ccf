#include "layouts/Form2Layout.h"

namespace Form2Layout {

using namespace Layout;

namespace {

const Window form2{
    .name = "Form2",
    .caption = "Print Preview",
    .clientWidth = 11085,
    .clientHeight = 9990,
    .resizable = true,
    .backColour = white,
    .role = WindowRole::Dialog,
};

// Two columns by three rows: left 120 + 5520 x column, top 240 + 3240 x row.
constexpr Control card(int left, int top)
{
    return {.name = "Picture1", .kind = Kind::PictureBox, .left = left, .top = top, .width = 5285,
            .height = 3015, .backColour = grey, .border = true, .paper = true};
}
const Control cardTable[cardCount] = {
    card(120, 240), card(5640, 240), card(120, 3480), card(5640, 3480), card(120, 6720), card(5640, 6720),
};

const Control contentTable[] = {
    {.name = "Shape2", .kind = Kind::Shape, .left = 70, .top = 80, .width = 5115, .height = 2835,
     .backColour = white, .dotted = true, .lowered = true},
    {.name = "a1", .kind = Kind::Label, .left = 285, .top = 180, .width = 3375, .height = 345,
     .caption = "Your Company Name Here", .font = {"Impact", 14.25, 700}, .autoSize = true},
    {.name = "b1", .kind = Kind::Label, .left = 285, .top = 600, .width = 1230, .height = 195,
     .caption = "Company Tagline", .font = cardText, .autoSize = true},
    {.name = "c1", .kind = Kind::Label, .left = 300, .top = 840, .width = 1050, .height = 195,
     .caption = "Address Line 1", .font = cardText, .autoSize = true},
    {.name = "d1", .kind = Kind::Label, .left = 285, .top = 1080, .width = 1050, .height = 195,
     .caption = "Address Line 2", .font = cardText, .autoSize = true},
    {.name = "e1", .kind = Kind::Label, .left = 285, .top = 1320, .width = 1050, .height = 195,
     .caption = "Address Line 3", .font = cardText, .autoSize = true},
    {.name = "f1", .kind = Kind::Label, .left = 285, .top = 1560, .width = 1050, .height = 195,
     .caption = "Address Line 4", .font = cardText, .autoSize = true},
    {.name = "g1", .kind = Kind::Label, .left = 285, .top = 1800, .width = 1050, .height = 195,
     .caption = "Address Line 5", .font = cardText, .autoSize = true},
    {.name = "i1", .kind = Kind::Label, .left = 285, .top = 2040, .width = 1095, .height = 195,
     .caption = "Contact Details", .font = cardText, .autoSize = true},
    {.name = "h1", .kind = Kind::Label, .left = 285, .top = 2280, .width = 1140, .height = 195,
     .caption = "E - mail Address", .font = cardText, .autoSize = true},
    {.name = "j1", .kind = Kind::Label, .left = 4125, .top = 2640, .width = 915, .height = 315,
     .caption = "Website URL", .font = cardText, .align = Align::Right, .autoSize = true},
    {.name = "b8GradLine1", .kind = Kind::GradLine, .left = 240, .top = 540, .width = 4155, .height = 30,
     .properties = "font=MS Sans Serif,8.25,400"},
    {.name = "b8GradLine2", .kind = Kind::GradLine, .left = 1680, .top = 2580, .width = 3315, .height = 30,
     .properties = "color1=16777215;color2=0;font=MS Sans Serif,8.25,400"},
    {.name = "lblPrevLogo", .kind = Kind::Label, .left = 3300, .top = 1440, .width = 1755, .height = 375,
     .caption = "Company Logo", .font = {"Tahoma", 9, 700}, .foreColour = grey, .align = Align::Center},
    {.name = "imgLogoPrev", .kind = Kind::Image, .left = 3360, .top = 780, .width = 1635, .height = 1575,
     .stretch = true},
    {.name = "imgPrev2", .kind = Kind::PictureBox, .left = 3360, .top = 780, .width = 1635, .height = 1575,
     .backColour = white, .visible = false},
    {.name = "Shape3", .kind = Kind::Shape, .left = 3300, .top = 720, .width = 1755, .height = 1695,
     .foreColour = grey, .dotted = true},
};

} // namespace

const Window &window() { return form2; }
std::span<const Control> cards() { return cardTable; }
std::span<const Control> cardContents() { return contentTable; }

} // namespace Form2Layout
