// The module's method definitions, one per function, in table order.
#pragma once

#include <array>

#include "module/function_signatures.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

// Rows whose computation is not built yet have a null ml_meth and are not
// added to the module.
extern std::array<PyMethodDef, kFunctionCount> method_table;

}  // namespace zorv::module
