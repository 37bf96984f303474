#include "transport/shell_extremum.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "transport/shell_vertex.hpp"
#include "transport/sorted_search.hpp"

namespace zorv::transport {
namespace {

struct Span {
    std::size_t first = 0;
    std::size_t last = 0;  // one past
};

// The radii within half of centre: one run, as the distance falls to centre and rises after it.
Span within(const double* r, std::size_t n, double centre, double half) {
    const std::size_t split = search_left([r](std::size_t i) { return r[i]; }, n, centre);
    Span s{split, split};
    while (s.first > 0 && std::fabs(r[s.first - 1] - centre) <= half) --s.first;
    while (s.last < n && std::fabs(r[s.last] - centre) <= half) ++s.last;
    return s;
}

// The three radii nearest centre, nearer first and the lower index first among equals, in index order.
std::array<std::size_t, 3> three_nearest(const double* r, std::size_t n, double centre) {
    std::array<std::size_t, 3> best{};
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = std::fabs(r[i] - centre);
        std::size_t slot = kept;
        while (slot > 0 && d < std::fabs(r[best[slot - 1]] - centre)) --slot;
        if (slot >= 3) continue;
        for (std::size_t k = std::min<std::size_t>(kept, 2); k > slot; --k) best[k] = best[k - 1];
        best[slot] = i;
        kept = std::min<std::size_t>(kept + 1, 3);
    }
    std::sort(best.begin(), best.end());
    return best;
}

}  // namespace

ShellExtremum shell_extremum(const double* r, const double* g, std::size_t n, double centre, double half,
                             double sign) {
    std::vector<std::size_t> near;
    const Span span = within(r, n, centre, half);
    if (span.last - span.first >= 3) {
        for (std::size_t i = span.first; i < span.last; ++i) near.push_back(i);
    } else {
        const auto nearest = three_nearest(r, n, centre);
        near.assign(nearest.begin(), nearest.end());
    }
    std::vector<double> x, y;
    for (const std::size_t i : near) {
        x.push_back(r[i] - centre);
        y.push_back(g[i]);
    }
    const ShellVertex vertex = shell_vertex(x.data(), y.data(), x.size(), near.size() >= 7 ? 4 : 2, sign);
    ShellExtremum out;
    out.centre = centre;
    out.fitted = vertex.fitted;
    if (vertex.fitted) {
        out.at = vertex.found ? centre + vertex.offset : centre;
        out.value = vertex.value;
    }
    return out;
}

}  // namespace zorv::transport
