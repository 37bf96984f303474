// The shell search's view of a gridded curve: smoothed by a normalised
// Gaussian, and its first extremum that stands out over a whole window.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "common/call_error.hpp"
#include "transport/shell_grid.hpp"

namespace zorv::transport {

// A grid's values convolved with a Gaussian of standard deviation width (cut
// at four widths), divided by the kernel's weight on the points present, so
// the ends are not pulled towards zero. Each point is computed when first
// asked for, from no more of the grid than it needs. The grid must outlive it.
class SmoothedCurve {
public:
    static Result<SmoothedCurve> make(ShellGrid& grid, double width);

    std::size_t size() const noexcept { return grid_->size(); }
    // The smoothed value at i < size().
    double operator[](std::size_t i) {
        if (!done_[i / kBlock]) compute_block(i / kBlock);
        return smooth_[i];
    }

private:
    // Points computed together: their sums run side by side, each still in its own order.
    static constexpr std::size_t kBlock = 8;

    SmoothedCurve(ShellGrid& grid, std::vector<double> kernel);
    double point(std::size_t i);
    void compute_block(std::size_t block);

    ShellGrid* grid_;
    std::vector<double> kernel_;  // 2 reach + 1 weights, centre in the middle
    double inner_weight_ = 0.0;   // their sum, the weight of every point a whole kernel from both ends
    std::vector<double> smooth_;
    std::vector<bool> done_;  // per block
};

// The first index c >= start whose value times sign is the highest within
// reach points on both sides and above the values reach points away; none
// when no such c has its whole window on the curve.
std::optional<std::size_t> first_extremum(SmoothedCurve& curve, std::size_t reach, std::size_t start,
                                          double sign);

}  // namespace zorv::transport
