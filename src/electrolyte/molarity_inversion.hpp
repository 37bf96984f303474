// Molarity -> molality by inverting the density model with a bracketing
// search and the Brent-Dekker method, element by element.
#pragma once

#include <cstdint>

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::electrolyte {

// One molality (mol/kg) per wanted molarity (mol/L) at one temperature (K).
// Non-positive molarities give 0; an element whose bracket residuals are
// not numbers (NaN inputs, overflow of the model) gives NaN; a bracket without
// a sign change is an error naming the first such molarity.
Result<FloatArray> molarity_to_molality(const FloatArray& molarity, double temperature,
                                        double molecular_weight, double c0, double c1, double c2,
                                        double c3, double c4, double tolerance,
                                        std::uint64_t maximum_iterations);

}  // namespace zorv::electrolyte
