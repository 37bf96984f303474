// The RDF shell's vertex fit: a small least-squares polynomial and its
// extremum, which numpy would build a dozen objects for.
#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/borrowed_doubles.hpp"
#include "analysis_module/python_values.hpp"
#include "transport/shell_vertex.hpp"

namespace zorv::analysis {

PyObject* shell_vertex(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"x", "y", "degree", "sign", nullptr};
    PyObject* x_object = nullptr;
    PyObject* y_object = nullptr;
    int degree = 0;
    double sign = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOid:shell_vertex", const_cast<char**>(keywords), &x_object,
                                     &y_object, &degree, &sign)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles x;
        BorrowedDoubles y;
        if (!x.borrow(x_object, "x") || !y.borrow(y_object, "y")) return nullptr;
        if (x.size() != y.size() || degree < 0 || degree > 4 || (sign != 1.0 && sign != -1.0)) {
            PyErr_SetString(PyExc_ValueError, "x and y must be of one length, degree 0 to 4 and sign 1 or -1");
            return nullptr;
        }
        const transport::ShellVertex vertex = transport::shell_vertex(x.data(), y.data(), x.size(), degree, sign);
        if (!vertex.fitted) Py_RETURN_NONE;
        return Py_BuildValue("(Odd)", vertex.found ? Py_True : Py_False, vertex.offset, vertex.value);
    });
}

}  // namespace zorv::analysis
