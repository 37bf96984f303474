// Running sums of one log-log window and the test each window undergoes.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "transport/msd_window_search.hpp"

namespace zorv::transport::detail {

// Per-point terms of the sums: X, Y and the rounded products X*Y and X*X.
// The products are formed once; a window adds exactly these values.
struct PointTerms {
    const double* x;
    const double* y;
    const double* xy;
    const double* xx;
};

// Sums over a window, left to right from its first point, starting at -0.0.
struct WindowSums {
    double sx = -0.0;
    double sy = -0.0;
    double sxy = -0.0;
    double sxx = -0.0;

    void add(const PointTerms& p, std::uint64_t i) {
        sx += p.x[i];
        sy += p.y[i];
        sxy += p.xy[i];
        sxx += p.xx[i];
    }
};

// Starts run over [first, stop); `end` bounds every window's far end.
struct SearchBounds {
    std::uint64_t first;
    std::uint64_t stop;
    std::uint64_t end;
};

SearchBounds search_bounds(std::uint64_t n, double margin, std::uint64_t min_window);

// Exclusive bound on the lengths start k may use: k + w < end, w <
// max_window and k + w <= n.
inline std::uint64_t length_limit(const SearchBounds& bounds, std::uint64_t max_window, std::uint64_t n,
                                  std::uint64_t k) {
    return std::min({bounds.end - k, max_window, n - k + 1});
}

// Whether the time after k repeats time k (order-n block boundaries): the
// search skips such a start.
bool repeated_time(const FloatArray& t, std::uint64_t k);

// Open interval (lo, hi) a window's slope must fall in.
struct SlopeBand {
    double lo;
    double hi;
};

inline double window_slope(const WindowSums& s, double length) {
    const double num = length * s.sxy - s.sx * s.sy;
    const double den = length * s.sxx - s.sx * s.sx;
    if (den == 0.0) return std::numeric_limits<double>::quiet_NaN();
    return num / den;
}

// Makes window (start, length) the best when it qualifies and is strictly
// closer to 1 than the best so far; a best of length 0 counts as none.
inline void consider_window(double slope, std::uint64_t length, SlopeBand band,
                            MsdWindow& best) {
    if (!std::isfinite(slope)) return;
    if (!(band.lo < slope && slope < band.hi)) return;
    const double distance = std::fabs(slope - 1.0);
    if (best.length == 0 || distance < best.distance) {
        best.length = length;
        best.distance = distance;
    }
}

}  // namespace zorv::transport::detail
