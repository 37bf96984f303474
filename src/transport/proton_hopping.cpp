#include "transport/proton_hopping.hpp"

namespace zorv::transport {
namespace {

// e^2 in C^2: the double product 1.602176634e-19 * 1.602176634e-19.
constexpr double kChargeSquared = 0x1.1784adcf56b75p-125;
// 6 k_B in J/K: the double product 6.0 * 1.380649e-23.
constexpr double kSixBoltzmann = 0x1.9095a400d96bap-74;

static_assert(kChargeSquared == 1.602176634e-19 * 1.602176634e-19);
static_assert(kSixBoltzmann == 6.0 * 1.380649e-23);

}  // namespace

double tau_calculator(double experimental_conductivity, double md_conductivity,
                      double temperature, double box_length, double particle_count,
                      double hop_distance) {
    // Each product is rounded in this order; the grouping fixes the last bits.
    const double delta_sigma = experimental_conductivity - md_conductivity;
    const double numerator = (kChargeSquared * (hop_distance * hop_distance)) * particle_count;
    const double denominator =
        (((box_length * box_length) * box_length) * (kSixBoltzmann * temperature)) * delta_sigma;
    return numerator / denominator;
}

double diffusion_adjustment(double time_between_hops, double hop_distance) {
    return (hop_distance * hop_distance) / (time_between_hops * 6.0);
}

}  // namespace zorv::transport
