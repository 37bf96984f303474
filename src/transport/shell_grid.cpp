#include "transport/shell_grid.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "transport/sorted_search.hpp"

namespace zorv::transport {

double interpolated(const double* r, const double* g, std::size_t n, double x) noexcept {
    if (x > r[n - 1]) return g[n - 1];
    if (x < r[0]) return g[0];
    const std::size_t j = search_right([r](std::size_t i) { return r[i]; }, n, x) - 1;
    if (j == n - 1 || r[j] == x) return g[j];
    const double slope = (g[j + 1] - g[j]) / (r[j + 1] - r[j]);
    double value = slope * (x - r[j]) + g[j];
    // An overflowing step may still interpolate from the other end.
    if (std::isnan(value)) {
        value = slope * (x - r[j + 1]) + g[j + 1];
        if (std::isnan(value) && g[j] == g[j + 1]) value = g[j];
    }
    return value;
}

Result<ShellGrid> shell_grid(const double* r, const double* g, std::size_t n, double step) {
    const double span = (r[n - 1] - r[0]) / step;
    if (!(span >= 0.0 && span < kMaxGridCells)) {
        return value_error("the shell search's grid would exceed " + std::to_string(std::int64_t{1} << 24) +
                           " points: the scale is too small for the curve's span");
    }
    ShellGrid grid;
    grid.origin = r[0];
    grid.step = step;
    const std::size_t cells = static_cast<std::size_t>(span) + 1;
    grid.values.assign(cells, -0.0);
    std::vector<std::size_t> counts(cells, 0);
    // The radii are sorted, so each cell's bins are consecutive; their sum runs in file order.
    for (std::size_t i = 0; i < n; ++i) {
        const auto cell = std::min(static_cast<std::size_t>((r[i] - r[0]) / step), cells - 1);
        grid.values[cell] += g[i];
        ++counts[cell];
    }
    for (std::size_t k = 0; k < cells; ++k) {
        // A cell of one bin or none lies between bins: the curve there is the line through them.
        grid.values[k] = counts[k] < 2 ? interpolated(r, g, n, grid.at(k))
                                       : grid.values[k] / static_cast<double>(counts[k]);
    }
    return grid;
}

}  // namespace zorv::transport
