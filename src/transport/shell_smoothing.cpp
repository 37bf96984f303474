#include "transport/shell_smoothing.hpp"

#include <algorithm>
#include <cmath>

#include "transport/shell_grid.hpp"

namespace zorv::transport {

Result<SmoothedCurve> SmoothedCurve::make(const std::vector<double>& values, double step, double width) {
    const double widths = std::ceil(4.0 * width / step);
    if (!(widths < kMaxGridCells)) return value_error("the smoothing kernel would exceed the grid's limit");
    const auto reach = static_cast<std::ptrdiff_t>(std::max(1.0, widths));
    std::vector<double> kernel;
    kernel.reserve(static_cast<std::size_t>(2 * reach + 1));
    for (std::ptrdiff_t k = -reach; k <= reach; ++k) {
        const double z = static_cast<double>(k) * step / width;
        kernel.push_back(std::exp(-0.5 * (z * z)));
    }
    return SmoothedCurve(values, std::move(kernel));
}

double SmoothedCurve::point(std::size_t i) const {
    const std::vector<double>& g = *values_;
    const std::size_t reach = kernel_.size() / 2;
    const std::size_t low = i > reach ? i - reach : 0;
    const std::size_t high = std::min(g.size() - 1, i + reach);
    double total = -0.0;
    double weight = -0.0;
    for (std::size_t j = low; j <= high; ++j) {
        const double w = kernel_[j + reach - i];
        total += g[j] * w;
        weight += w;
    }
    return total / weight;
}

double SmoothedCurve::operator[](std::size_t i) {
    while (done_.size() <= i) done_.push_back(point(done_.size()));
    return done_[i];
}

std::optional<std::size_t> first_extremum(SmoothedCurve& curve, std::size_t reach, std::size_t start,
                                          double sign) {
    const std::size_t size = curve.size();
    if (size < 2 * reach + 1) return std::nullopt;
    for (std::size_t centre = std::max(start, reach); centre < size - reach; ++centre) {
        const double top = sign * curve[centre];
        // Only a point at least as high as both neighbours can pass; most fail here.
        if (!(top >= sign * curve[centre - 1] && top >= sign * curve[centre + 1])) continue;
        if (!(top > sign * curve[centre - reach] && top > sign * curve[centre + reach])) continue;
        bool highest = true;
        for (std::size_t j = centre - reach; j <= centre + reach && highest; ++j) highest = top >= sign * curve[j];
        if (highest) return centre;
    }
    return std::nullopt;
}

}  // namespace zorv::transport
