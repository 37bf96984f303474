// The shell search's view of a gridded curve: smoothed by a normalised
// Gaussian, and its first extremum that stands out over a whole window.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "common/call_error.hpp"

namespace zorv::transport {

// values convolved with a Gaussian of standard deviation width (cut at four
// widths, on the values' grid of step), divided by the kernel's weight on the
// points present, so the ends are not pulled towards zero. Each point is
// computed when first asked for: the first shell lies near the start of a
// curve that runs many shells out.
class SmoothedCurve {
public:
    static Result<SmoothedCurve> make(const std::vector<double>& values, double step, double width);

    std::size_t size() const noexcept { return values_->size(); }
    // The smoothed value at i < size().
    double operator[](std::size_t i);

private:
    SmoothedCurve(const std::vector<double>& values, std::vector<double> kernel)
        : values_(&values), kernel_(std::move(kernel)) {}
    double point(std::size_t i) const;

    const std::vector<double>* values_;
    std::vector<double> kernel_;  // 2 reach + 1 weights, centre in the middle
    std::vector<double> done_;
};

// The first index c >= start whose value times sign is the highest within
// reach points on both sides and above the values reach points away; none
// when no such c has its whole window on the curve.
std::optional<std::size_t> first_extremum(SmoothedCurve& curve, std::size_t reach, std::size_t start,
                                          double sign);

}  // namespace zorv::transport
