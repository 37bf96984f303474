// Window search of the MSD fit on a 20,000-point curve (min_window 10,
// max_window 5000, margin 0.05): ns per window visited against the 2 ns
// target, and against the peer "scalar incremental search" (one start at a
// time, each window's four sums grown by one point per length, the plain
// loop the lane-parallel search replaces), run on the same curve.
//
// Build and run (from the project root, after building the core):
//   c++ -O2 -std=c++20 -ffp-contract=off -Isrc bench/msd_window_search_bench.cpp \
//       build/host-core/libzorv_core.a -o build/msd_window_search_bench
//   build/msd_window_search_bench
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>

#include "transport/msd_window_search.hpp"

using zorv::FloatArray;
using namespace zorv::transport;

namespace {

struct Curve {
    FloatArray time, log_time, log_msd;
};

// Ballistic at short times, diffusive later, noisy at the end.
Curve make_curve(std::size_t n) {
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 1.0);
    Curve c;
    for (std::size_t i = 1; i <= n; ++i) {
        const double t = 1e-3 * static_cast<double>(i);
        const double diffusive = 6.0 * (t + 0.05 * std::expm1(-t / 0.05));
        const double spread = 0.002 + 0.05 * static_cast<double>(i) / static_cast<double>(n);
        const double m = diffusive * (1.0 + spread * noise(rng));
        c.time.push_back(t);
        c.log_time.push_back(std::log10(t));
        c.log_msd.push_back(std::log10(std::fabs(m)));
    }
    return c;
}

// The peer: same rules, one start at a time, sums grown point by point.
std::optional<MsdWindow> scalar_search(const Curve& c, const WindowSettings& s) {
    const std::uint64_t n = c.time.size();
    const double count = static_cast<double>(n);
    const std::uint64_t s0 = saturating_count(s.margin * count);
    const std::uint64_t e0 = saturating_count((1.0 - s.margin) * count);
    const std::uint64_t end = s.min_window > e0 ? 0 : e0 - s.min_window;
    const double lo = 1.0 - s.max_error, hi = s.max_error + 1.0;
    std::optional<MsdWindow> best;
    for (std::uint64_t k = s0; k < end && k < n; ++k) {
        if (k + 1 < n && std::fabs(c.time[k] - c.time[k + 1]) <
                             2.220446049250313e-16 * std::fmax(std::fabs(c.time[k]), 1.0)) {
            continue;
        }
        const std::uint64_t wlimit = std::min(end - k, s.max_window);
        double sx = -0.0, sy = -0.0, sxy = -0.0, sxx = -0.0;
        for (std::uint64_t i = k; i < k + s.min_window && i < n; ++i) {
            sx += c.log_time[i];
            sy += c.log_msd[i];
            sxy += c.log_time[i] * c.log_msd[i];
            sxx += c.log_time[i] * c.log_time[i];
        }
        for (std::uint64_t w = s.min_window; w < wlimit && w <= n - k; ++w) {
            if (w > s.min_window) {
                const std::uint64_t i = k + w - 1;
                sx += c.log_time[i];
                sy += c.log_msd[i];
                sxy += c.log_time[i] * c.log_msd[i];
                sxx += c.log_time[i] * c.log_time[i];
            }
            const double big_w = static_cast<double>(w);
            const double den = big_w * sxx - sx * sx;
            const double slope = den == 0.0 ? std::numeric_limits<double>::quiet_NaN()
                                            : (big_w * sxy - sx * sy) / den;
            if (!std::isfinite(slope) || !(lo < slope && slope < hi)) continue;
            const double distance = std::fabs(slope - 1.0);
            if (!best || distance < best->distance) best = MsdWindow{k, w, distance};
        }
    }
    return best;
}

std::uint64_t windows_visited(std::uint64_t n, const WindowSettings& s) {
    const double count = static_cast<double>(n);
    const std::uint64_t s0 = saturating_count(s.margin * count);
    const std::uint64_t e0 = saturating_count((1.0 - s.margin) * count);
    const std::uint64_t end = s.min_window > e0 ? 0 : e0 - s.min_window;
    std::uint64_t total = 0;
    for (std::uint64_t k = s0; k < end && k < n; ++k) {
        const std::uint64_t limit = std::min({end - k, s.max_window, n - k + 1});
        if (limit > s.min_window) total += limit - s.min_window;
    }
    return total;
}

template <class F>
double best_seconds(F&& run, int repeats) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main() {
    const Curve curve = make_curve(20000);
    const LogCurve view{curve.time, curve.log_time, curve.log_msd};
    const WindowSettings settings{0.05, 10, 5000, 0.5};
    const double windows = static_cast<double>(windows_visited(curve.time.size(), settings));

    std::optional<MsdWindow> fast, peer;
    const double fast_s = best_seconds([&] { fast = find_msd_window(view, settings); }, 5);
    const double peer_s = best_seconds([&] { peer = scalar_search(curve, settings); }, 2);
    const bool same = fast && peer && fast->start == peer->start && fast->length == peer->length;

    std::printf("windows visited:           %.0f\n", windows);
    std::printf("lane-parallel search:      %.3f s, %.3f ns/window (target <= 2 ns): %s\n", fast_s,
                fast_s / windows * 1e9, fast_s / windows * 1e9 <= 2.0 ? "met" : "MISSED");
    std::printf("peer scalar incremental:   %.3f s, %.3f ns/window\n", peer_s,
                peer_s / windows * 1e9);
    std::printf("speed-up over the peer:    %.2fx\n", peer_s / fast_s);
    std::printf("same window chosen:        %s (start %llu, length %llu)\n", same ? "yes" : "NO",
                fast ? static_cast<unsigned long long>(fast->start) : 0ULL,
                fast ? static_cast<unsigned long long>(fast->length) : 0ULL);
    const double ns = fast_s / windows * 1e9;
    std::printf("bench-row {\"function\": \"window search (core)\", \"workload\": \"20,000 points, %.0f windows\", "
                "\"time\": \"%.3f s (%.2f ns/window)\", \"peer\": \"scalar incremental loop %.3f s\", "
                "\"ratio\": \"%.1fx\", \"target\": \"<= 2 ns/window\", \"verdict\": \"%s\"}\n",
                windows, fast_s, ns, peer_s, peer_s / fast_s, ns <= 2.0 && same ? "pass" : "fall short");
    return same ? 0 : 1;
}
