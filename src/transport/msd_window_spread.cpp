#include "transport/msd_window_spread.hpp"

#include <cmath>
#include <limits>

#include "transport/msd_fit.hpp"
#include "transport/msd_window_sums.hpp"

namespace zorv::transport {
namespace {

using detail::PointTerms;
using detail::WindowSums;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// x, y and the rounded products of each point, formed once as the search forms them.
struct TermColumns {
    FloatArray xy;
    FloatArray xx;
    PointTerms terms;

    TermColumns(const FloatArray& x, const FloatArray& y) : xy(x.size()), xx(x.size()) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            xy[i] = x[i] * y[i];
            xx[i] = x[i] * x[i];
        }
        terms = {x.data(), y.data(), xy.data(), xx.data()};
    }
};

class SpreadScan {
public:
    SpreadScan(const TermColumns& logs, const TermColumns& raw, const WindowSettings& settings)
        : logs_(logs.terms), raw_(raw.terms), settings_(settings),
          band_{1.0 - settings.max_error, settings.max_error + 1.0} {}

    // Every window of start k, shortest first; the first window strictly
    // closer to 1 than all before it is kept, as the search keeps it.
    void scan_start(std::uint64_t k, std::uint64_t limit) {
        WindowSums log_sums;
        WindowSums raw_sums;
        double length = 0.0;
        for (std::uint64_t w = 1; w < limit; ++w) {
            log_sums.add(logs_, k + w - 1);
            raw_sums.add(raw_, k + w - 1);
            length += 1.0;
            if (w >= settings_.min_window) consider(detail::window_slope(log_sums, length), raw_sums, length);
        }
    }

    SlopeSpread result() const { return spread_; }

private:
    void consider(double log_slope, const WindowSums& raw_sums, double length) {
        if (!std::isfinite(log_slope) || !(band_.lo < log_slope && log_slope < band_.hi)) return;
        const double raw = detail::window_slope(raw_sums, length);
        ++spread_.accepted;
        if (std::isfinite(raw)) {
            spread_.min = std::isnan(spread_.min) ? raw : std::fmin(spread_.min, raw);
            spread_.max = std::isnan(spread_.max) ? raw : std::fmax(spread_.max, raw);
        }
        const double distance = std::fabs(log_slope - 1.0);
        if (spread_.accepted == 1 || distance < best_distance_) {
            best_distance_ = distance;
            spread_.chosen = raw;
        }
    }

    PointTerms logs_;
    PointTerms raw_;
    WindowSettings settings_;
    detail::SlopeBand band_;
    double best_distance_ = 0.0;
    SlopeSpread spread_{0, kNaN, kNaN, kNaN};
};

}  // namespace

SlopeSpread window_slope_spread(const FloatArray& time, const FloatArray& msd, const WindowSettings& settings,
                                double min_displacement) {
    if (time.empty() || msd.size() != time.size()) return {0, kNaN, kNaN, kNaN};
    const KeptPoints kept = keep_displaced(time, msd, min_displacement * min_displacement);
    const std::uint64_t n = kept.time.size();
    const detail::SearchBounds bounds = detail::search_bounds(n, settings.margin, settings.min_window);
    if (bounds.first >= bounds.stop) return {0, kNaN, kNaN, kNaN};
    const LogColumns logs = log_columns(kept);
    const TermColumns log_terms(logs.time, logs.msd);
    const TermColumns raw_terms(kept.time, kept.msd);
    SpreadScan scan(log_terms, raw_terms, settings);
    for (std::uint64_t k = bounds.first; k < bounds.stop; ++k) {
        if (detail::repeated_time(kept.time, k)) continue;
        scan.scan_start(k, detail::length_limit(bounds, settings.max_window, n, k));
    }
    return scan.result();
}

}  // namespace zorv::transport
