// Brent-Dekker root finding of model molarity minus a wanted molarity.
#pragma once

#include <cstdint>

#include "electrolyte/density_model.hpp"

namespace zorv::electrolyte {

// A sign-changing bracket [lower, upper] and the residuals at its ends.
struct BrentStart {
    double lower;
    double upper;
    double f_lower;
    double f_upper;
};

// Molality x with |M(x) - y| or the bracket width within `tolerance`, after at
// most `maximum_iterations` steps; the current best estimate however it ends.
double brent_solve(const MolarityModel& model, double y, const BrentStart& start,
                   double tolerance, std::uint64_t maximum_iterations);

}  // namespace zorv::electrolyte
