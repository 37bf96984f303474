// The Laliberte (2007) density model of a one-salt aqueous solution, shared by
// the density, the molarity-to-molality inversion and the KOH conductivity so
// that all three get the same bits for the same inputs.
#pragma once

namespace zorv::electrolyte {

// Fit of one salt: molar mass in g/mol and the density parameters c0..c4,
// which take the temperature in degrees Celsius.
struct DensityParams {
    double molecular_weight;
    double c0, c1, c2, c3, c4;
};

struct DensityPoint {
    double density;   // kg/m^3
    double molarity;  // mol/L
};

// The parts of the model that depend only on temperature and parameters; a
// caller evaluating many molalities at one temperature computes them once.
struct TemperatureTerms {
    double celsius;        // t = T - 273.15
    double water_density;  // rho_w(t), kg/m^3
    double exp_factor;     // E = exp((t + c4)^2 * 1e-6)
    double c3_t;           // c3 * t
};

// Salt mass fraction w = (m * mw) / (m * mw + 1000), grouped exactly so.
double salt_mass_fraction(double molality, double molecular_weight);

TemperatureTerms temperature_terms(double temperature, const DensityParams& params);

DensityPoint density_at(const TemperatureTerms& terms, double molality,
                        const DensityParams& params);

// Density and molarity at temperature (K) and molality (mol/kg).
DensityPoint density_point(double temperature, double molality, const DensityParams& params);

// Model molarity as a function of molality alone, at one temperature.
struct MolarityModel {
    TemperatureTerms terms;
    DensityParams params;
    double operator()(double molality) const { return density_at(terms, molality, params).molarity; }
};

}  // namespace zorv::electrolyte
