#include "transport/msd_window_lanes.hpp"

#include <cmath>
#include <cstring>
#include <limits>

// Every function passing lane vectors by value is internal to this file, so
// their calling convention never crosses a boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace zorv::transport::detail {
namespace {

using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));
using LaneLengths = std::int64_t __attribute__((vector_size(kLanes * sizeof(std::int64_t))));

Lanes splat(double value) {
    Lanes v;
    for (std::uint64_t j = 0; j < kLanes; ++j) v[j] = value;
    return v;
}

// Lane j gets point start + j.
Lanes load(const double* column, std::uint64_t start) {
    Lanes v;
    std::memcpy(&v, column + start, sizeof v);
    return v;
}

struct LaneSums {
    Lanes sx = splat(-0.0);
    Lanes sy = splat(-0.0);
    Lanes sxy = splat(-0.0);
    Lanes sxx = splat(-0.0);

    void add(const PointTerms& p, std::uint64_t start) {
        sx += load(p.x, start);
        sy += load(p.y, start);
        sxy += load(p.xy, start);
        sxx += load(p.xx, start);
    }
};

struct LaneBest {
    Lanes distance = splat(std::numeric_limits<double>::infinity());
    LaneLengths length = LaneLengths{};
};

// The scalar test of every lane at once. A division by a zero den gives an
// infinity or NaN, which the strict band test rejects just as it rejects the
// NaN the scalar path substitutes. No qualifying distance reaches +inf, so
// the initial distance stands for "no best yet".
void consider_lanes(const LaneSums& s, std::uint64_t length, double length_value,
                    const Lanes& lo, const Lanes& hi, LaneBest& best) {
    const Lanes w = splat(length_value);
    const Lanes num = w * s.sxy - s.sx * s.sy;
    const Lanes den = w * s.sxx - s.sx * s.sx;
    const Lanes slope = num / den;
    const Lanes offset = slope - 1.0;
    const Lanes distance = offset < 0.0 ? -offset : offset;
    const auto take = (lo < slope) & (slope < hi) & (distance < best.distance);
    best.distance = take ? distance : best.distance;
    best.length = take ? LaneLengths{} + static_cast<std::int64_t>(length) : best.length;
}

}  // namespace

void scan_lanes(const PointTerms& terms, std::uint64_t k0, std::uint64_t min_window,
                std::uint64_t common, SlopeBand band, MsdWindow best[kLanes],
                WindowSums sums[kLanes]) {
    LaneSums s;
    for (std::uint64_t i = 0; i < min_window; ++i) s.add(terms, k0 + i);
    LaneBest lane_best;
    const Lanes lo = splat(band.lo);
    const Lanes hi = splat(band.hi);
    // Lengths stay far below 2^53, so counting in a double is exact.
    double length_value = static_cast<double>(min_window);
    for (std::uint64_t w = min_window;;) {
        consider_lanes(s, w, length_value, lo, hi, lane_best);
        if (++w == common) break;
        s.add(terms, k0 + w - 1);
        length_value += 1.0;
    }
    for (std::uint64_t j = 0; j < kLanes; ++j) {
        const auto length = static_cast<std::uint64_t>(lane_best.length[j]);
        // fabs gives a zero distance the sign the lone-start path gives it.
        best[j] = {k0 + j, length, length == 0 ? 0.0 : std::fabs(lane_best.distance[j])};
        sums[j] = {s.sx[j], s.sy[j], s.sxy[j], s.sxx[j]};
    }
}

}  // namespace zorv::transport::detail
