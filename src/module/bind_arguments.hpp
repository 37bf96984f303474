// Binding of a vectorcall's positional and keyword arguments to parameters.
#pragma once

#include "module/function_signatures.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

// Fills slots[0..P) with borrowed references in parameter order, or returns
// false with the binding TypeError set. Every parameter is required.
bool bind_arguments(const FunctionSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);

}  // namespace zorv::module
