// The length check shared by the models that take temperature and molality
// element by element.
#pragma once

#include <optional>

#include "common/call_error.hpp"
#include "common/float_array.hpp"

namespace zorv::electrolyte {

inline std::optional<CallError> check_paired_lengths(const FloatArray& temperature,
                                                     const FloatArray& molality) {
    if (temperature.size() == molality.size()) return std::nullopt;
    return value_error("temperature and molality must have the same length");
}

}  // namespace zorv::electrolyte
