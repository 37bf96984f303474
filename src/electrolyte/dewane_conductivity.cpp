#include "electrolyte/dewane_conductivity.hpp"

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>

#include "common/number_format.hpp"

namespace zorv::electrolyte {
namespace {

constexpr std::size_t kCoefficientsPerSegment = 10;

std::optional<CallError> check_model_shape(const FloatArray& limits, const FloatArray& coeffs) {
    if (limits.size() < 2)
        return value_error("limits must have at least 2 values (defining at least 1 segment)");
    const std::size_t segments = limits.size() - 1;
    const std::size_t count = segments * kCoefficientsPerSegment;
    if (coeffs.size() != count)
        return value_error("coeffs must have exactly " + std::to_string(count) + " values ("
                           + std::to_string(segments) + " segments \u00d7 10 coefficients)");
    return std::nullopt;
}

// First segment in index order with limits[i] < c <= limits[i + 1].
std::optional<std::size_t> find_segment(const FloatArray& limits, double c) {
    for (std::size_t i = 0; i + 1 < limits.size(); ++i)
        if (limits[i] < c && c <= limits[i + 1]) return i;
    return std::nullopt;
}

CallError out_of_bounds(double c, const FloatArray& limits) {
    return value_error("molarity " + format_scientific(c, 4) + " mol/L is outside Dewane bounds ["
                       + format_scientific(limits.front(), 4) + ", "
                       + format_scientific(limits.back(), 4) + "]");
}

// sigma = Lambda(c) * c / 10 with the segment's ten coefficients at k.
double segment_conductivity(const double* k, double c) {
    double v = k[0] - std::sqrt(c) * k[1];
    v = std::log10(c) * (k[2] * c) + v;
    v = v + c * k[3];
    v = std::pow(c, 1.5) * k[4] + v;
    v = (k[5] * c) * c + v;
    v = std::pow(c, 2.5) * k[6] + v;
    v = ((k[7] * c) * c) * c + v;
    v = v + (((k[8] * c) * c) * c) * c;
    v = ((((k[9] * c) * c) * c) * c) * c + v;
    return (v * c) / 10.0;
}

}  // namespace

Result<FloatArray> dewane_eval(const FloatArray& molarity, const FloatArray& limits,
                               const FloatArray& coeffs) {
    if (auto error = check_model_shape(limits, coeffs)) return std::move(*error);
    FloatArray conductivities(molarity.size(), 0.0);
    for (std::size_t i = 0; i < molarity.size(); ++i) {
        const double c = molarity[i];
        const std::optional<std::size_t> segment = find_segment(limits, c);
        if (!segment) return out_of_bounds(c, limits);
        conductivities[i] = segment_conductivity(&coeffs[*segment * kCoefficientsPerSegment], c);
    }
    return conductivities;
}

}  // namespace zorv::electrolyte
