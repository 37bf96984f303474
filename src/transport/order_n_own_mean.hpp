// What subtracting a run's own mean from a flux after one order-n pass needs:
// the sums over origins of a channel's increments (not only their squares),
// and the squares of the centred increments they give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/float_array.hpp"

namespace zorv::transport {

// The first and the last nbe samples of every order-n block of one series,
// sampled by the accumulator's rule (block b + 1 takes the sample where block
// b takes one whose index is a multiple of nbe). The origins' increments of
// lag k telescope: Σ_j (x[j + k] − x[j]) is the block's last k samples less
// its first k, so nb × nbe × 2 values give every row's sum exactly.
class BlockEnds {
public:
    BlockEnds(std::size_t nb, std::size_t nbe);
    void add(double value);
    // Σ over block b's origins of x[j + k] − x[j], each sum of k samples in
    // sample order from −0.0; k from 1 to the block's samples less one.
    double increments(std::size_t b, std::uint64_t k) const;

private:
    std::size_t nb_, nbe_;
    std::vector<std::uint64_t> taken_;
    FloatArray first_;
    FloatArray last_;  // slot n % nbe holds sample n
};

// Σ over `origins` of (ΔI − lag·mean)² from Σ ΔI² (`squares`) and Σ ΔI
// (`increments`): squares − 2·lag·mean·increments + origins·lag²·mean²,
// never below 0 (a rounding of an empty sum).
double centred_squares(double squares, double increments, double origins, double lag, double mean);

}  // namespace zorv::transport
