// The RDF's first shell in one call: the grid, the smoothing, the search and
// the fits, which numpy spent a few hundred microseconds of objects on.
#include "analysis_module/analysis_functions.hpp"
#include "analysis_module/borrowed_doubles.hpp"
#include "analysis_module/python_values.hpp"
#include "transport/first_shell.hpp"
#include "transport/shell_integral.hpp"

namespace zorv::analysis {
namespace {

// (centre, at, value), at and value None when the points did not determine the polynomial.
PyObject* extremum_tuple(const transport::ShellExtremum& e) {
    if (!e.fitted) return Py_BuildValue("(dOO)", e.centre, Py_None, Py_None);
    return Py_BuildValue("(ddd)", e.centre, e.at, e.value);
}

PyObject* shell_tuple(const transport::FirstShell& shell) {
    if (!shell.peak) Py_RETURN_NONE;
    Ref peak(extremum_tuple(*shell.peak));
    if (!peak) return nullptr;
    Ref minimum(shell.minimum ? extremum_tuple(*shell.minimum) : Py_NewRef(Py_None));
    if (!minimum) return nullptr;
    return Py_BuildValue("(OOd)", peak.get(), minimum.get(), shell.integral);
}

}  // namespace

PyObject* first_shell(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"radius", "g", "scale", nullptr};
    PyObject* radius_object = nullptr;
    PyObject* g_object = nullptr;
    double scale = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOd:first_shell", const_cast<char**>(keywords), &radius_object,
                                     &g_object, &scale)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles radius;
        BorrowedDoubles g;
        if (!radius.borrow(radius_object, "radius") || !g.borrow(g_object, "g")) return nullptr;
        if (radius.size() != g.size()) {
            PyErr_SetString(PyExc_ValueError, "radius and g must be of one length");
            return nullptr;
        }
        Result<transport::FirstShell> shell = without_interpreter(
            [&] { return transport::first_shell(radius.data(), g.data(), radius.size(), scale); });
        if (!shell) {
            raise_error(shell.error());
            return nullptr;
        }
        return shell_tuple(shell.value());
    });
}

PyObject* shell_integral(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"radius", "g", "upto", nullptr};
    PyObject* radius_object = nullptr;
    PyObject* g_object = nullptr;
    double upto = 0.0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOd:shell_integral", const_cast<char**>(keywords),
                                     &radius_object, &g_object, &upto)) {
        return nullptr;
    }
    return guarded([&]() -> PyObject* {
        BorrowedDoubles radius;
        BorrowedDoubles g;
        if (!radius.borrow(radius_object, "radius") || !g.borrow(g_object, "g")) return nullptr;
        if (radius.size() != g.size() || radius.size() < 2) {
            PyErr_SetString(PyExc_ValueError, "radius and g must be of one length, two rows at least");
            return nullptr;
        }
        return PyFloat_FromDouble(transport::shell_integral(radius.data(), g.data(), radius.size(), upto));
    });
}

}  // namespace zorv::analysis
