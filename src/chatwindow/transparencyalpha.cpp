#include "chatwindow/transparency.h"

#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

// Round to the nearest integer, a half to the even neighbour (75 % -> 191,
// 50 % -> 128, 10 % -> 26).
int roundHalfToEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    const int base = static_cast<int>(floor);
    if (fraction > 0.5)
        return base + 1;
    if (fraction < 0.5)
        return base;
    return base % 2 == 0 ? base : base + 1;
}

} // namespace

int transparencyAlpha(int value, bool valueIsPercent)
{
    if (valueIsPercent)
        return roundHalfToEven(std::clamp(value, 0, 100) * 255.0 / 100.0);
    return std::clamp(value, 0, 255);
}

} // namespace quillet
