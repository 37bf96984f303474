// Search for the stretch of an MSD curve whose log-log slope is closest to 1.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/float_array.hpp"

namespace zorv::transport {

// How the windows of one search are bounded and judged.
struct WindowSettings {
    double margin;              // fraction of the points trimmed at each end
    std::uint64_t min_window;   // shortest window length tried
    std::uint64_t max_window;   // exclusive bound on the window length
    double max_error;           // tolerance of the log-log slope around 1
};

// Window of `length` kept points from `start`; `distance` is |slope - 1| of
// its log-log fit. A length of 0 means the start has no qualifying window.
struct MsdWindow {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    double distance = 0.0;
};

// The columns one search reads: kept times, log10(time) and log10(|msd|).
struct LogCurve {
    const FloatArray& time;
    const FloatArray& log_time;
    const FloatArray& log_msd;
};

// Truncation toward zero into 64 unsigned bits; NaN and negatives give 0,
// values of 2^64 and above give 2^64 - 1.
std::uint64_t saturating_count(double value);

// The best qualifying window of every start the search visits, in start
// order. Starts skipped for a repeated time come back with length 0.
std::vector<MsdWindow> best_window_per_start(const LogCurve& curve,
                                             const WindowSettings& settings);

// The qualifying window whose slope is closest to 1; the earliest start, then
// the shortest length, wins a tie.
std::optional<MsdWindow> find_msd_window(const LogCurve& curve, const WindowSettings& settings);

}  // namespace zorv::transport
