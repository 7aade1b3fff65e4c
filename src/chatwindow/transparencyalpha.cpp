#include "chatwindow/transparency.h"

#include <algorithm>
#include <cmath>

namespace quillet {

int transparencyAlpha(int value, bool valueIsPercent)
{
    // Halves go to the even neighbour (75 % -> 191, 50 % -> 128, 10 % -> 26).
    if (valueIsPercent)
        return int(std::lrint(std::clamp(value, 0, 100) * 255.0 / 100.0));
    return std::clamp(value, 0, 255);
}

} // namespace quillet
