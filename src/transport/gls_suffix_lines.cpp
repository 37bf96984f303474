#include "transport/gls_suffix_lines.hpp"

#include <iterator>

#include "transport/cholesky_whitening.hpp"

namespace zorv::transport {

FloatArray suffix_lines(const WhitenedRows& rows, const double* values) {
    const std::size_t n = rows.n;
    const FloatArray reversed(std::make_reverse_iterator(values + n), std::make_reverse_iterator(values));
    const FloatArray white = forward_substitution(rows.factor, n, reversed.data());
    FloatArray lines(2 * n);
    double moment0 = -0.0;
    double moment1 = -0.0;
    for (std::size_t k = 0; k < n; ++k) {
        moment0 += rows.design[2 * k] * white[k];
        moment1 += rows.design[2 * k + 1] * white[k];
        const std::size_t start = n - 1 - k;
        const double* cov = rows.suffix_cov + 4 * start;
        lines[2 * start] = cov[0] * moment0 + cov[1] * moment1;
        lines[2 * start + 1] = cov[2] * moment0 + cov[3] * moment1;
    }
    return lines;
}

}  // namespace zorv::transport
