// Dynamic viscosity of a one-salt aqueous solution (Laliberte 2007).
#pragma once

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::electrolyte {

// Fit of one salt: molar mass in g/mol and the viscosity parameters v1..v6.
struct ViscosityParams {
    double molecular_weight;
    double v1, v2, v3, v4, v5, v6;
};

// Viscosity in Pa*s at temperature (K) and molality (mol/kg).
double viscosity_point(double temperature, double molality, const ViscosityParams& params);

// One viscosity in Pa*s per paired temperature/molality point.
Result<FloatArray> laliberte_viscosity(const FloatArray& temperature, const FloatArray& molality,
                                       double molecular_weight, double v1, double v2, double v3,
                                       double v4, double v5, double v6);

}  // namespace zorv::electrolyte
