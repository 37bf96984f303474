#include "transport/shell_integral.hpp"

#include <cmath>

#include "transport/sorted_search.hpp"

namespace zorv::transport {
namespace {

double cube(double x) { return std::pow(x, 3.0); }

}  // namespace

double shell_integral(const double* r, const double* g, std::size_t n, double upto) {
    const double below = r[0] - (r[1] - r[0]) / 2.0;
    const auto edge = [&](std::size_t i) {
        if (i == 0) return below > 0.0 ? below : 0.0;
        if (i == n) return r[n - 1] + (r[n - 1] - r[n - 2]) / 2.0;
        return (r[i] + r[i - 1]) / 2.0;
    };
    const std::size_t past = search_right(edge, n + 1, upto);
    const std::size_t inside = past == 0 ? 0 : (past - 1 < n - 1 ? past - 1 : n - 1);
    // Only the shells below upto are summed: the rest of a long curve is never cubed.
    double total = -0.0;
    double lower = cube(edge(0));
    for (std::size_t i = 0; i < inside; ++i) {
        const double upper = cube(edge(i + 1));
        total += g[i] * (upper - lower) / 3.0;
        lower = upper;
    }
    return total + g[inside] * (cube(upto) - lower) / 3.0;
}

}  // namespace zorv::transport
