// Whitening of correlated rows: the Cholesky factor of their covariance in
// reversed row order, built in one n × n buffer, and forward substitution.
#pragma once

#include <cstddef>

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::transport {

// L, row-major with zeros above the diagonal, such that L Lᵀ is the
// covariance of the rows taken last to first: with s the square roots of
// the diagonal, L = diag(s) · chol(C / s sᵀ + jitter · I). cov is n × n,
// row-major and symmetric. Fails with ValueError when a pivot is not
// positive (the matrix is not positive definite).
Result<FloatArray> reversed_cholesky(const double* cov, std::size_t n, double jitter);

// L⁻¹ b for the lower-triangular factor (n × n, row-major) and b of length n.
FloatArray forward_substitution(const double* factor, std::size_t n, const double* b);

}  // namespace zorv::transport
