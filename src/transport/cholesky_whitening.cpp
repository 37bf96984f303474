#include "transport/cholesky_whitening.hpp"

#include <algorithm>
#include <cmath>

namespace zorv::transport {
namespace {

// Rows of the factor finished together: each earlier row is read once per
// tile rather than once per row, so the work stays in cache.
constexpr std::size_t kTile = 32;

// Σ_{k<count} x[k]·y[k] in four interleaved partial sums, added pairwise at
// the end: a fixed grouping, the same bits on every machine.
double dot(const double* x, const double* y, std::size_t count) {
    double s0 = -0.0, s1 = -0.0, s2 = -0.0, s3 = -0.0;
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        s0 += x[k] * y[k];
        s1 += x[k + 1] * y[k + 1];
        s2 += x[k + 2] * y[k + 2];
        s3 += x[k + 3] * y[k + 3];
    }
    for (; k < count; ++k) s0 += x[k] * y[k];
    return (s0 + s1) + (s2 + s3);
}

// Row i of the factor at column j < i, from the rows before it.
void eliminate(double* a, std::size_t n, std::size_t i, std::size_t j) {
    double* row = a + i * n;
    const double* pivot_row = a + j * n;
    row[j] = (row[j] - dot(row, pivot_row, j)) / pivot_row[j];
}

}  // namespace

Result<FloatArray> reversed_cholesky(const double* cov, std::size_t n, double jitter) {
    FloatArray scale(n);
    for (std::size_t i = 0; i < n; ++i) scale[i] = std::sqrt(cov[(n - 1 - i) * (n + 1)]);
    FloatArray a(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            a[i * n + j] = cov[(n - 1 - i) * n + (n - 1 - j)] / (scale[i] * scale[j]);
        }
        a[i * n + i] += jitter;
    }
    for (std::size_t i0 = 0; i0 < n; i0 += kTile) {
        const std::size_t i1 = std::min(n, i0 + kTile);
        for (std::size_t j = 0; j < i0; ++j) {
            for (std::size_t i = i0; i < i1; ++i) eliminate(a.data(), n, i, j);
        }
        for (std::size_t i = i0; i < i1; ++i) {
            for (std::size_t j = i0; j < i; ++j) eliminate(a.data(), n, i, j);
            double* row = a.data() + i * n;
            const double pivot = row[i] - dot(row, row, i);
            if (!(pivot > 0.0)) return value_error("the covariance is not positive definite");
            row[i] = std::sqrt(pivot);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) a[i * n + j] *= scale[i];
    }
    return a;
}

FloatArray forward_substitution(const double* factor, std::size_t n, const double* b) {
    FloatArray y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = factor + i * n;
        y[i] = (b[i] - dot(row, y.data(), i)) / row[i];
    }
    return y;
}

}  // namespace zorv::transport
