#include "transport/order_n_flux.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace zorv::transport {

void pressure_channels(const double* tensor, double mean_pressure, double* out) {
    const double p = ((tensor[0] + tensor[1]) + tensor[2]) / 3.0;
    out[0] = tensor[0] - p;
    out[1] = tensor[1] - p;
    out[2] = tensor[2] - p;
    out[3] = tensor[3];
    out[4] = tensor[4];
    out[5] = tensor[5];
    out[6] = p - mean_pressure;
}

Result<OrderNFlux> OrderNFlux::create(std::size_t channels, std::size_t nb, std::size_t nbe, double interval,
                                      std::optional<double> mean_pressure) {
    if (!(std::isfinite(interval) && interval > 0.0)) return value_error("interval must be positive and finite");
    if (mean_pressure) channels = pressure_channel_count;
    OrderNSettings settings;
    settings.nb = nb;
    settings.nbe = nbe;
    settings.dims = 1;
    settings.group.resize(channels);
    std::iota(settings.group.begin(), settings.group.end(), std::uint32_t{0});
    settings.groups = channels;
    Result<OrderNAccumulator> accumulator = OrderNAccumulator::create(std::move(settings));
    if (!accumulator) return std::move(accumulator).error();
    return OrderNFlux(std::move(accumulator).value(), channels, interval, mean_pressure);
}

void OrderNFlux::add(const double* frame) {
    if (mean_pressure_) {
        pressure_channels(frame, *mean_pressure_, derived_.data());
    } else {
        std::copy(frame, frame + derived_.size(), derived_.begin());
    }
    // The first frame is the origin of the integrals; each later one adds its trapezoid.
    if (accumulator_.frames() > 0) {
        for (std::size_t c = 0; c < integral_.size(); ++c) {
            integral_[c] += half_interval_ * (last_[c] + derived_[c]);
        }
    }
    last_.swap(derived_);
    accumulator_.add(integral_.data());
}

}  // namespace zorv::transport
