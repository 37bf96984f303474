// Solution density and molarity over paired temperature/molality points.
#pragma once

#include <tuple>

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::electrolyte {

// Returns (densities in kg/m^3, molarities in mol/L), one pair per point.
Result<std::tuple<FloatArray, FloatArray>> laliberte_density(
    const FloatArray& temperature, const FloatArray& molality, double molecular_weight,
    double c0, double c1, double c2, double c3, double c4);

}  // namespace zorv::electrolyte
