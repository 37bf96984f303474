// A radial distribution function on the uniform grid the shell search runs
// on, whatever the file's bins: the mean of the values in each grid cell
// where the bins are finer than it, the curve's linear interpolation where
// they are coarser.
#pragma once

#include <cstddef>
#include <vector>

#include "common/call_error.hpp"

namespace zorv::transport {

// Grids longer than this are refused: a scale that small for the curve's span is a unit mistake.
inline constexpr double kMaxGridCells = 16777216.0;

// g linearly interpolated as numpy.interp does it, held at the end values
// outside [r[0], r[n-1]], for x that never decrease from one call to the
// next: the bins are found by walking on from the last, not searched anew.
class Interpolation {
public:
    Interpolation(const double* r, const double* g, std::size_t n) noexcept : r_(r), g_(g), n_(n) {}
    double operator()(double x) noexcept;

private:
    const double* r_;
    const double* g_;
    std::size_t n_;
    std::size_t below_ = 0;  // the last radius at or below the previous x
};

// The cells of step from r[0] to past r[n-1] of the curve (r, g), r strictly
// increasing and n >= 2; cell k spans r[0] + step · [k, k + 1). The arrays
// are borrowed and must outlive the grid. Cells are filled when first asked
// for: the first shell lies near the start of a curve that runs many shells
// out.
class ShellGrid {
public:
    // ValueError when the grid would exceed kMaxGridCells.
    static Result<ShellGrid> make(const double* r, const double* g, std::size_t n, double step);

    std::size_t size() const noexcept { return values_.size(); }
    // The centre of cell k.
    double at(std::size_t k) const noexcept { return r_[0] + step_ * (static_cast<double>(k) + 0.5); }
    // The values of the cells [0, upto), upto <= size().
    const double* values_to(std::size_t upto);

private:
    ShellGrid(const double* r, const double* g, std::size_t n, double step, std::size_t cells);
    std::size_t cell_of(std::size_t bin) const noexcept;

    const double* r_;
    const double* g_;
    std::size_t n_;
    double step_;
    std::vector<double> values_;
    std::size_t filled_ = 0;  // cells done
    std::size_t bin_ = 0;     // the first bin of cell filled_ or later
    Interpolation line_;
};

}  // namespace zorv::transport
