#include "electrolyte/laliberte_viscosity.hpp"

#include <cmath>

#include "electrolyte/density_model.hpp"
#include "electrolyte/paired_inputs.hpp"

namespace zorv::electrolyte {

double viscosity_point(double temperature, double molality, const ViscosityParams& params) {
    const double t = temperature - 273.15;
    const double w = salt_mass_fraction(molality, params.molecular_weight);
    // Both partial viscosities in mPa*s.
    const double water = (t + 245.9996) / ((0.055943 * t + 5.284245) * t + 137.3664);
    const double salt = std::exp((params.v1 * std::pow(w, params.v2) + params.v3) / (params.v4 * t + 1.0))
                        / (params.v5 * std::pow(w, params.v6) + 1.0);
    return (std::pow(water, 1.0 - w) * std::pow(salt, w)) * 0.001;
}

Result<FloatArray> laliberte_viscosity(const FloatArray& temperature, const FloatArray& molality,
                                       double molecular_weight, double v1, double v2, double v3,
                                       double v4, double v5, double v6) {
    if (auto error = check_paired_lengths(temperature, molality)) return std::move(*error);
    const ViscosityParams params{molecular_weight, v1, v2, v3, v4, v5, v6};
    FloatArray viscosities(temperature.size());
    for (std::size_t i = 0; i < temperature.size(); ++i)
        viscosities[i] = viscosity_point(temperature[i], molality[i], params);
    return viscosities;
}

}  // namespace zorv::electrolyte
