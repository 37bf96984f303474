// Reading a numpy array or array.array of doubles straight from its buffer.
#pragma once

#include "common/float_array.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

// Fills `out` and returns true when `object` is exactly a numpy.ndarray or an
// array.array exporting a one-dimensional buffer of native doubles (any
// stride). Returns false, with no exception pending and `out` untouched, for
// every other object: the caller then iterates it.
bool read_double_buffer(PyObject* object, FloatArray& out);

}  // namespace zorv::module
