// A peak or minimum of a radial distribution function placed between the
// grid points it was found on: the vertex of a least-squares polynomial
// through the curve's own values near it.
#pragma once

#include <cstddef>

namespace zorv::transport {

struct ShellExtremum {
    double centre = 0.0;  // the grid point the search found it at
    bool fitted = false;  // false: the points near it do not determine the polynomial; at and value unset
    double at = 0.0;      // the vertex, or centre when the polynomial has no extremum of the kind there
    double value = 0.0;   // the polynomial at `at`
};

// The points (r strictly increasing, n >= 3) within half of centre: a
// quartic, which follows a peak's asymmetry, where seven or more lie there,
// else a parabola through at least the three nearest. sign +1 fits a maximum,
// -1 a minimum (see shell_vertex).
ShellExtremum shell_extremum(const double* r, const double* g, std::size_t n, double centre, double half,
                             double sign);

}  // namespace zorv::transport
