#include "gradient/SystemColours.h"

#include "base/Colour.h"

#include <QGuiApplication>

namespace {

struct Source
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// The platform's numbering, each mapped to the palette entry that plays the
// same part in a Qt window.
constexpr Source sources[SystemColours::count] = {
    {QPalette::Active, QPalette::Midlight},          // 0 scroll bar track
    {QPalette::Active, QPalette::Dark},              // 1 desktop
    {QPalette::Active, QPalette::Highlight},         // 2 active title bar
    {QPalette::Inactive, QPalette::Highlight},       // 3 inactive title bar
    {QPalette::Active, QPalette::Window},            // 4 menu background
    {QPalette::Active, QPalette::Window},            // 5 window background
    {QPalette::Active, QPalette::Shadow},            // 6 window frame
    {QPalette::Active, QPalette::WindowText},        // 7 menu text
    {QPalette::Active, QPalette::WindowText},        // 8 window text
    {QPalette::Active, QPalette::HighlightedText},   // 9 title bar text
    {QPalette::Active, QPalette::Window},            // 10 active border
    {QPalette::Inactive, QPalette::Window},          // 11 inactive border
    {QPalette::Active, QPalette::Dark},              // 12 application workspace
    {QPalette::Active, QPalette::Highlight},         // 13 selection
    {QPalette::Active, QPalette::HighlightedText},   // 14 selected text
    {QPalette::Active, QPalette::Button},            // 15 button face
    {QPalette::Active, QPalette::Dark},              // 16 button shadow
    {QPalette::Disabled, QPalette::Text},            // 17 disabled text
    {QPalette::Active, QPalette::ButtonText},        // 18 button text
    {QPalette::Inactive, QPalette::HighlightedText}, // 19 inactive title bar text
    {QPalette::Active, QPalette::Light},             // 20 button highlight
    {QPalette::Active, QPalette::Shadow},            // 21 dark 3-D shadow
    {QPalette::Active, QPalette::Midlight},          // 22 light 3-D edge
    {QPalette::Active, QPalette::ToolTipText},       // 23 tooltip text
    {QPalette::Active, QPalette::ToolTipBase},       // 24 tooltip background
};

} // namespace

SystemColours::SystemColours() : m_palette(QGuiApplication::palette()) {}

SystemColours::SystemColours(const QPalette &palette) : m_palette(palette) {}

qint32 SystemColours::GetSysColor(int index) const
{
    if (index < 0 || index >= count)
        return 0;
    const Source &source = sources[index];
    return Colour::fromQColor(m_palette.color(source.group, source.role));
}

QColor SystemColours::resolve(qint32 colour) const
{
    if (isSystemReference(colour))
        colour = GetSysColor(referenceIndex(colour));
    return Colour::toQColor(colour);
}

