// The first coordination shell of a radial distribution function: its peak,
// the first minimum after it and the running integral up to that minimum.
// Every choice is made on the length scale given, never in bins, so the same
// curve written at any bin width gives the same shell.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>

#include "common/call_error.hpp"
#include "transport/shell_extremum.hpp"

namespace zorv::transport {

// Points per scale of the grid the peak and the minimum are searched on; a
// peak must be the highest point within one scale on either side, a minimum
// the lowest.
inline constexpr std::size_t kShellGridSteps = 20;

struct FirstShell {
    std::optional<ShellExtremum> peak;     // fitted within half the scale
    std::optional<ShellExtremum> minimum;  // the first after the peak, fitted within the scale
    double integral = std::nan("");        // ∫₀^minimum.at g r² dr, where the minimum is fitted
};

// The shell of (radius, g): rows with a non-finite value are dropped; no
// peak when fewer than three rows remain, the radii do not increase, no
// value is positive or the smoothed curve (a Gaussian of half the scale) has
// no peak after the first positive value. ValueError when scale is not a
// positive number or too small for the curve's span.
Result<FirstShell> first_shell(const double* radius, const double* g, std::size_t n, double scale);

}  // namespace zorv::transport
