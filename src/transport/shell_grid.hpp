// A radial distribution function on the uniform grid the shell search runs
// on, whatever the file's bins: the mean of the values in each grid cell
// where the bins are finer than it, the curve's linear interpolation where
// they are coarser.
#pragma once

#include <cstddef>
#include <vector>

#include "common/call_error.hpp"

namespace zorv::transport {

struct ShellGrid {
    double origin = 0.0;  // the first radius: cell k spans origin + step · [k, k + 1)
    double step = 0.0;
    std::vector<double> values;  // one per cell, at its centre

    double at(std::size_t k) const noexcept { return origin + step * (static_cast<double>(k) + 0.5); }
    std::size_t size() const noexcept { return values.size(); }
};

// Grids longer than this are refused: a scale that small for the curve's span is a unit mistake.
inline constexpr double kMaxGridCells = 16777216.0;

// The curve (r, g), r strictly increasing and n >= 2, on cells of step from r[0]
// to past r[n-1]. ValueError when the grid would exceed kMaxGridCells.
Result<ShellGrid> shell_grid(const double* r, const double* g, std::size_t n, double step);

// g linearly interpolated at x as numpy.interp does it, held at the end
// values outside [r[0], r[n-1]].
double interpolated(const double* r, const double* g, std::size_t n, double x) noexcept;

}  // namespace zorv::transport
