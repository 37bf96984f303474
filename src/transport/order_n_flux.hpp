// The order-n accumulation of a flux series (pressure tensor or heat flux):
// each channel is integrated over time by the trapezoidal rule, and the
// squared increments of the integrals are summed over origins per channel.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>

#include "common/call_error.hpp"
#include "common/float_array.hpp"
#include "transport/order_n_accumulator.hpp"
#include "transport/order_n_own_mean.hpp"

namespace zorv::transport {

// The channels of a pressure tensor (xx, yy, zz, xy, xz, yz) whose integrals
// give the viscosities: the traceless diagonal xx − p, yy − p, zz − p, the
// off-diagonal xy, xz, yz, and p − mean for the bulk, p = ((xx + yy) + zz) / 3.
inline constexpr std::size_t pressure_components = 6;
inline constexpr std::size_t pressure_channel_count = 7;
inline constexpr std::size_t bulk_channel = 6;
void pressure_channels(const double* tensor, double mean_pressure, double* out);

// Which pressure the bulk channel is taken from: none (the frames are plain
// channels), a given one, or the run's own mean, known only after the pass.
struct MeanPressure {
    std::optional<double> given;
    bool own = false;
};

class OrderNFlux {
public:
    // `channels` values per frame, `interval` apart; with a mean pressure a
    // frame is instead a pressure tensor, turned into pressure_channels.
    static Result<OrderNFlux> create(std::size_t channels, std::size_t nb, std::size_t nbe, double interval,
                                     MeanPressure mean);

    std::size_t width() const noexcept { return pressure() ? pressure_components : integral_.size(); }
    std::uint64_t frames() const noexcept { return accumulator_.frames(); }
    void add(const double* frame);
    // Squares per channel of the integrals (one group per channel); with the
    // run's own mean the bulk channel's are those of ∫(p − mean), exactly.
    OrderNTables tables() const;
    // The pressure subtracted from the bulk channel: the given one, or the
    // run's own trapezoidal mean (∫p over the run / its length); none before
    // two frames or without a pressure.
    std::optional<double> mean_pressure() const;

private:
    OrderNFlux(OrderNAccumulator accumulator, std::size_t channels, std::size_t nb, std::size_t nbe,
               double interval, MeanPressure mean)
        : accumulator_(std::move(accumulator)), integral_(channels, 0.0), last_(channels, 0.0), derived_(channels),
          nbe_(nbe), interval_(interval), half_interval_(0.5 * interval), mean_(mean), bulk_(nb, nbe) {}
    bool pressure() const noexcept { return mean_.given || mean_.own; }
    double own_mean() const;

    OrderNAccumulator accumulator_;
    FloatArray integral_;
    FloatArray last_;
    FloatArray derived_;
    std::size_t nbe_;
    double interval_;
    double half_interval_;
    MeanPressure mean_;
    double offset_ = 0.0;  // with the own mean: the first frame's pressure, so the integral stays small
    BlockEnds bulk_;
};

}  // namespace zorv::transport
