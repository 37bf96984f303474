// The native form of every sequence-of-numbers argument and list-of-floats result.
#pragma once

#include <vector>

namespace zorv {

using FloatArray = std::vector<double>;

}  // namespace zorv
