// Least-squares straight line through the raw points of one MSD window.
#pragma once

#include <cstdint>

#include "common/float_array.hpp"

namespace zorv::transport {

struct RawLineFit {
    double slope;
    FloatArray fitted;  // the line at each x, as long as the window
};

// Fits y = slope * x + intercept over x[0 .. count - 1] and y[0 .. count - 1];
// a zero denominator makes slope and every fitted value NaN.
RawLineFit fit_raw_line(const double* x, const double* y, std::uint64_t count);

}  // namespace zorv::transport
