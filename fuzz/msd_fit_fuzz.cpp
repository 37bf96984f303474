// Fuzz target of the MSD window fit: arbitrary settings and curves decoded
// from the input. No crash, no hang, and the window search (sums grown one
// point per length, starts side by side) agrees bit for bit with every window
// summed from its first point; the window spread keeps the same window and
// brackets its slope.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "../tests/transport/msd_window_reference.hpp"
#include "transport/msd_fit.hpp"
#include "transport/msd_window_search.hpp"
#include "transport/msd_window_spread.hpp"

namespace {

using namespace zorv;
using namespace zorv::transport;

class Decoder {
public:
    Decoder(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool done() const { return pos_ >= size_; }

    // One tag byte: a quarter of the values are raw bit patterns (NaN,
    // infinities, huge and tiny numbers), the rest small steps.
    double value() {
        const std::uint8_t tag = byte();
        if (tag % 4 != 0) return tag / 16.0 - 2.0;
        std::uint64_t raw = 0;
        for (int i = 0; i < 8; ++i) raw = raw << 8 | byte();
        return std::bit_cast<double>(raw);
    }

    std::uint64_t count(std::uint64_t modulo) {
        const std::uint8_t b = byte();
        return b == 255 ? std::numeric_limits<std::uint64_t>::max() : b % modulo;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

void check_search(const FloatArray& time, const FloatArray& msd, const WindowSettings& s) {
    FloatArray log_time, log_msd;
    for (std::size_t i = 0; i < time.size(); ++i) {
        log_time.push_back(std::log10(time[i]));
        log_msd.push_back(std::log10(std::fabs(msd[i])));
    }
    const LogCurve curve{time, log_time, log_msd};
    const auto fast = best_window_per_start(curve, s);
    const auto slow = reference::best_window_per_start(curve, s);
    if (fast.size() != slow.size()) __builtin_trap();
    for (std::size_t i = 0; i < fast.size(); ++i) {
        if (fast[i].start != slow[i].start || fast[i].length != slow[i].length ||
            !same_bits(fast[i].distance, slow[i].distance)) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Decoder in(data, size);
    const bool negative_margin = in.byte() % 8 == 0;
    const double margin = negative_margin ? -in.value() * 1e3 : in.value() / 16.0;
    const std::uint64_t min_window = in.count(12);
    const std::uint64_t max_window = in.count(48);
    const double max_error = in.value();
    const double min_displacement = in.value() / 8.0;
    FloatArray time, msd;
    double t = in.value();
    while (!in.done() && time.size() < 96) {
        t += in.value();
        time.push_back(t);
        msd.push_back(std::fabs(t) * in.value());
    }
    if (in.byte() % 16 == 0 && !msd.empty()) msd.pop_back();  // lengths that differ

    const auto [d, t_fit, fit] = diff_calculator(time, msd, margin, min_window, max_window,
                                                 max_error, min_displacement);
    if (t_fit.size() != fit.size()) __builtin_trap();
    if (!t_fit.empty() && time.empty()) __builtin_trap();
    (void)d;
    if (msd.size() == time.size()) {
        check_search(time, msd, {margin, min_window, max_window, max_error});
    }
    const SlopeSpread spread =
        window_slope_spread(time, msd, {margin, min_window, max_window, max_error}, min_displacement);
    if (!same_bits(spread.chosen, d) && !(std::isnan(spread.chosen) && std::isnan(d))) __builtin_trap();
    if (spread.accepted == 0 && !(std::isnan(spread.min) && std::isnan(spread.max))) __builtin_trap();
    if (std::isfinite(spread.chosen) && !(spread.min <= spread.chosen && spread.chosen <= spread.max)) {
        __builtin_trap();
    }
    return 0;
}
