// Generalized least-squares lines of every suffix of a table's rows at once.
#pragma once

#include <cstddef>

#include "common/float_array.hpp"

namespace zorv::transport {

// The whitened rows of one table, as whitening builds them: `factor` the
// reversed Cholesky factor (n × n, row-major), `design` L⁻¹ [1, t] of the
// rows last to first (n × 2), `suffix_cov` (XᵀX)⁻¹ of the rows s..n-1 for
// every start s (n × 2 × 2, start order).
struct WhitenedRows {
    const double* factor;
    const double* design;
    const double* suffix_cov;
    std::size_t n;
};

// (intercept, slope) of the line through rows s..n-1 of `values` (ascending
// rows) for every start s, n × 2 in start order. Leading block k of the
// reversed rows is the suffix from n-1-k; its moments X_kᵀ y_k are running
// sums from -0.0, each coefficient cov·moment added in index order.
FloatArray suffix_lines(const WhitenedRows& rows, const double* values);

}  // namespace zorv::transport
