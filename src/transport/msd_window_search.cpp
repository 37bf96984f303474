#include "transport/msd_window_search.hpp"

#include <algorithm>
#include <cmath>

#include "transport/msd_window_lanes.hpp"
#include "transport/msd_window_sums.hpp"

namespace zorv::transport {
namespace {

using detail::kLanes;
using detail::PointTerms;
using detail::SlopeBand;
using detail::WindowSums;
using detail::SearchBounds;
using detail::search_bounds;
using detail::repeated_time;

class StartScanner {
public:
    StartScanner(const LogCurve& curve, const WindowSettings& settings, SearchBounds bounds)
        : n_(curve.time.size()), settings_(settings), bounds_(bounds),
          band_{1.0 - settings.max_error, settings.max_error + 1.0},
          xy_(n_), xx_(n_) {
        for (std::uint64_t i = 0; i < n_; ++i) {
            xy_[i] = curve.log_time[i] * curve.log_msd[i];
            xx_[i] = curve.log_time[i] * curve.log_time[i];
        }
        terms_ = {curve.log_time.data(), curve.log_msd.data(), xy_.data(), xx_.data()};
    }

    std::uint64_t length_limit(std::uint64_t k) const {
        return detail::length_limit(bounds_, settings_.max_window, n_, k);
    }

    MsdWindow scan_start(std::uint64_t k) const {
        MsdWindow best{k, 0, 0.0};
        const std::uint64_t limit = length_limit(k);
        const std::uint64_t first = settings_.min_window;
        if (first >= limit) return best;
        WindowSums sums;
        for (std::uint64_t i = 0; i < first; ++i) sums.add(terms_, k + i);
        detail::consider_window(window_slope(sums, static_cast<double>(first)), first, band_, best);
        extend(sums, first + 1, limit, best);
        return best;
    }

    // Starts k0 .. k0 + kLanes - 1: side by side over the lengths all of
    // them may use, then each alone over the few lengths left to it.
    void scan_block(std::uint64_t k0, MsdWindow* out) const {
        const std::uint64_t common = length_limit(k0 + kLanes - 1);
        if (settings_.min_window >= common) {
            for (std::uint64_t j = 0; j < kLanes; ++j) out[j] = scan_start(k0 + j);
            return;
        }
        WindowSums sums[kLanes];
        detail::scan_lanes(terms_, k0, settings_.min_window, common, band_, out, sums);
        for (std::uint64_t j = 0; j < kLanes; ++j) {
            extend(sums[j], common, length_limit(k0 + j), out[j]);
        }
    }

private:
    // Grows best.start's window from length `from` - 1 and tests each length
    // in [from, to).
    void extend(WindowSums& sums, std::uint64_t from, std::uint64_t to, MsdWindow& best) const {
        double length_value = static_cast<double>(from);
        for (std::uint64_t w = from; w < to; ++w, length_value += 1.0) {
            sums.add(terms_, best.start + w - 1);
            detail::consider_window(window_slope(sums, length_value), w, band_, best);
        }
    }

    std::uint64_t n_;
    WindowSettings settings_;
    SearchBounds bounds_;
    SlopeBand band_;
    FloatArray xy_;
    FloatArray xx_;
    PointTerms terms_{};
};

}  // namespace

namespace detail {

SearchBounds search_bounds(std::uint64_t n, double margin, std::uint64_t min_window) {
    const double count = static_cast<double>(n);
    const std::uint64_t s0 = saturating_count(margin * count);
    const std::uint64_t e0 = saturating_count((1.0 - margin) * count);
    const std::uint64_t end = min_window > e0 ? 0 : e0 - min_window;
    // Starts at or past n hold no window; bounding by n keeps a huge end
    // (negative margin) from running the loop for up to 2^64 steps.
    return {s0, std::min(end, n), end};
}

bool repeated_time(const FloatArray& t, std::uint64_t k) {
    if (k + 1 >= t.size()) return false;
    const double scale = std::fmax(std::fabs(t[k]), 1.0);
    return std::fabs(t[k] - t[k + 1]) < 2.220446049250313e-16 * scale;
}

}  // namespace detail

std::uint64_t saturating_count(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 18446744073709551616.0) return UINT64_MAX;
    return static_cast<std::uint64_t>(value);
}

std::vector<MsdWindow> best_window_per_start(const LogCurve& curve,
                                             const WindowSettings& settings) {
    const SearchBounds bounds = search_bounds(curve.time.size(), settings.margin,
                                              settings.min_window);
    if (bounds.first >= bounds.stop) return {};
    const StartScanner scanner(curve, settings, bounds);
    std::vector<MsdWindow> best(bounds.stop - bounds.first);
    std::uint64_t k = bounds.first;
    for (; bounds.stop - k >= kLanes; k += kLanes) scanner.scan_block(k, &best[k - bounds.first]);
    for (; k < bounds.stop; ++k) best[k - bounds.first] = scanner.scan_start(k);
    for (MsdWindow& window : best) {
        if (repeated_time(curve.time, window.start)) window = {window.start, 0, 0.0};
    }
    return best;
}

std::optional<MsdWindow> find_msd_window(const LogCurve& curve, const WindowSettings& settings) {
    std::optional<MsdWindow> best;
    for (const MsdWindow& window : best_window_per_start(curve, settings)) {
        if (window.length == 0) continue;
        if (!best || window.distance < best->distance) best = window;
    }
    return best;
}

}  // namespace zorv::transport
