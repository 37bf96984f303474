// The vertex of a radial distribution function's peak or minimum: the
// extremum of a least-squares polynomial through the points near it.
#pragma once

#include <array>
#include <cstddef>

namespace zorv::transport {

// Coefficients, lowest power first, of a polynomial of degree 4 at most.
struct SmallPolynomial {
    std::array<double, 5> c{};
    int degree = 0;
};

// The least-squares polynomial of degree (at most 4) through (x, y): columns
// of powers scaled to unit norm, solved by Householder QR. Fails (false) when
// a pivot vanishes: fewer distinct points than coefficients, or degree > 4.
bool least_squares_polynomial(const double* x, const double* y, std::size_t n, int degree, SmallPolynomial& out);

// Horner's rule.
double polynomial_value(const SmallPolynomial& p, double x) noexcept;

// The coefficient-wise derivative.
SmallPolynomial derivative(const SmallPolynomial& p) noexcept;

struct ShellVertex {
    bool fitted = false;   // false: no fit (see least_squares_polynomial); the rest is unset
    bool found = false;    // an extremum of the right kind lies within [min x, max x]
    double offset = 0.0;   // its position, 0 when none was found
    double value = 0.0;    // the polynomial there
};

// The extremum nearest 0 of the least-squares polynomial of degree through
// (x, y) among those in [min x, max x] where sign · p'' < 0 (sign +1: a
// maximum, -1: a minimum); without one, the polynomial's value at 0.
ShellVertex shell_vertex(const double* x, const double* y, std::size_t n, int degree, double sign);

}  // namespace zorv::transport
