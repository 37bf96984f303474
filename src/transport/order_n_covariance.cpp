#include "transport/order_n_covariance.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zorv::transport {
namespace {

// Floor division; r > 0.
std::int64_t floor_div(std::int64_t x, std::int64_t r) {
    const std::int64_t q = x / r;
    return (x % r != 0 && x < 0) ? q - 1 : q;
}

double square_sum(double y) { return y * (y + 1.0) * (2.0 * y + 1.0) / 6.0; }

// Σ (2y³ + 3y² + y)/6 over y = y0 + step·t, t = 0..n-1.
double cubic_sum(double y0, double step, double n) {
    const double s1 = n * (n - 1.0) / 2.0;
    const double s2 = (n - 1.0) * n * (2.0 * n - 1.0) / 6.0;
    const double s3 = s1 * s1;
    const double p1 = n * y0 + step * s1;
    const double p2 = n * (y0 * y0) + 2.0 * y0 * step * s1 + (step * step) * s2;
    const double p3 = n * (y0 * y0 * y0) + 3.0 * (y0 * y0) * step * s1 + 3.0 * y0 * (step * step) * s2 +
                      (step * step * step) * s3;
    return (2.0 * p3 + 3.0 * p2 + p1) / 6.0;
}

// First j and count of j in 0..mb-1 with xa <= j·r + e <= xb.
struct Span {
    std::int64_t first;
    double count;
};

Span span(std::int64_t xa, std::int64_t xb, std::int64_t e, std::int64_t r, std::int64_t mb) {
    const std::int64_t first = std::max<std::int64_t>(0, -floor_div(e - xa, r));
    const std::int64_t last = std::min(mb - 1, floor_div(xb - e, r));
    return {first, static_cast<double>(std::max<std::int64_t>(0, last - first + 1))};
}

// Σ_{j=0}^{mb-1} H(j·r + e), H(x) = Σ_{u<=x} φ(u)², φ(u) = max(0, min(a, u + b) − max(0, u)).
double sum_running(std::int64_t e, std::int64_t r, std::int64_t mb, std::int64_t a, std::int64_t b) {
    const std::int64_t lo = -b;
    const std::int64_t hi = a;
    const std::int64_t m1 = std::min<std::int64_t>(0, a - b);
    const std::int64_t m2 = std::max<std::int64_t>(0, a - b);
    const double c = static_cast<double>(std::min(a, b));
    const double total = square_sum(c) + static_cast<double>(m2 - m1) * (c * c) + square_sum(c - 1.0);
    const double rf = static_cast<double>(r);
    Span s = span(lo, m1, e, r, mb);  // rising edge
    double result = cubic_sum(static_cast<double>(s.first * r + e - lo), rf, s.count);
    s = span(m1 + 1, m2, e, r, mb);  // plateau
    const double y0 = static_cast<double>(s.first * r + e - m1);
    result += s.count * square_sum(c) + (c * c) * (s.count * y0 + rf * s.count * (s.count - 1.0) / 2.0);
    s = span(m2 + 1, hi, e, r, mb);  // falling edge
    result += s.count * total - cubic_sum(static_cast<double>(hi - (s.first * r + e) - 1), -rf, s.count);
    s = span(hi + 1, std::numeric_limits<std::int64_t>::max() / 4, e, r, mb);  // past the support
    return result + s.count * total;
}

std::int64_t power(std::int64_t base, std::int64_t exponent) {
    std::int64_t value = 1;
    for (std::int64_t k = 0; k < exponent; ++k) value *= base;
    return value;
}

// Cov(row a, row b) with a the row of the finer (or the same) block.
double pair_covariance(const OrderNRow& a, const OrderNRow& b, std::int64_t nbe, double interval) {
    const std::int64_t r = power(nbe, b.block - a.block);
    const std::int64_t span_b = b.element * r;
    const double sums = sum_running(0, r, b.origins, a.element, span_b) -
                        sum_running(-a.origins, r, b.origins, a.element, span_b);
    const double stride = interval * std::pow(static_cast<double>(nbe), static_cast<double>(a.block));
    return 2.0 * sums * (stride * stride) / (static_cast<double>(a.origins) * static_cast<double>(b.origins));
}

}  // namespace

FloatArray order_n_covariance(const std::vector<OrderNRow>& rows, std::int64_t nbe, double interval) {
    const std::size_t n = rows.size();
    FloatArray cov(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i; j < n; ++j) {
            const OrderNRow& p = rows[i];
            const OrderNRow& q = rows[j];
            // Rows of two blocks are taken finer first either way: one orientation.
            const double ij = p.block <= q.block ? pair_covariance(p, q, nbe, interval)
                                                 : pair_covariance(q, p, nbe, interval);
            const double ji = p.block != q.block ? ij : pair_covariance(q, p, nbe, interval);
            cov[i * n + j] = cov[j * n + i] = 0.5 * (ij + ji);
        }
    }
    return cov;
}

}  // namespace zorv::transport
