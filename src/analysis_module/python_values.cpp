#include "analysis_module/python_values.hpp"

#include <cstring>

#include "module/exception_class.hpp"

namespace zorv::analysis {
namespace {

bool from_buffer(PyObject* object, FloatArray& out) {
    Py_buffer view;
    if (PyObject_GetBuffer(object, &view, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) < 0) {
        PyErr_Clear();
        return false;
    }
    const bool doubles = view.ndim == 1 && view.itemsize == sizeof(double) && view.format != nullptr &&
                         (std::strcmp(view.format, "d") == 0 || std::strcmp(view.format, "<d") == 0 ||
                          std::strcmp(view.format, "=d") == 0);
    if (doubles) {
        const auto* values = static_cast<const double*>(view.buf);
        out.assign(values, values + view.len / static_cast<Py_ssize_t>(sizeof(double)));
    }
    PyBuffer_Release(&view);
    return doubles;
}

// A dict item whose value is a new reference; false with an exception set.
bool set_item(PyObject* dict, const char* key, PyObject* value) {
    Ref owned(value);
    return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

PyObject* column_faults(const readers::TableDamage& damage, PyObject* names) {
    Ref faults(PyList_New(0));
    if (!faults) return nullptr;
    for (std::size_t k = 0; k < damage.columns.size(); ++k) {
        const readers::ColumnFaults& column = damage.columns[k];
        if (column.nonfinite == 0) continue;
        Ref entry(Py_BuildValue("(OKK)", PyList_GET_ITEM(names, static_cast<Py_ssize_t>(k)),
                                static_cast<unsigned long long>(column.nonfinite),
                                static_cast<unsigned long long>(column.first_line)));
        if (!entry || PyList_Append(faults.get(), entry.get()) < 0) return nullptr;
    }
    return faults.release();
}

}  // namespace

void raise_error(const CallError& error) {
    Ref message(text(error.message));
    if (message) PyErr_SetObject(module::exception_class(error.kind), message.get());
}

PyObject* text(std::string_view bytes) {
    return PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace");
}

bool to_float_array(PyObject* object, FloatArray& out, const char* name) {
    if (from_buffer(object, out)) return true;
    Ref items(PySequence_Fast(object, ""));
    if (!items) {
        PyErr_Format(PyExc_TypeError, "%s must be a sequence of numbers, not %.100s", name, Py_TYPE(object)->tp_name);
        return false;
    }
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(items.get());
    out.resize(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        const double value = PyFloat_AsDouble(PySequence_Fast_GET_ITEM(items.get(), i));
        if (value == -1.0 && PyErr_Occurred()) {
            PyErr_Format(PyExc_TypeError, "%s[%zd] is not a number", name, i);
            return false;
        }
        out[static_cast<std::size_t>(i)] = value;
    }
    return true;
}

bool to_layout(const char* name, readers::TableLayout& layout) {
    if (std::strcmp(name, "transport") == 0) {
        layout = readers::TableLayout::transport;
    } else if (std::strcmp(name, "thermo") == 0) {
        layout = readers::TableLayout::thermo;
    } else {
        PyErr_Format(PyExc_ValueError, "layout must be 'transport' or 'thermo', not '%.100s'", name);
        return false;
    }
    return true;
}

PyObject* damage_dict(const readers::TableDamage& damage, PyObject* names) {
    Ref dict(PyDict_New());
    if (!dict) return nullptr;
    const auto count = [](std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); };
    const bool ok = set_item(dict.get(), "skipped_lines", count(damage.skipped_lines)) &&
                    set_item(dict.get(), "first_skipped", count(damage.first_skipped)) &&
                    set_item(dict.get(), "cut_line", count(damage.cut_line)) &&
                    set_item(dict.get(), "cut_row", PyBool_FromLong(damage.cut_row)) &&
                    set_item(dict.get(), "headers", count(damage.headers)) &&
                    set_item(dict.get(), "header_line", count(damage.header_line)) &&
                    set_item(dict.get(), "first_row_line", count(damage.first_row_line)) &&
                    set_item(dict.get(), "nonfinite", column_faults(damage, names));
    return ok ? dict.release() : nullptr;
}

}  // namespace zorv::analysis
