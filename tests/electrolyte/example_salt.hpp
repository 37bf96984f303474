// A made-up salt fit used across the electrolyte tests.
#pragma once

#include <cmath>

#include "electrolyte/density_model.hpp"

namespace zorv::electrolyte::testing {

inline constexpr DensityParams kExampleSalt{56.1, 1000.0, 2000.0, 0.5, 0.001, 10.0};

// Whether `actual` rounds to `expected` when written with `digits` significant digits.
inline bool agrees_to_digits(double actual, double expected, int digits) {
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - digits + 1);
    return std::fabs(actual - expected) <= 0.5 * unit;
}

}  // namespace zorv::electrolyte::testing
