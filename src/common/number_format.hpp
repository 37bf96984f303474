// Decimal text of doubles for messages: exact, round-to-nearest-even digits.
#pragma once

#include <string>

namespace zorv {

// Lower-case scientific with `digits` digits after the point and a bare
// exponent: 40 -> "4.0000e1", 1e-13 -> "1.0000e-13", -0.0 -> "-0.0000e0".
// NaN is "NaN" whatever its sign bit; infinities are "inf" and "-inf".
std::string format_scientific(double value, int digits);

// Fixed-point with `digits` digits after the point: 300 -> "300.00".
// Non-finite values are written as by format_scientific.
std::string format_fixed(double value, int digits);

}  // namespace zorv
