#include "electrolyte/laliberte_density.hpp"

#include "electrolyte/density_model.hpp"
#include "electrolyte/paired_inputs.hpp"

namespace zorv::electrolyte {

Result<std::tuple<FloatArray, FloatArray>> laliberte_density(
    const FloatArray& temperature, const FloatArray& molality, double molecular_weight,
    double c0, double c1, double c2, double c3, double c4) {
    if (auto error = check_paired_lengths(temperature, molality)) return std::move(*error);
    const DensityParams params{molecular_weight, c0, c1, c2, c3, c4};
    FloatArray densities(temperature.size());
    FloatArray molarities(temperature.size());
    for (std::size_t i = 0; i < temperature.size(); ++i) {
        const DensityPoint point = density_point(temperature[i], molality[i], params);
        densities[i] = point.density;
        molarities[i] = point.molarity;
    }
    return std::tuple{std::move(densities), std::move(molarities)};
}

}  // namespace zorv::electrolyte
