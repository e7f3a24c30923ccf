#pragma once

#include "base/Picture.h"

#include <QString>

// What the sheet reads of the card it shows: the editor that owns the card
// implements it, so the sheet never needs to know the editor's window.
class CardSource
{
public:
    virtual ~CardSource() = default;

    // The text of card field `letter`, 'a' to 'j'.
    virtual QString cardText(char letter) const = 0;
    // The logo picture, null when there is none.
    virtual Picture cardLogo() const = 0;
    // The fit button's caption, the fit mode's only record.
    virtual QString cardFitCaption() const = 0;
};
