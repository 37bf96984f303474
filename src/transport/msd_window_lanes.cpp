#include "transport/msd_window_lanes.hpp"

#include <cmath>
#include <cstring>
#include <limits>

// Every function passing lane vectors by value is internal to this file, so
// their calling convention never crosses a boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace zorv::transport::detail {
namespace {

// Lanes come in groups of the machine's vector width; several groups in
// flight hide the latency of each sum's chain of additions.
using Doubles2 = double __attribute__((vector_size(16)));
using Lengths2 = std::int64_t __attribute__((vector_size(16)));
using Doubles4 = double __attribute__((vector_size(32)));
using Lengths4 = std::int64_t __attribute__((vector_size(32)));

#define ZORV_INLINE inline __attribute__((always_inline))

template <class V>
ZORV_INLINE V splat(double value) {
    V v;
    for (std::size_t j = 0; j < sizeof(V) / sizeof(double); ++j) v[j] = value;
    return v;
}

template <class V>
ZORV_INLINE V load(const double* column, std::uint64_t start) {
    V v;
    std::memcpy(&v, column + start, sizeof v);
    return v;
}

template <class V, class L>
struct LaneGroup {
    static constexpr std::uint64_t kWidth = sizeof(V) / sizeof(double);
    V sx = splat<V>(-0.0), sy = splat<V>(-0.0), sxy = splat<V>(-0.0), sxx = splat<V>(-0.0);
    V best_distance = splat<V>(std::numeric_limits<double>::infinity());
    L best_length = L{};

    ZORV_INLINE void add(const PointTerms& p, std::uint64_t start) {
        sx += load<V>(p.x, start);
        sy += load<V>(p.y, start);
        sxy += load<V>(p.xy, start);
        sxx += load<V>(p.xx, start);
    }

    // The scalar test of every lane at once. A division by a zero den gives
    // an infinity or NaN, which the strict band test rejects just as it
    // rejects the NaN the scalar path substitutes. No qualifying distance
    // reaches +inf, so the initial distance stands for "no best yet".
    ZORV_INLINE void consider(std::uint64_t length, V w, V lo, V hi) {
        const V num = w * sxy - sx * sy;
        const V den = w * sxx - sx * sx;
        const V slope = num / den;
        const V offset = slope - 1.0;
        const V distance = offset < 0.0 ? -offset : offset;
        const auto take = (lo < slope) & (slope < hi) & (distance < best_distance);
        best_distance = take ? distance : best_distance;
        best_length = take ? L{} + static_cast<std::int64_t>(length) : best_length;
    }

    ZORV_INLINE void store(std::uint64_t k0, MsdWindow* best, WindowSums* sums) const {
        for (std::uint64_t j = 0; j < kWidth; ++j) {
            const auto length = static_cast<std::uint64_t>(best_length[j]);
            // fabs gives a zero distance the sign the lone-start path gives.
            best[j] = {k0 + j, length, length == 0 ? 0.0 : std::fabs(best_distance[j])};
            sums[j] = {sx[j], sy[j], sxy[j], sxx[j]};
        }
    }
};

// Two groups side by side: more would not fit the vector registers.
template <class V, class L>
ZORV_INLINE void scan_groups(const PointTerms& terms, std::uint64_t k0, std::uint64_t min_window,
                             std::uint64_t common, SlopeBand band, MsdWindow* best,
                             WindowSums* sums) {
    using Group = LaneGroup<V, L>;
    constexpr std::uint64_t kGroups = 2;
    Group g[kGroups];
    for (std::uint64_t i = 0; i < min_window; ++i) {
        for (std::uint64_t j = 0; j < kGroups; ++j) g[j].add(terms, k0 + j * Group::kWidth + i);
    }
    const V lo = splat<V>(band.lo);
    const V hi = splat<V>(band.hi);
    // Lengths stay far below 2^53, so counting in a double is exact.
    V w = splat<V>(static_cast<double>(min_window));
    for (std::uint64_t length = min_window;;) {
        for (std::uint64_t j = 0; j < kGroups; ++j) g[j].consider(length, w, lo, hi);
        if (++length == common) break;
        for (std::uint64_t j = 0; j < kGroups; ++j) {
            g[j].add(terms, k0 + j * Group::kWidth + length - 1);
        }
        w += 1.0;
    }
    for (std::uint64_t j = 0; j < kGroups; ++j) {
        g[j].store(k0 + j * Group::kWidth, best + j * Group::kWidth, sums + j * Group::kWidth);
    }
}

using ScanFunction = void (*)(const PointTerms&, std::uint64_t, std::uint64_t, std::uint64_t,
                              SlopeBand, MsdWindow*, WindowSums*);

void scan_baseline(const PointTerms& terms, std::uint64_t k0, std::uint64_t min_window,
                   std::uint64_t common, SlopeBand band, MsdWindow* best, WindowSums* sums) {
    static_assert(kLanes == 8);
    // Every lane may use every length below common, so halves scan alike.
    scan_groups<Doubles2, Lengths2>(terms, k0, min_window, common, band, best, sums);
    scan_groups<Doubles2, Lengths2>(terms, k0 + 4, min_window, common, band, best + 4, sums + 4);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same operations on wider registers; no fused multiply-add is enabled.
__attribute__((target("avx2"))) void scan_avx2(const PointTerms& terms, std::uint64_t k0,
                                                std::uint64_t min_window, std::uint64_t common,
                                                SlopeBand band, MsdWindow* best,
                                                WindowSums* sums) {
    static_assert(kLanes == 8);
    scan_groups<Doubles4, Lengths4>(terms, k0, min_window, common, band, best, sums);
}
#endif

ScanFunction scan_function(LaneKernel kernel) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (kernel == LaneKernel::avx2) return scan_avx2;
#endif
    (void)kernel;
    return scan_baseline;
}

}  // namespace

std::vector<LaneKernel> available_lane_kernels() {
    std::vector<LaneKernel> kernels{LaneKernel::baseline};
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2")) kernels.push_back(LaneKernel::avx2);
#endif
    return kernels;
}

void scan_lanes_with(LaneKernel kernel, const PointTerms& terms, std::uint64_t k0,
                     std::uint64_t min_window, std::uint64_t common, SlopeBand band,
                     MsdWindow best[kLanes], WindowSums sums[kLanes]) {
    scan_function(kernel)(terms, k0, min_window, common, band, best, sums);
}

void scan_lanes(const PointTerms& terms, std::uint64_t k0, std::uint64_t min_window,
                std::uint64_t common, SlopeBand band, MsdWindow best[kLanes],
                WindowSums sums[kLanes]) {
    static const ScanFunction scan = scan_function(available_lane_kernels().back());
    scan(terms, k0, min_window, common, band, best, sums);
}

}  // namespace zorv::transport::detail
