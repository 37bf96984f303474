// First strict local maximum of a sampled curve.
#pragma once

#include <cstdint>

#include "common/float_array.hpp"

namespace zorv::transport {

// Index of the first point at or after search_start + neighbor_count that is
// strictly greater than neighbor_count neighbours on each side, whose left
// neighbours all lie at or after search_start. Returns the fallback
// search_start + neighbor_count when there is none (2^64 - 1 when that sum
// does not fit in 64 bits). Never reads outside data.
std::uint64_t local_maximum_finder(const FloatArray& data, std::uint64_t search_start,
                                   std::uint64_t neighbor_count);

}  // namespace zorv::transport
