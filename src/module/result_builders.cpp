#include "module/result_builders.hpp"

#include "common/call_abort.hpp"

namespace zorv::module {
namespace {

// The interpreter could not create an object: report whatever it left pending
// as unraisable and abort the call.
PyObject* created(PyObject* object) {
    if (object == nullptr) {
        if (PyErr_Occurred()) {
            PyErr_WriteUnraisable(nullptr);
        }
        throw CallAbort("PyObject pointer is null");
    }
    return object;
}

}  // namespace

PyObject* py_float(double value) { return created(PyFloat_FromDouble(value)); }

PyObject* py_int(std::uint64_t value) {
    return created(PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(value)));
}

PyObject* py_float_list(FloatArray&& values) {
    const FloatArray owned = std::move(values);
    Ref list(created(PyList_New(static_cast<Py_ssize_t>(owned.size()))));
    for (std::size_t i = 0; i < owned.size(); ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), py_float(owned[i]));
    }
    return list.release();
}

PyObject* py_tuple(std::initializer_list<PyObject*> members) {
    std::size_t taken = 0;
    try {
        Ref tuple(created(PyTuple_New(static_cast<Py_ssize_t>(members.size()))));
        for (PyObject* member : members) {
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(taken), member);
            ++taken;
        }
        return tuple.release();
    } catch (...) {
        for (PyObject* member : members) {
            Py_DecRef(member);
        }
        throw;
    }
}

PyObject* py_column_dict(ColumnTable&& table) {
    ColumnTable owned = std::move(table);
    Ref dict(created(PyDict_New()));
    for (auto& [name, values] : owned.columns) {
        Ref key(created(
            PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()))));
        Ref list(py_float_list(std::move(values)));
        if (PyDict_SetItem(dict.get(), key.get(), list.get()) < 0) {
            ensure_exception_set();
            return nullptr;
        }
    }
    return dict.release();
}

}  // namespace zorv::module
