#include "transport/shell_vertex.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorv::transport {
namespace {

constexpr int kMaxTerms = 5;

// Real roots of a0 + a1 x + a2 x² within (lo, hi), ascending; at most two.
int quadratic_roots_inside(double a0, double a1, double a2, double lo, double hi, double* roots) {
    int count = 0;
    const auto keep = [&](double r) {
        if (r > lo && r < hi) roots[count++] = r;
    };
    if (a2 == 0.0) {
        if (a1 != 0.0) keep(-a0 / a1);
        return count;
    }
    const double disc = a1 * a1 - 4.0 * a2 * a0;
    if (disc < 0.0) return 0;
    // The root away from cancellation first, its partner from the product of the roots.
    const double q = -0.5 * (a1 + std::copysign(std::sqrt(disc), a1));
    double r1 = q / a2;
    double r2 = q != 0.0 ? a0 / q : r1;
    if (r1 > r2) std::swap(r1, r2);
    keep(r1);
    if (r2 != r1) keep(r2);
    return count;
}

// The zero of f, monotonic on [a, b] with f(a) >= 0 > f(b), to the last bit.
double falling_zero(const SmallPolynomial& f, double a, double b) {
    for (int step = 0; step < 200; ++step) {
        const double middle = a + (b - a) / 2.0;
        if (middle <= a || middle >= b) break;
        (polynomial_value(f, middle) >= 0.0 ? a : b) = middle;
    }
    const double at_a = polynomial_value(f, a);
    return at_a == 0.0 || std::fabs(at_a) <= std::fabs(polynomial_value(f, b)) ? a : b;
}

}  // namespace

bool least_squares_polynomial(const double* x, const double* y, std::size_t n, int degree, SmallPolynomial& out) {
    const auto terms = static_cast<std::size_t>(degree + 1);
    if (degree < 0 || degree >= kMaxTerms || n < terms) return false;
    // Column-major n × terms matrix of powers, each column scaled to unit norm.
    std::vector<double> a(n * terms);
    std::array<double, kMaxTerms> scale{};
    for (std::size_t i = 0; i < n; ++i) {
        double power = 1.0;
        for (std::size_t j = 0; j < terms; ++j) {
            a[j * n + i] = power;
            power = power * x[i];
        }
    }
    for (std::size_t j = 0; j < terms; ++j) {
        double squares = -0.0;
        for (std::size_t i = 0; i < n; ++i) squares += a[j * n + i] * a[j * n + i];
        scale[j] = squares > 0.0 ? std::sqrt(squares) : 1.0;
        for (std::size_t i = 0; i < n; ++i) a[j * n + i] = a[j * n + i] / scale[j];
    }
    std::vector<double> b(y, y + n);
    // Householder QR: column k's reflection zeroes it below the diagonal and is applied to the rest and to b.
    for (std::size_t k = 0; k < terms; ++k) {
        double* col = &a[k * n];
        double norm = -0.0;
        for (std::size_t i = k; i < n; ++i) norm += col[i] * col[i];
        norm = std::sqrt(norm);
        if (!(norm > 0.0) || !std::isfinite(norm)) return false;
        const double alpha = col[k] > 0.0 ? -norm : norm;
        col[k] = col[k] - alpha;
        double vv = -0.0;
        for (std::size_t i = k; i < n; ++i) vv += col[i] * col[i];
        const auto reflect = [&](double* v) {
            double dot = -0.0;
            for (std::size_t i = k; i < n; ++i) dot += col[i] * v[i];
            const double factor = 2.0 * dot / vv;
            for (std::size_t i = k; i < n; ++i) v[i] = v[i] - factor * col[i];
        };
        for (std::size_t j = k + 1; j < terms; ++j) reflect(&a[j * n]);
        reflect(b.data());
        col[k] = alpha;  // R's diagonal; R's upper part sits above it in the later columns
        if (std::fabs(alpha) <= 1e-13) return false;  // the columns are unit norm: a pivot this small is rank lost
    }
    out.degree = degree;
    out.c.fill(0.0);
    for (std::size_t k = terms; k-- > 0;) {
        double rest = b[k];
        for (std::size_t j = k + 1; j < terms; ++j) rest = rest - a[j * n + k] * out.c[j];
        out.c[k] = rest / a[k * n + k];
    }
    for (std::size_t j = 0; j < terms; ++j) out.c[j] = out.c[j] / scale[j];
    return true;
}

double polynomial_value(const SmallPolynomial& p, double x) noexcept {
    double value = p.c[static_cast<std::size_t>(p.degree)];
    for (int j = p.degree - 1; j >= 0; --j) value = p.c[static_cast<std::size_t>(j)] + value * x;
    return value;
}

SmallPolynomial derivative(const SmallPolynomial& p) noexcept {
    SmallPolynomial d;
    d.degree = std::max(p.degree - 1, 0);
    for (std::size_t j = 1; j <= static_cast<std::size_t>(p.degree); ++j) d.c[j - 1] = static_cast<double>(j) * p.c[j];
    return d;
}

ShellVertex shell_vertex(const double* x, const double* y, std::size_t n, int degree, double sign) {
    ShellVertex out;
    SmallPolynomial fit;
    if (n == 0 || !least_squares_polynomial(x, y, n, degree, fit)) return out;
    out.fitted = true;
    const auto [low, high] = std::minmax_element(x, x + n);
    // s = sign · p' falls through zero where p has an extremum of the wanted kind; between the zeros of
    // s' it is monotonic, so each piece holds at most one such crossing.
    SmallPolynomial s = derivative(fit);
    for (double& c : s.c) c = sign * c;
    const SmallPolynomial bend = derivative(s);
    double cuts[4] = {*low, 0.0, 0.0, 0.0};
    const int inner = quadratic_roots_inside(bend.c[0], bend.c[1], bend.c[2], *low, *high, cuts + 1);
    cuts[inner + 1] = *high;
    double best = std::nan("");
    for (int k = 0; k <= inner; ++k) {
        const double a = cuts[k];
        const double b = cuts[k + 1];
        if (!(polynomial_value(s, a) >= 0.0 && polynomial_value(s, b) < 0.0)) continue;
        const double zero = falling_zero(s, a, b);
        if (!(polynomial_value(bend, zero) < 0.0)) continue;
        if (std::isnan(best) || std::fabs(zero) < std::fabs(best)) best = zero;
    }
    out.found = !std::isnan(best);
    out.offset = out.found ? best : 0.0;
    out.value = polynomial_value(fit, out.offset);
    return out;
}

}  // namespace zorv::transport
