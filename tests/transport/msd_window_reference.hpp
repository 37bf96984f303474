// The window search written the plain way: every window's sums formed from
// its first point, one start at a time. The fast search must match it bit
// for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "transport/msd_window_search.hpp"

namespace zorv::transport::reference {

inline std::uint64_t to_count(double v) {
    if (std::isnan(v) || v <= 0.0) return 0;
    if (v > 1.844674407370955e19) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(v);
}

inline double window_slope(const FloatArray& x, const FloatArray& y, std::uint64_t k,
                           std::uint64_t w) {
    double sx = -0.0, sy = -0.0, sxy = -0.0, sxx = -0.0;
    for (std::uint64_t i = k; i < k + w; ++i) {
        sx += x[i];
        sy += y[i];
        sxy += x[i] * y[i];
        sxx += x[i] * x[i];
    }
    const double big_w = static_cast<double>(w);
    const double num = big_w * sxy - sx * sy;
    const double den = big_w * sxx - sx * sx;
    return den == 0.0 ? std::numeric_limits<double>::quiet_NaN() : num / den;
}

inline MsdWindow best_from_start(const LogCurve& c, const WindowSettings& s, std::uint64_t k,
                                 std::uint64_t end) {
    const std::uint64_t n = c.time.size();
    MsdWindow best{k, 0, 0.0};
    if (k + 1 < n && std::fabs(c.time[k] - c.time[k + 1]) <
                         2.220446049250313e-16 * std::fmax(std::fabs(c.time[k]), 1.0)) {
        return best;
    }
    const double lo = 1.0 - s.max_error, hi = s.max_error + 1.0;
    const std::uint64_t wlimit = std::min(end - k, s.max_window);
    for (std::uint64_t w = s.min_window; w < wlimit && w <= n - k; ++w) {
        const double slope = window_slope(c.log_time, c.log_msd, k, w);
        if (!std::isfinite(slope) || !(lo < slope && slope < hi)) continue;
        const double distance = std::fabs(slope - 1.0);
        if (best.length == 0 || distance < best.distance) best = {k, w, distance};
    }
    return best;
}

inline std::vector<MsdWindow> best_window_per_start(const LogCurve& c, const WindowSettings& s) {
    const std::uint64_t n = c.time.size();
    const double count = static_cast<double>(n);
    const std::uint64_t s0 = to_count(s.margin * count);
    const std::uint64_t e0 = to_count((1.0 - s.margin) * count);
    const std::uint64_t end = s.min_window > e0 ? 0 : e0 - s.min_window;
    std::vector<MsdWindow> out;
    for (std::uint64_t k = s0; k < end && k < n; ++k) out.push_back(best_from_start(c, s, k, end));
    return out;
}

}  // namespace zorv::transport::reference
