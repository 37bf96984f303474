// The automatic MSD window fit: a transport coefficient from an MSD curve.
#pragma once

#include <cstdint>
#include <tuple>

#include "common/float_array.hpp"

namespace zorv::transport {

// The points whose |msd| reaches threshold, in input order, signs kept; a NaN
// value or threshold keeps nothing.
struct KeptPoints {
    FloatArray time;
    FloatArray msd;
};

KeptPoints keep_displaced(const FloatArray& time, const FloatArray& msd, double threshold);

// log10(time) and log10(|msd|) of the kept points: what the window search reads.
struct LogColumns {
    FloatArray time;
    FloatArray msd;
};

LogColumns log_columns(const KeptPoints& kept);

// Fits the stretch of the curve whose log-log slope is closest to 1 on the
// raw data. Returns (D, t_fit, fit); (NaN, [], []) for unusable input and
// (NaN, [time[0]], [msd_in[0]]) when no window qualifies. Never fails.
std::tuple<double, FloatArray, FloatArray> diff_calculator(
    const FloatArray& time, const FloatArray& msd_in, double margin, std::uint64_t min_window,
    std::uint64_t max_window, double max_error, double min_displacement);

}  // namespace zorv::transport
