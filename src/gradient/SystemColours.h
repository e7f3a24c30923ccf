#pragma once

#include <QColor>
#include <QPalette>
#include <QtGlobal>

// The platform's numbered system colours, taken from a palette (the
// application's own unless another is given), so they follow the desktop's
// colour scheme as Qt sees it. Colours are 0x00BBGGRR values, red in the low
// byte; a value with the high bit set refers to system colour (value & 0x7FFFFFFF).
class SystemColours
{
public:
    static constexpr int count = 25; // indexes 0 to 24

    SystemColours();
    explicit SystemColours(const QPalette &palette);

    // The colour of system colour `index`; 0 (black) for an unknown index.
    qint32 GetSysColor(int index) const;

    // A colour value as a QColor; a system-colour reference is looked up
    // first, and one with an unknown index is black.
    QColor resolve(qint32 colour) const;

    static bool isSystemReference(qint32 colour) { return colour < 0; }
    static int referenceIndex(qint32 colour) { return int(quint32(colour) & 0x7FFFFFFFu); }
    static qint32 reference(int index) { return qint32(0x80000000u | quint32(index)); }

private:
    QPalette m_palette;
};
