#include "transport/msd_fit.hpp"

#include <cmath>
#include <limits>

#include "transport/msd_line_fit.hpp"
#include "transport/msd_window_search.hpp"

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

KeptPoints keep_displaced(const FloatArray& time, const FloatArray& msd, double threshold) {
    KeptPoints kept;
    for (std::size_t i = 0; i < time.size(); ++i) {
        if (std::fabs(msd[i]) >= threshold) {
            kept.time.push_back(time[i]);
            kept.msd.push_back(msd[i]);
        }
    }
    return kept;
}

LogColumns log_columns(const KeptPoints& kept) {
    const std::size_t n = kept.time.size();
    LogColumns logs{FloatArray(n), FloatArray(n)};
    for (std::size_t i = 0; i < n; ++i) {
        logs.time[i] = std::log10(kept.time[i]);
        logs.msd[i] = std::log10(std::fabs(kept.msd[i]));
    }
    return logs;
}

std::tuple<double, FloatArray, FloatArray> diff_calculator(
    const FloatArray& time, const FloatArray& msd_in, double margin, std::uint64_t min_window,
    std::uint64_t max_window, double max_error, double min_displacement) {
    if (time.empty() || msd_in.size() != time.size()) return {kNaN, {}, {}};
    const KeptPoints kept = keep_displaced(time, msd_in, min_displacement * min_displacement);
    const std::size_t n = kept.time.size();
    if (n == 0) return {kNaN, {}, {}};

    const LogColumns logs = log_columns(kept);
    const std::optional<MsdWindow> best = find_msd_window(
        {kept.time, logs.time, logs.msd}, {margin, min_window, max_window, max_error});
    if (!best) return {kNaN, {time[0]}, {msd_in[0]}};

    const double* x = kept.time.data() + best->start;
    RawLineFit line = fit_raw_line(x, kept.msd.data() + best->start, best->length);
    return {line.slope, FloatArray(x, x + best->length), std::move(line.fitted)};
}

}  // namespace zorv::transport
