// How far a curve's raw-data slope moves over every window the log-log
// search accepts: the spread of defensible answers around the one it keeps.
#pragma once

#include <cstdint>

#include "common/float_array.hpp"
#include "transport/msd_window_search.hpp"

namespace zorv::transport {

// `accepted` windows passed the search's test; min and max are over their
// finite raw-data slopes (NaN when none is finite); `chosen` is the raw slope
// of the window diff_calculator keeps, bit for bit its D (NaN when none).
struct SlopeSpread {
    std::uint64_t accepted = 0;
    double min;
    double max;
    double chosen;
};

// The same points, starts, lengths, skipped repeated times, band and sums as
// diff_calculator with these settings, in one pass over every window.
SlopeSpread window_slope_spread(const FloatArray& time, const FloatArray& msd, const WindowSettings& settings,
                                double min_displacement);

}  // namespace zorv::transport
