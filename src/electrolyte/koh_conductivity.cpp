#include "electrolyte/koh_conductivity.hpp"

#include "electrolyte/paired_inputs.hpp"

namespace zorv::electrolyte {
namespace {

constexpr double kBranchSwitch = 353.15;  // K, 80 degrees Celsius

// Both return the polynomial without its last term, in S/cm.
double low_temperature_terms(double molarity, double temperature) {
    const double m = molarity;
    return ((0.001043 * m) * m) * m
           + ((207.2 * m) / temperature
              + ((0.005332 * m) * temperature + ((-0.0028 * m) * m + (-2.041 * m))));
}

double high_temperature_terms(double percent, double temperature) {
    const double p = percent;
    return ((7.0101e-6 * p) * p) * p
           + ((-10.7021 * p) / temperature
              + ((0.00033647 * p) * temperature + ((-0.0013077 * p) * p + 0.0022204 * p)));
}

}  // namespace

double koh_conductivity_point(double temperature, double molality, const DensityParams& params) {
    double partial = 0.0;
    double variable = 0.0;
    double q = 0.0;
    if (temperature < kBranchSwitch) {
        variable = density_point(temperature, molality, params).molarity;
        partial = low_temperature_terms(variable, temperature);
        q = 3e-7;
    } else {
        variable = salt_mass_fraction(molality, params.molecular_weight) * 100.0;
        partial = high_temperature_terms(variable, temperature);
        q = 3.2033e-9;
    }
    const double tx = temperature * variable;
    return (partial - (tx * tx) * q) * 100.0;
}

Result<FloatArray> koh_gilliam_eval(const FloatArray& temperature, const FloatArray& molality,
                                    double molecular_weight, double c0, double c1, double c2,
                                    double c3, double c4) {
    if (auto error = check_paired_lengths(temperature, molality)) return std::move(*error);
    const DensityParams params{molecular_weight, c0, c1, c2, c3, c4};
    FloatArray conductivities(temperature.size());
    for (std::size_t i = 0; i < temperature.size(); ++i)
        conductivities[i] = koh_conductivity_point(temperature[i], molality[i], params);
    return conductivities;
}

}  // namespace zorv::electrolyte
