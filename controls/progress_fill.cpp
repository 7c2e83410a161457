#include "controls/progress_fill.h"

#include <algorithm>

namespace controls {

double Fraction(int position, int lower, int upper) {
    if (lower >= upper) return 0.0;
    return (static_cast<double>(position) - lower) / (static_cast<double>(upper) - lower);
}

int FilledWidth(int width, double fraction) {
    if (width <= 0) return 0;
    const double filled = std::clamp(static_cast<double>(width) * fraction, 0.0, static_cast<double>(width));
    return static_cast<int>(filled);
}

std::wstring PercentText(double fraction) {
    // A position is a 32-bit number, so fraction x 100 fits in 64 bits.
    return std::to_wstring(static_cast<long long>(fraction * 100.0)) + L"%";
}

}  // namespace controls
