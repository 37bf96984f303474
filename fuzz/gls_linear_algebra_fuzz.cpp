// Fuzz target of the GLS fits' native linear algebra: order-n rows decoded
// from the input give a finite symmetric covariance; a matrix decoded from
// the input, made positive definite, is factored so that L Lᵀ gives it back
// in reversed order, and forward substitution undoes L. Any matrix at all
// is either factored or refused, never a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_bytes.hpp"
#include "fuzz_support.hpp"
#include "transport/cholesky_whitening.hpp"
#include "transport/order_n_covariance.hpp"

namespace {

using namespace zorv;
using namespace zorv::transport;
using fuzz::require;

void check_covariance(fuzz::FuzzBytes& in) {
    const std::int64_t nbe = 2 + in.next_byte() % 9;
    const std::size_t n = in.next_byte() % 24;
    std::vector<OrderNRow> rows(n);
    for (OrderNRow& row : rows) {
        row.block = in.next_byte() % 4;
        row.element = 1 + in.next_byte() % nbe;
        row.origins = 1 + in.next_byte() % 40;
    }
    const FloatArray cov = order_n_covariance(rows, nbe, 0.5);
    for (std::size_t i = 0; i < n; ++i) {
        require(cov[i * n + i] > 0.0, "a positive variance");
        for (std::size_t j = 0; j < n; ++j) {
            require(std::isfinite(cov[i * n + j]), "a finite covariance");
            require(cov[i * n + j] == cov[j * n + i], "a symmetric covariance");
        }
    }
}

void check_factor(fuzz::FuzzBytes& in) {
    const std::size_t n = 1 + in.next_byte() % 40;
    FloatArray b(n * n);
    for (double& v : b) v = static_cast<double>(static_cast<std::int8_t>(in.next_byte())) / 16.0;
    FloatArray a(n * n, 0.0);  // B Bᵀ + n I: well conditioned
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t k = 0; k < n; ++k) a[i * n + j] += b[i * n + k] * b[j * n + k];
        }
        a[i * n + i] += static_cast<double>(n);
    }
    const Result<FloatArray> factor = reversed_cholesky(a.data(), n, 0.0);
    require(factor.ok(), "a positive definite matrix is factored");
    const FloatArray& l = factor.value();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            double product = 0.0;
            for (std::size_t k = 0; k <= j; ++k) product += l[i * n + k] * l[j * n + k];
            const double expected = a[(n - 1 - i) * n + (n - 1 - j)];
            require(std::fabs(product - expected) <= 1e-9 * (1.0 + std::fabs(a[(n - 1 - i) * (n + 1)])),
                    "L Lᵀ is the reversed matrix");
        }
    }
    FloatArray x(n), rhs(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<double>(i % 7) - 3.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k <= i; ++k) rhs[i] += l[i * n + k] * x[k];
    }
    const FloatArray y = forward_substitution(l.data(), n, rhs.data());
    for (std::size_t i = 0; i < n; ++i) require(std::fabs(y[i] - x[i]) <= 1e-6, "forward substitution undoes L");
}

void check_any_matrix(fuzz::FuzzBytes& in) {
    const std::size_t n = 1 + in.next_byte() % 12;
    FloatArray a(n * n);
    for (double& v : a) v = in.next_double();
    const Result<FloatArray> factor = reversed_cholesky(a.data(), n, 1e-12);
    if (factor.ok()) {
        for (std::size_t i = 0; i < n; ++i) require(factor.value()[i * n + i] > 0.0 || std::isnan(factor.value()[i * n + i]), "a positive pivot");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzBytes in(data, size);
    switch (in.next_byte() % 3) {
        case 0: check_covariance(in); break;
        case 1: check_factor(in); break;
        default: check_any_matrix(in); break;
    }
    return 0;
}
