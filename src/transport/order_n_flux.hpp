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

namespace zorv::transport {

// The channels of a pressure tensor (xx, yy, zz, xy, xz, yz) whose integrals
// give the viscosities: the traceless diagonal xx − p, yy − p, zz − p, the
// off-diagonal xy, xz, yz, and p − mean for the bulk, p = ((xx + yy) + zz) / 3.
inline constexpr std::size_t pressure_components = 6;
inline constexpr std::size_t pressure_channel_count = 7;
void pressure_channels(const double* tensor, double mean_pressure, double* out);

class OrderNFlux {
public:
    // `channels` values per frame, `interval` apart; with `mean_pressure` a
    // frame is instead a pressure tensor, turned into pressure_channels.
    static Result<OrderNFlux> create(std::size_t channels, std::size_t nb, std::size_t nbe, double interval,
                                     std::optional<double> mean_pressure);

    std::size_t width() const noexcept { return mean_pressure_ ? pressure_components : integral_.size(); }
    std::uint64_t frames() const noexcept { return accumulator_.frames(); }
    void add(const double* frame);
    // Squares per channel of the integrals (one group per channel).
    OrderNTables tables() const { return accumulator_.tables(); }

private:
    OrderNFlux(OrderNAccumulator accumulator, std::size_t channels, double interval, std::optional<double> mean)
        : accumulator_(std::move(accumulator)), integral_(channels, 0.0), last_(channels, 0.0), derived_(channels),
          half_interval_(0.5 * interval), mean_pressure_(mean) {}

    OrderNAccumulator accumulator_;
    FloatArray integral_;
    FloatArray last_;
    FloatArray derived_;
    double half_interval_;
    std::optional<double> mean_pressure_;
};

}  // namespace zorv::transport
