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
                                      MeanPressure mean) {
    if (!(std::isfinite(interval) && interval > 0.0)) return value_error("interval must be positive and finite");
    if (mean.given && mean.own) return value_error("a mean pressure is either given or the run's own, not both");
    if (mean.given || mean.own) channels = pressure_channel_count;
    OrderNSettings settings;
    settings.nb = nb;
    settings.nbe = nbe;
    settings.dims = 1;
    settings.group.resize(channels);
    std::iota(settings.group.begin(), settings.group.end(), std::uint32_t{0});
    settings.groups = channels;
    Result<OrderNAccumulator> accumulator = OrderNAccumulator::create(std::move(settings));
    if (!accumulator) return std::move(accumulator).error();
    return OrderNFlux(std::move(accumulator).value(), channels, nb, nbe, interval, mean);
}

void OrderNFlux::add(const double* frame) {
    if (mean_.own && accumulator_.frames() == 0) offset_ = ((frame[0] + frame[1]) + frame[2]) / 3.0;
    if (pressure()) {
        pressure_channels(frame, mean_.given ? *mean_.given : offset_, derived_.data());
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
    if (mean_.own) bulk_.add(integral_[bulk_channel]);
}

std::optional<double> OrderNFlux::mean_pressure() const {
    if (mean_.given) return mean_.given;
    if (!mean_.own || frames() < 2) return std::nullopt;
    return offset_ + own_mean();
}

double OrderNFlux::own_mean() const {
    return integral_[bulk_channel] / (interval_ * static_cast<double>(frames() - 1));
}

OrderNTables OrderNFlux::tables() const {
    OrderNTables t = accumulator_.tables();
    if (!mean_.own || t.block.empty()) return t;
    // ∫(p − offset − m) = ∫(p − offset) − m·t: every increment of lag s loses s·m.
    const double m = own_mean();
    for (std::size_t row = 0; row < t.block.size(); ++row) {
        std::uint64_t samples = t.element[row];
        for (std::uint64_t b = 0; b < t.block[row]; ++b) samples *= nbe_;
        double& squares = t.squares[row * pressure_channel_count + bulk_channel];
        squares = centred_squares(squares, bulk_.increments(t.block[row], t.element[row]),
                                  static_cast<double>(t.origins[row]), static_cast<double>(samples) * interval_, m);
    }
    return t;
}

}  // namespace zorv::transport
