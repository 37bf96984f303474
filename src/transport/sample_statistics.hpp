// Summary of repeated estimates of one quantity.
#pragma once

#include <cstdint>
#include <tuple>

#include "common/float_array.hpp"

namespace zorv::transport {

// (mean, population standard deviation, count) of the finite values of
// d_array; (NaN, NaN, 0) when none is finite.
std::tuple<double, double, std::uint64_t> repacking_results(const FloatArray& d_array);

}  // namespace zorv::transport
