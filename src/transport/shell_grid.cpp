#include "transport/shell_grid.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace zorv::transport {

double Interpolation::operator()(double x) noexcept {
    if (x > r_[n_ - 1]) return g_[n_ - 1];
    if (x < r_[0]) return g_[0];
    while (below_ + 1 < n_ && r_[below_ + 1] <= x) ++below_;
    const std::size_t j = below_;
    if (j == n_ - 1 || r_[j] == x) return g_[j];
    const double slope = (g_[j + 1] - g_[j]) / (r_[j + 1] - r_[j]);
    double value = slope * (x - r_[j]) + g_[j];
    // An overflowing step may still interpolate from the other end.
    if (std::isnan(value)) {
        value = slope * (x - r_[j + 1]) + g_[j + 1];
        if (std::isnan(value) && g_[j] == g_[j + 1]) value = g_[j];
    }
    return value;
}

Result<ShellGrid> ShellGrid::make(const double* r, const double* g, std::size_t n, double step) {
    const double span = (r[n - 1] - r[0]) / step;
    if (!(span >= 0.0 && span < kMaxGridCells)) {
        return value_error("the shell search's grid would exceed " + std::to_string(std::int64_t{1} << 24) +
                           " points: the scale is too small for the curve's span");
    }
    return ShellGrid(r, g, n, step, static_cast<std::size_t>(span) + 1);
}

ShellGrid::ShellGrid(const double* r, const double* g, std::size_t n, double step, std::size_t cells)
    : r_(r), g_(g), n_(n), step_(step), values_(cells), line_(r, g, n) {}

std::size_t ShellGrid::cell_of(std::size_t bin) const noexcept {
    return std::min(static_cast<std::size_t>((r_[bin] - r_[0]) / step_), values_.size() - 1);
}

const double* ShellGrid::values_to(std::size_t upto) {
    // The radii are sorted, so each cell's bins are consecutive; their sum runs in file order.
    for (; filled_ < upto; ++filled_) {
        double sum = -0.0;
        std::size_t count = 0;
        for (; bin_ < n_ && cell_of(bin_) == filled_; ++bin_, ++count) sum += g_[bin_];
        // A cell of one bin or none lies between bins: the curve there is the line through them.
        values_[filled_] = count < 2 ? line_(at(filled_)) : sum / static_cast<double>(count);
    }
    return values_.data();
}

}  // namespace zorv::transport
