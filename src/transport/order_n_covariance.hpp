// The unit covariance of the rows of an order-n MSD table, in closed form:
// O(1) per pair of rows and no temporaries beyond the matrix itself.
#pragma once

#include <cstdint>
#include <vector>

#include "common/float_array.hpp"

namespace zorv::transport {

// One kept row: its block, element (lag / nbe^block) and origin count.
struct OrderNRow {
    std::int64_t block;
    std::int64_t element;
    std::int64_t origins;
};

// The n × n covariance, row-major, of one 1-D Brownian walker of MSD = t,
// each entry the mean of its two orientations (see msdfit/covariance.py).
FloatArray order_n_covariance(const std::vector<OrderNRow>& rows, std::int64_t nbe, double interval);

}  // namespace zorv::transport
