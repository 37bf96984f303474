// The functions of _zorv_analysis, as PyCFunctionWithKeywords; self is the module.
#pragma once

#include "module/python_api.hpp"

namespace zorv::analysis {

PyObject* read_table(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* summarize_column(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* read_series(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* window_spread(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* order_n_covariance(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* reversed_cholesky(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* forward_substitution(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* shell_vertex(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* suffix_lines(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gls_line(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* first_shell(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* shell_integral(PyObject* module, PyObject* args, PyObject* kwargs);

// The module's Column type (borrowed).
PyObject* column_type(PyObject* module);

}  // namespace zorv::analysis
