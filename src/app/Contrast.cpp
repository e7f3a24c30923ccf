#include "app/Contrast.h"

#include <algorithm>
#include <cmath>

namespace Contrast {

namespace {

double linear(int channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor mixed(const QColor &from, const QColor &to, double share)
{
    const auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

} // namespace

double luminance(const QColor &colour)
{
    const QColor c = colour.toRgb();
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

double ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor extreme(const QColor &background)
{
    return ratio(Qt::black, background) >= ratio(Qt::white, background) ? QColor(Qt::black)
                                                                        : QColor(Qt::white);
}

QColor strengthened(const QColor &colour, const QColor &background, double minimum)
{
    const QColor from = colour.toRgb();
    if (ratio(from, background) >= minimum)
        return from;
    const QColor target = extreme(background);
    // On the way to the target the contrast can only dip before it grows,
    // so the shares that reach the minimum run from some point to the end:
    // halving finds that point.
    double low = 0, high = 1;
    for (int i = 0; i < 16; ++i) {
        const double middle = (low + high) / 2;
        if (ratio(mixed(from, target, middle), background) >= minimum)
            high = middle;
        else
            low = middle;
    }
    const QColor result = mixed(from, target, high);
    return ratio(result, background) >= minimum ? result : target;
}

} // namespace Contrast
