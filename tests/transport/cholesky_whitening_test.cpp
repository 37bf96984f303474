#include "transport/cholesky_whitening.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

namespace zorv::transport {
namespace {

// A covariance whose rows are far from independent: an order-n-like
// min(i, j) + 1 kernel, scaled so the diagonal spans decades.
FloatArray kernel(std::size_t n) {
    FloatArray a(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            a[i * n + j] = static_cast<double>(std::min(i, j) + 1) * std::pow(1.5, static_cast<double>(i + j) / 2.0);
        }
    }
    return a;
}

TEST(ReversedCholesky, FactorsTheCovarianceOfTheRowsLastToFirst) {
    for (const std::size_t n : {1u, 2u, 7u, 33u, 70u}) {  // across the tile edge of 32 rows
        const FloatArray a = kernel(n);
        const Result<FloatArray> factor = reversed_cholesky(a.data(), n, 0.0);
        ASSERT_TRUE(factor.ok());
        const FloatArray& l = factor.value();
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                double product = 0.0;
                for (std::size_t k = 0; k < n; ++k) product += l[i * n + k] * l[j * n + k];
                const double expected = a[(n - 1 - i) * n + (n - 1 - j)];
                EXPECT_NEAR(product, expected, 1e-10 * std::fabs(expected)) << n << " " << i << " " << j;
                if (j > i) EXPECT_EQ(l[i * n + j], 0.0);
            }
        }
    }
}

TEST(ReversedCholesky, JitterLandsOnTheCorrelationDiagonal) {
    const FloatArray a = {4.0, 0.0, 0.0, 9.0};
    const FloatArray l = reversed_cholesky(a.data(), 2, 0.21).value();
    EXPECT_DOUBLE_EQ(l[0], 3.0 * 1.1);  // sqrt(9 · 1.21)
    EXPECT_DOUBLE_EQ(l[3], 2.0 * 1.1);
}

TEST(ReversedCholesky, RefusesWhatIsNotPositiveDefinite) {
    const FloatArray a = {1.0, 2.0, 2.0, 1.0};
    const Result<FloatArray> factor = reversed_cholesky(a.data(), 2, 0.0);
    ASSERT_FALSE(factor.ok());
    EXPECT_EQ(factor.error().message, "the covariance is not positive definite");
    const FloatArray nan = {std::nan(""), 0.0, 0.0, 1.0};
    EXPECT_FALSE(reversed_cholesky(nan.data(), 2, 0.0).ok());
}

TEST(ForwardSubstitution, SolvesTheLowerTriangle) {
    const std::size_t n = 40;
    const FloatArray a = kernel(n);
    const FloatArray l = reversed_cholesky(a.data(), n, 0.0).value();
    FloatArray x(n), b(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) x[i] = std::sin(static_cast<double>(i));
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k <= i; ++k) b[i] += l[i * n + k] * x[k];
    }
    const FloatArray y = forward_substitution(l.data(), n, b.data());
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(y[i], x[i], 1e-8) << i;
}

}  // namespace
}  // namespace zorv::transport
