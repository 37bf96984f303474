#include <limits>

#include "module/conversions.hpp"
#include "module/type_refusal.hpp"

namespace zorv::module {

bool to_float(PyObject* object, double& out) {
    if (PyFloat_CheckExact(object)) {
        out = PyFloat_AS_DOUBLE(object);
        return true;
    }
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) {
        return false;
    }
    out = value;
    return true;
}

namespace {

bool int_to_count(PyObject* integer, std::uint64_t& out) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
    if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

bool to_count(PyObject* object, std::uint64_t& out) {
    if (PyLong_Check(object)) {
        return int_to_count(object, out);
    }
    Ref integer(PyNumber_Index(object));
    if (!integer) {
        ensure_exception_set();
        return false;
    }
    return int_to_count(integer.get(), out);
}

bool to_text(PyObject* object, std::string_view& out) {
    if (!PyUnicode_Check(object)) {
        refuse_type(object, "str");
        return false;
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) {
        ensure_exception_set();
        return false;
    }
    out = std::string_view(text, static_cast<std::size_t>(size));
    return true;
}

}  // namespace zorv::module
