#include "transport/first_shell.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "transport/shell_grid.hpp"
#include "transport/shell_integral.hpp"
#include "transport/shell_smoothing.hpp"
#include "transport/sorted_search.hpp"

namespace zorv::transport {
namespace {

// The rows with both values finite: the arrays themselves when they all are, else copies.
struct Curve {
    const double* r = nullptr;
    const double* g = nullptr;
    std::size_t n = 0;
    std::vector<double> kept_r, kept_g;
};

void keep_finite_rows(const double* radius, const double* g, std::size_t n, Curve& c) {
    std::size_t i = 0;
    while (i < n && std::isfinite(radius[i]) && std::isfinite(g[i])) ++i;
    if (i == n) {
        c.r = radius;
        c.g = g;
        c.n = n;
        return;
    }
    c.kept_r.assign(radius, radius + i);
    c.kept_g.assign(g, g + i);
    for (; i < n; ++i) {
        if (std::isfinite(radius[i]) && std::isfinite(g[i])) {
            c.kept_r.push_back(radius[i]);
            c.kept_g.push_back(g[i]);
        }
    }
    c.r = c.kept_r.data();
    c.g = c.kept_g.data();
    c.n = c.kept_r.size();
}

bool increasing(const double* r, std::size_t n) {
    for (std::size_t i = 1; i < n; ++i) {
        if (r[i] - r[i - 1] <= 0.0) return false;
    }
    return true;
}

// The peak and the minimum on the grid; the shell's values from the curve's own rows.
Result<FirstShell> search(const double* r, const double* g, std::size_t n, std::size_t first_positive,
                          double scale) {
    FirstShell shell;
    auto made = ShellGrid::make(r, g, n, scale / static_cast<double>(kShellGridSteps));
    if (!made) return std::move(made).error();
    ShellGrid& grid = made.value();
    const std::size_t reach = kShellGridSteps;
    if (grid.size() < 2 * reach + 1) return shell;  // no window of a whole scale on either side fits
    auto smoothed = SmoothedCurve::make(grid, scale / 2.0);
    if (!smoothed) return std::move(smoothed).error();
    SmoothedCurve& curve = smoothed.value();
    const auto grid_at = [&grid](std::size_t k) { return grid.at(k); };
    const std::size_t start = search_left(grid_at, grid.size(), r[first_positive]);
    const auto peak = first_extremum(curve, reach, start, 1.0);
    if (!peak) return shell;
    shell.peak = shell_extremum(r, g, n, grid.at(*peak), scale / 2.0, 1.0);
    const auto minimum = first_extremum(curve, reach, *peak + 1, -1.0);
    if (!minimum) return shell;
    // The minimum is broad and its values noisy: its fit takes in twice the peak's stretch.
    shell.minimum = shell_extremum(r, g, n, grid.at(*minimum), scale, -1.0);
    if (shell.minimum->fitted) shell.integral = shell_integral(r, g, n, shell.minimum->at);
    return shell;
}

}  // namespace

Result<FirstShell> first_shell(const double* radius, const double* g, std::size_t n, double scale) {
    if (!(scale > 0.0 && std::isfinite(scale))) return value_error("the shell's scale must be a positive number");
    Curve c;
    keep_finite_rows(radius, g, n, c);
    if (c.n < 3 || !increasing(c.r, c.n)) return FirstShell{};
    std::size_t first_positive = 0;
    while (first_positive < c.n && !(c.g[first_positive] > 0.0)) ++first_positive;
    if (first_positive == c.n) return FirstShell{};
    return search(c.r, c.g, c.n, first_positive, scale);
}

}  // namespace zorv::transport
