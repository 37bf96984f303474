#include "analysis_module/borrowed_doubles.hpp"

#include <cstring>

namespace zorv::analysis {

bool BorrowedDoubles::borrow(PyObject* object, const char* name) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) < 0) {
        PyErr_Format(PyExc_TypeError, "%s must be a contiguous float64 array, not %.100s", name,
                     Py_TYPE(object)->tp_name);
        return false;
    }
    held_ = true;
    const char* format = view_.format == nullptr ? "B" : view_.format;
    if (view_.itemsize != sizeof(double) ||
        !(std::strcmp(format, "d") == 0 || std::strcmp(format, "<d") == 0 || std::strcmp(format, "=d") == 0)) {
        PyErr_Format(PyExc_TypeError, "%s must hold float64 values, not format '%s'", name, format);
        return false;
    }
    return true;
}

}  // namespace zorv::analysis
