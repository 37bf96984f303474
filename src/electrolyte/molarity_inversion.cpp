#include "electrolyte/molarity_inversion.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "common/number_format.hpp"
#include "electrolyte/brent_solver.hpp"
#include "electrolyte/density_model.hpp"

namespace zorv::electrolyte {
namespace {

constexpr double kLowerEnd = 1e-12;         // mol/kg, fixed lower end of every bracket
constexpr int kMaximumExpansions = 65;

struct Bracket {
    double upper;
    double f_lower;
    double f_upper;
};

// Doubles the upper end from max(y, 1) until the model molarity reaches y,
// the comparison fails to order, or the expansions run out.
Bracket expand_bracket(const MolarityModel& model, double lower_molarity, double y) {
    double h = std::isnan(y) ? 1.0 : (y > 1.0 ? y : 1.0);
    double mh = 0.0;
    for (int k = 0; k < kMaximumExpansions; ++k) {
        h = h + h;
        mh = model(h);
        if (!(y > mh)) break;
    }
    return {h, lower_molarity - y, mh - y};
}

CallError bracket_error(double y, double temperature) {
    return value_error("molarity_to_molality: could not bracket root for molarity = "
                       + format_scientific(y, 4) + " mol/L at temperature = "
                       + format_fixed(temperature, 2) + " K");
}

}  // namespace

Result<FloatArray> molarity_to_molality(const FloatArray& molarity, double temperature,
                                        double molecular_weight, double c0, double c1, double c2,
                                        double c3, double c4, double tolerance,
                                        std::uint64_t maximum_iterations) {
    FloatArray molalities(molarity.size());
    if (molarity.empty()) return molalities;
    const DensityParams params{molecular_weight, c0, c1, c2, c3, c4};
    const MolarityModel model{temperature_terms(temperature, params), params};
    const double lower_molarity = model(kLowerEnd);
    for (std::size_t i = 0; i < molarity.size(); ++i) {
        const double y = molarity[i];
        if (y <= 0.0) {
            molalities[i] = 0.0;
            continue;
        }
        const Bracket bracket = expand_bracket(model, lower_molarity, y);
        // A residual that is no number cannot bracket anything: the bracket
        // end would come back as if it were a root.
        if (std::isnan(bracket.f_lower) || std::isnan(bracket.f_upper)) {
            molalities[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        if (bracket.f_lower * bracket.f_upper > 0.0) return bracket_error(y, temperature);
        const BrentStart start{kLowerEnd, bracket.upper, bracket.f_lower, bracket.f_upper};
        molalities[i] = brent_solve(model, y, start, tolerance, maximum_iterations);
    }
    return molalities;
}

}  // namespace zorv::electrolyte
