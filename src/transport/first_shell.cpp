#include "transport/first_shell.hpp"

#include <vector>

#include "transport/shell_grid.hpp"
#include "transport/shell_integral.hpp"
#include "transport/shell_smoothing.hpp"
#include "transport/sorted_search.hpp"

namespace zorv::transport {
namespace {

struct Curve {
    std::vector<double> r;
    std::vector<double> g;
};

Curve finite_rows(const double* radius, const double* g, std::size_t n) {
    Curve c;
    c.r.reserve(n);
    c.g.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(radius[i]) && std::isfinite(g[i])) {
            c.r.push_back(radius[i]);
            c.g.push_back(g[i]);
        }
    }
    return c;
}

bool increasing(const std::vector<double>& r) {
    for (std::size_t i = 1; i < r.size(); ++i) {
        if (r[i] - r[i - 1] <= 0.0) return false;
    }
    return true;
}

// The peak and the minimum on the grid; the shell's values from the curve's own rows.
Result<FirstShell> search(const Curve& c, std::size_t first_positive, double scale) {
    FirstShell shell;
    auto grid = shell_grid(c.r.data(), c.g.data(), c.r.size(), scale / static_cast<double>(kShellGridSteps));
    if (!grid) return std::move(grid).error();
    const ShellGrid& cells = grid.value();
    const std::size_t reach = kShellGridSteps;
    if (cells.size() < 2 * reach + 1) return shell;  // no window of a whole scale on either side fits
    auto smoothed = SmoothedCurve::make(cells.values, cells.at(1) - cells.at(0), scale / 2.0);
    if (!smoothed) return std::move(smoothed).error();
    SmoothedCurve& curve = smoothed.value();
    const auto grid_at = [&cells](std::size_t k) { return cells.at(k); };
    const std::size_t start = search_left(grid_at, cells.size(), c.r[first_positive]);
    const auto peak = first_extremum(curve, reach, start, 1.0);
    if (!peak) return shell;
    const std::size_t n = c.r.size();
    shell.peak = shell_extremum(c.r.data(), c.g.data(), n, cells.at(*peak), scale / 2.0, 1.0);
    const auto minimum = first_extremum(curve, reach, *peak + 1, -1.0);
    if (!minimum) return shell;
    // The minimum is broad and its values noisy: its fit takes in twice the peak's stretch.
    shell.minimum = shell_extremum(c.r.data(), c.g.data(), n, cells.at(*minimum), scale, -1.0);
    if (shell.minimum->fitted) shell.integral = shell_integral(c.r.data(), c.g.data(), n, shell.minimum->at);
    return shell;
}

}  // namespace

Result<FirstShell> first_shell(const double* radius, const double* g, std::size_t n, double scale) {
    if (!(scale > 0.0 && std::isfinite(scale))) return value_error("the shell's scale must be a positive number");
    const Curve c = finite_rows(radius, g, n);
    if (c.r.size() < 3 || !increasing(c.r)) return FirstShell{};
    std::size_t first_positive = 0;
    while (first_positive < c.g.size() && !(c.g[first_positive] > 0.0)) ++first_positive;
    if (first_positive == c.g.size()) return FirstShell{};
    return search(c, first_positive, scale);
}

}  // namespace zorv::transport
