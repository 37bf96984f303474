// Electrical conductivity of aqueous KOH (combined Gilliam correlations).
#pragma once

#include "common/call_error.hpp"
#include "common/float_array.hpp"
#include "electrolyte/density_model.hpp"

namespace zorv::electrolyte {

// Conductivity in S/m at temperature (K) and molality (mol/kg). Below 353.15 K
// a polynomial in the molarity (from the density model), from there up one in
// the mass-fraction percentage.
double koh_conductivity_point(double temperature, double molality, const DensityParams& params);

// One conductivity in S/m per paired temperature/molality point.
Result<FloatArray> koh_gilliam_eval(const FloatArray& temperature, const FloatArray& molality,
                                    double molecular_weight, double c0, double c1, double c2,
                                    double c3, double c4);

}  // namespace zorv::electrolyte
