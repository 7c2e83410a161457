// How far the text progress bar is filled, and the percentage it shows: no Win32, tested natively.
#pragma once

#include <string>

namespace controls {

// (position - lower) / (upper - lower) in double precision; 0 for an empty range.
double Fraction(int position, int lower, int upper);

// The width of the filled part: width x fraction truncated toward zero, kept within 0..width so a
// position outside the range fills all or nothing (what would be drawn anyway) and never overflows.
int FilledWidth(int width, double fraction);

// "N%" with N = fraction x 100 truncated toward zero: position 29 of 0..100 shows "28%".
std::wstring PercentText(double fraction);

}  // namespace controls
