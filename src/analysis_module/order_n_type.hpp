// OrderN: a streaming order-n accumulator held by Python, fed frames and
// asked for its sums; made by ordern_positions and ordern_flux.
#pragma once

#include "module/python_api.hpp"

namespace zorv::analysis {

// Creates the OrderN type (a new reference), or null with an exception set.
PyObject* make_order_n_type(PyObject* module);

PyObject* ordern_positions(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* ordern_flux(PyObject* module, PyObject* args, PyObject* kwargs);

// The module's OrderN type (borrowed).
PyObject* order_n_type(PyObject* module);

}  // namespace zorv::analysis
