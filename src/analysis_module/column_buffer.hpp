// Column: a float64 array owned by native code and lent to Python through
// the buffer protocol, so numpy wraps it without a copy.
#pragma once

#include "common/float_array.hpp"
#include "module/python_api.hpp"

namespace zorv::analysis {

// Creates the Column type (a new reference), or null with an exception set.
PyObject* make_column_type(PyObject* module);

// A read-only Column of type `type` that takes the values over; null with an
// exception set on failure.
PyObject* new_column(PyObject* type, FloatArray&& values);

}  // namespace zorv::analysis
