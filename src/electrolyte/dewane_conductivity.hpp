// Conductivity from the Dewane segmented molar-conductivity polynomial.
#pragma once

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::electrolyte {

// Conductivity in S/m per molarity (mol/L). `limits` holds N >= 2 bounds that
// cut the axis into segments limits[i] < c <= limits[i+1]; `coeffs` holds ten
// values per segment, in the order L0, S, e, A, B, C, D, E, F, G.
Result<FloatArray> dewane_eval(const FloatArray& molarity, const FloatArray& limits,
                               const FloatArray& coeffs);

}  // namespace zorv::electrolyte
