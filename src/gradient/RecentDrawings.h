#pragma once

#include "gradient/clsGrad.h"

#include <QColor>
#include <QImage>

#include <vector>

class PictureBox;

// The last few drawings made into picture boxes. The sheet's six cards draw
// the same two rules onto the same blank surfaces, so a repeat costs a
// comparison instead of a sweep, and the boxes share one image: printed or
// exported, each rule's picture is then stored once rather than once per
// card. Whoever makes the boxes owns one and hands it to their painters;
// painters handed none always sweep.
class RecentDrawings
{
public:
    // What a box held before a drawing: its pixels, or nothing yet but its
    // background, which spares making a blank surface only to compare it.
    struct Surface
    {
        QImage pixels;
        QColor blank;

        bool operator==(const Surface &other) const
        {
            return blank.isValid() ? blank == other.blank : !other.blank.isValid() && pixels == other.pixels;
        }
    };

    static Surface surfaceOf(PictureBox &box);

    // The image a drawing left on such a surface, or nullptr.
    const QImage *find(const clsGrad::Drawing &drawing, const Surface &before) const;
    void add(const clsGrad::Drawing &drawing, const Surface &before, const QImage &after);

private:
    struct Entry
    {
        clsGrad::Drawing drawing;
        Surface before;
        QImage after;
    };
    static constexpr std::size_t capacity = 4;
    std::vector<Entry> m_entries;
};
