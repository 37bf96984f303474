#include "electrolyte/composition_conversions.hpp"

namespace zorv::electrolyte {
namespace {

// k is the molar mass in kg/mol, g/mol / 1000 (not * 0.001, which rounds differently).
double kg_per_mol(double molecular_weight) { return molecular_weight / 1000.0; }

// Fraction x -> molality: x / ((1 - x) * k).
FloatArray into_molality(const FloatArray& fractions, double molecular_weight) {
    const double k = kg_per_mol(molecular_weight);
    FloatArray out(fractions.size());
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        const double x = fractions[i];
        out[i] = x / ((1.0 - x) * k);
    }
    return out;
}

// Molality m -> fraction: 1 / (1 / (m * k) + 1), reciprocal form kept as is.
FloatArray out_of_molality(const FloatArray& molalities, double molecular_weight) {
    const double k = kg_per_mol(molecular_weight);
    FloatArray out(molalities.size());
    for (std::size_t i = 0; i < molalities.size(); ++i)
        out[i] = 1.0 / (1.0 / (molalities[i] * k) + 1.0);
    return out;
}

}  // namespace

FloatArray mass_fraction_to_molality(const FloatArray& mass_fraction, double molecular_weight) {
    return into_molality(mass_fraction, molecular_weight);
}

FloatArray molality_to_mass_fraction(const FloatArray& molality, double molecular_weight) {
    return out_of_molality(molality, molecular_weight);
}

FloatArray mole_fraction_to_molality(const FloatArray& mole_fraction, double molecular_weight) {
    return into_molality(mole_fraction, molecular_weight);
}

FloatArray molality_to_mole_fraction(const FloatArray& molality, double molecular_weight) {
    return out_of_molality(molality, molecular_weight);
}

}  // namespace zorv::electrolyte
