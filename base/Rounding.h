#pragma once

#include <cmath>

namespace orvek {

// Pixel and count rounding: nearest, ties to even, as every rounding in this program.
inline int Rounded(double x) { return static_cast<int>(std::nearbyint(x)); }

}  // namespace orvek
