#include "transport/shell_smoothing.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace zorv::transport {

Result<SmoothedCurve> SmoothedCurve::make(ShellGrid& grid, double width) {
    const double step = grid.at(1) - grid.at(0);  // the cells' spacing as their centres have it
    const double widths = std::ceil(4.0 * width / step);
    if (!(widths < kMaxGridCells)) return value_error("the smoothing kernel would exceed the grid's limit");
    const auto reach = static_cast<std::ptrdiff_t>(std::max(1.0, widths));
    std::vector<double> kernel;
    kernel.reserve(static_cast<std::size_t>(2 * reach + 1));
    for (std::ptrdiff_t k = -reach; k <= reach; ++k) {
        const double z = static_cast<double>(k) * step / width;
        kernel.push_back(std::exp(-0.5 * (z * z)));
    }
    return SmoothedCurve(grid, std::move(kernel));
}

SmoothedCurve::SmoothedCurve(ShellGrid& grid, std::vector<double> kernel)
    : grid_(&grid), kernel_(std::move(kernel)), smooth_(grid.size()), done_(grid.size() / kBlock + 1, false) {
    double sum = -0.0;
    for (const double w : kernel_) sum += w;
    inner_weight_ = sum;
}

double SmoothedCurve::point(std::size_t i) {
    const std::size_t reach = kernel_.size() / 2;
    const std::size_t low = i > reach ? i - reach : 0;
    const std::size_t high = std::min(size() - 1, i + reach);
    const double* g = grid_->values_to(high + 1);
    double total = -0.0;
    double weight = -0.0;
    for (std::size_t j = low; j <= high; ++j) {
        const double w = kernel_[j + reach - i];
        total += g[j] * w;
        weight += w;
    }
    return total / weight;
}

void SmoothedCurve::compute_block(std::size_t block) {
    done_[block] = true;
    const std::size_t first = block * kBlock;
    const std::size_t reach = kernel_.size() / 2;
    const std::size_t n = size();
    if (first < reach || first + kBlock + reach > n) {
        for (std::size_t i = first; i < std::min(first + kBlock, n); ++i) smooth_[i] = point(i);
        return;
    }
    // Every point a whole kernel from both ends: the sums of the whole kernel, eight at a time.
    const double* g = grid_->values_to(first + kBlock + reach) + (first - reach);
    double total[kBlock];
    for (double& t : total) t = -0.0;
    for (std::size_t m = 0; m < kernel_.size(); ++m) {
        const double w = kernel_[m];
        for (std::size_t p = 0; p < kBlock; ++p) total[p] += g[p + m] * w;
    }
    for (std::size_t p = 0; p < kBlock; ++p) smooth_[first + p] = total[p] / inner_weight_;
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
