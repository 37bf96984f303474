// Process-wide objects created on first need and kept until the process ends.
#pragma once

#include "module/python_api.hpp"

namespace zorv::module {

// Borrowed references; null with an exception set when creation failed
// (the next call tries again).
PyObject* panic_exception_class();
PyObject* sequence_abc_class();
PyObject* interned_add_note();
PyObject* interned_all();
PyObject* interned_name();

}  // namespace zorv::module
