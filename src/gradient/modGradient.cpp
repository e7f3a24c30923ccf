#include "gradient/modGradient.h"

#include "base/Colour.h"
#include "base/Failure.h"
#include "gradient/DrawingObject.h"
#include "gradient/PictureBoxDrawing.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace modGradient {

namespace {

// One step of the fill: if it fails, it is skipped and the fill goes on.
template <typename Step>
void skipping(Step &&step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

// A loop test that cannot be made ends the loop. Going on into the loop
// instead would skip the counting step as well and repeat for ever.
template <typename Test>
bool holds(Test &&test)
{
    try {
        return test();
    } catch (const std::exception &) {
        return false;
    }
}

// A bound read from the target; one that is not a number would never be
// reached.
double bound(double value)
{
    if (!std::isfinite(value))
        throw Failure(QStringLiteral("Invalid procedure call or argument"));
    return value;
}

// A counter that cannot count on ends its loop for the same reason.
template <typename Counter>
bool advance(Counter &counter, int by = 1)
{
    if (counter > std::numeric_limits<Counter>::max() - by)
        return false;
    counter = Counter(counter + by);
    return true;
}

qint16 difference(qint16 from, qint16 to)
{
    const int d = int(to) - int(from);
    if (d < std::numeric_limits<qint16>::min() || d > std::numeric_limits<qint16>::max())
        throw Failure(QStringLiteral("Overflow"));
    return qint16(d);
}

double divided(double numerator, double divisor)
{
    if (divisor == 0)
        throw Failure(QStringLiteral("Division by zero"));
    return numerator / divisor;
}

qint16 radiusPlus(qint16 radius, int by)
{
    if (!advance(radius, by))
        throw Failure(QStringLiteral("Overflow"));
    return radius;
}

int rounded(double value)
{
    const double r = std::nearbyint(value);
    if (!(r >= std::numeric_limits<int>::min() && r <= std::numeric_limits<int>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return int(r);
}

// The accumulators run past the end colour on a long diagonal sweep, and
// the brighter circles of style 2 pass 255; both are held at the range's
// ends.
int channel(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::nearbyint(value), 0.0, 255.0));
}

qint32 colourOf(double red, double green, double blue)
{
    return Colour::fromRgb(qRgb(channel(red), channel(green), channel(blue)));
}

struct Ramp
{
    double r, g, b;
    double dR = 0, dG = 0, dB = 0;

    qint32 colour() const { return colourOf(r, g, b); }
    void step(double times = 1)
    {
        r += times * dR;
        g += times * dG;
        b += times * dB;
    }
};

// One fill in progress: the target, whose size is read afresh at every use,
// and the colour ramp.
struct Fill
{
    DrawingObject &Target;
    Ramp ramp;
    qint16 Red1, Green1, Blue1, Red2, Green2, Blue2;

    double W() const { return bound(Target.Width()); }
    double H() const { return bound(Target.Height()); }
    double SW() const { return bound(Target.ScaleWidth()); }
    double SH() const { return bound(Target.ScaleHeight()); }

    // The ramp's step per unit of `length`, a channel at a time.
    template <typename Length>
    void spreadOver(Length &&length)
    {
        skipping([&] { ramp.dR = divided(difference(Red1, Red2), length()); });
        skipping([&] { ramp.dG = divided(difference(Green1, Green2), length()); });
        skipping([&] { ramp.dB = divided(difference(Blue1, Blue2), length()); });
    }

    void columns()
    {
        spreadOver([&] { return W(); });
        qint32 i = 0;
        while (holds([&] { return i < W(); })) {
            skipping([&] { Target.Line(i, 0, i, H(), ramp.colour()); });
            if (!advance(i))
                break;
            ramp.step();
        }
    }

    void rows()
    {
        spreadOver([&] { return H(); });
        qint32 i = 0;
        while (holds([&] { return i < H(); })) {
            skipping([&] { Target.Line(0, i, W(), i, ramp.colour()); });
            if (!advance(i))
                break;
            ramp.step();
        }
    }

    void circles()
    {
        spreadOver([&] { return W(); });
        qint16 rad = 1;
        int cx = 0;
        int cy = 0;
        skipping([&] { cx = rounded(SW() / 2); });
        skipping([&] { cy = rounded(SH() / 2); });
        while (holds([&] { return rad < W(); })) {
            skipping([&] { Target.Circle(cx, cy, rad, ramp.colour()); });
            // One unit brighter whatever the increment, so neighbouring
            // circles leave no gaps of the background between them.
            const qint32 brighter = colourOf(ramp.r + 1, ramp.g + 1, ramp.b + 1);
            skipping([&] { Target.Circle(cx, cy, radiusPlus(rad, 1), brighter); });
            skipping([&] { Target.Circle(cx, cy, radiusPlus(rad, 2), brighter); });
            if (!advance(rad, 3))
                break;
            ramp.step(3);
        }
    }

    void diagonal()
    {
        double D = 0;
        skipping([&] {
            const double sw = SW(), sh = SH();
            D = std::sqrt(sw * sw + sh * sh) + (sh / 100) * 12;
        });
        spreadOver([&] { return D; });
        // Line s runs from (s, max(0, s - W + 1)) to (max(0, s - H + 1), s):
        // the first H lines cross the top-left corner at 45 degrees, then the
        // end point moves right and down together.
        qint32 i = 0, j = 0, k = 0, l = 0;
        while (holds([&] {
            const bool across = l >= W();
            const bool down = k >= H();
            return !(across && down);
        })) {
            skipping([&] { Target.Line(j, k, l, i, ramp.colour()); });
            ramp.step();
            if (!advance(i) || !advance(j))
                break;
            skipping([&] {
                if (j >= W())
                    ++k;
            });
            skipping([&] {
                if (i >= H())
                    ++l;
            });
        }
    }
};

} // namespace

void FillGradient(DrawingObject &Target, qint16 Red1, qint16 Green1, qint16 Blue1, qint16 Red2,
                  qint16 Green2, qint16 Blue2, qint16 Style)
{
    Fill fill{Target, Ramp{double(Red1), double(Green1), double(Blue1)},
              Red1, Green1, Blue1, Red2, Green2, Blue2};
    switch (Style) {
    case 1:
        fill.columns();
        break;
    case 2:
        fill.circles();
        break;
    case 3:
        fill.diagonal();
        break;
    default:
        fill.rows();
        break;
    }
}

void FillGradient(PictureBox &Target, qint16 Red1, qint16 Green1, qint16 Blue1, qint16 Red2,
                  qint16 Green2, qint16 Blue2, qint16 Style)
{
    PictureBoxDrawing drawing(Target);
    FillGradient(drawing, Red1, Green1, Blue1, Red2, Green2, Blue2, Style);
}

} // namespace modGradient
