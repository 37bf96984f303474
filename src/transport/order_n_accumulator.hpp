// The order-n accumulation of an MD run, streamed one frame at a time: for
// every block b the last nbe samples taken every nbe^b frames, and for every
// lag k·nbe^b (k = 1..nbe) the sums over origins of squared increments per
// group and, optionally, of the products of the groups' summed increments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::transport {

struct OrderNSettings {
    std::size_t nb = 1;                // blocks
    std::size_t nbe = 2;               // samples kept per block, lags per block
    std::size_t dims = 3;              // values per item: 3 for a position, 1 for one integrated flux
    std::vector<std::uint32_t> group;  // the group of every item
    std::size_t groups = 1;
    bool products = false;             // also Σ ΔR_g·ΔR_h of the groups' summed values, g ≤ h
};

// One row per (block, element) with an origin, blocks in order, k ascending.
struct OrderNTables {
    std::vector<std::uint64_t> block;
    std::vector<std::uint64_t> element;
    std::vector<std::uint64_t> origins;
    FloatArray squares;   // rows × groups: Σ_origins Σ_items of the group |Δx|²
    FloatArray products;  // rows × pairs, pairs (g, h) with g ≤ h in row-major order
};

class OrderNAccumulator {
public:
    static Result<OrderNAccumulator> create(OrderNSettings settings);

    // Values per frame: items × dims.
    std::size_t width() const noexcept { return group_.size() * dims_; }
    std::uint64_t frames() const noexcept { return taken_.front(); }
    // One frame of width() values.
    void add(const double* frame);
    OrderNTables tables() const;

private:
    OrderNAccumulator() = default;
    void take(std::size_t b, const double* frame);
    void take_products(std::size_t b, std::uint64_t n);
    void add_scratch(std::size_t b, std::uint64_t n);

    std::size_t nb_ = 0, nbe_ = 0, dims_ = 0, groups_ = 0;
    bool products_ = false;
    std::vector<std::uint32_t> group_;
    std::vector<std::uint64_t> taken_;  // samples taken per block
    FloatArray history_;                // nb × items × dims × nbe, slot fastest
    FloatArray sums_;                   // nb × nbe × groups, lag k at k − 1
    FloatArray scratch_;                // groups × nbe: one sample's sums by slot
    FloatArray collective_;             // groups × dims: this frame's summed values
    FloatArray collective_history_;     // nb × nbe × groups × dims
    FloatArray pair_sums_;              // nb × nbe × pairs
};

}  // namespace zorv::transport
