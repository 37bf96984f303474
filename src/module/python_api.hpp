// The Python C API as this module uses it, with stand-ins for calls that
// older interpreters (down to 3.11) lack.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

namespace zorv::module {

// A strong reference released when it goes out of scope. Released through the
// exported Py_DecRef: on Debian's debug interpreter the inline Py_DECREF of an
// extension leaves sys.gettotalrefcount() off by one per object it frees.
struct DecRef {
    void operator()(PyObject* object) const noexcept { Py_DecRef(object); }
};
using Ref = std::unique_ptr<PyObject, DecRef>;

// Next item of an iterator: 1 with *item set, 0 when exhausted, -1 on error.
inline int next_item(PyObject* iterator, PyObject** item) {
#if PY_VERSION_HEX >= 0x030E0000
    return PyIter_NextItem(iterator, item);
#else
    *item = PyIter_Next(iterator);
    if (*item != nullptr) {
        return 1;
    }
    return PyErr_Occurred() ? -1 : 0;
#endif
}

// Takes the pending exception as a normalised instance (new reference), or null.
inline PyObject* take_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return PyErr_GetRaisedException();
#else
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) {
        return nullptr;
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) {
        PyException_SetTraceback(value, traceback);
    }
    Py_DecRef(type);
    Py_DecRef(traceback);
    return value;
#endif
}

// Makes an exception instance pending again; steals the reference.
inline void restore_exception(PyObject* exception) {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyObject* type = Py_NewRef(reinterpret_cast<PyObject*>(Py_TYPE(exception)));
    PyErr_Restore(type, exception, PyException_GetTraceback(exception));
#endif
}

// Reads an attribute that may be absent: 1 found, 0 absent (*value null), -1 error.
inline int get_optional_attr(PyObject* object, PyObject* name, PyObject** value) {
#if PY_VERSION_HEX >= 0x030D0000
    return PyObject_GetOptionalAttr(object, name, value);
#else
    *value = PyObject_GetAttr(object, name);
    if (*value != nullptr) {
        return 1;
    }
    if (PyErr_ExceptionMatches(PyExc_AttributeError)) {
        PyErr_Clear();
        return 0;
    }
    return -1;
#endif
}

// An interpreter call reported failure: make sure an exception is pending.
inline void ensure_exception_set() {
    if (!PyErr_Occurred()) {
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    }
}

}  // namespace zorv::module
