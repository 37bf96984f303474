#include "electrolyte/density_model.hpp"

#include <cmath>

namespace zorv::electrolyte {
namespace {

// Pure water density polynomial divided by its linear denominator, in kg/m^3.
double water_density(double t) {
    const double p = ((((-2.8054253e-10 * t + 1.0556302e-7) * t - 4.6170461e-5) * t
                       - 0.0079870401) * t + 16.945176) * t + 999.83952;
    return p / (0.01687985 * t + 1.0);
}

}  // namespace

double salt_mass_fraction(double molality, double molecular_weight) {
    const double salt_grams = molality * molecular_weight;
    return salt_grams / (salt_grams + 1000.0);
}

TemperatureTerms temperature_terms(double temperature, const DensityParams& params) {
    const double t = temperature - 273.15;
    const double shifted = t + params.c4;
    return {t, water_density(t), std::exp((shifted * shifted) * 1e-6), params.c3 * t};
}

DensityPoint density_at(const TemperatureTerms& terms, double molality,
                        const DensityParams& params) {
    const double w = salt_mass_fraction(molality, params.molecular_weight);
    // Reciprocal of the apparent density of the dissolved salt.
    const double v = (terms.c3_t + (params.c2 + w)) / (terms.exp_factor * (params.c0 * w + params.c1));
    const double density = 1.0 / ((1.0 - w) / terms.water_density + v * w);
    return {density, (density * w) / params.molecular_weight};
}

DensityPoint density_point(double temperature, double molality, const DensityParams& params) {
    return density_at(temperature_terms(temperature, params), molality, params);
}

}  // namespace zorv::electrolyte
