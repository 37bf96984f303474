#include "analysis_module/column_buffer.hpp"

#include <new>
#include <utility>

namespace zorv::analysis {
namespace {

struct Column {
    PyObject_HEAD
    FloatArray* values;
    Py_ssize_t shape;
    Py_ssize_t stride;
};

Column* as_column(PyObject* self) { return reinterpret_cast<Column*>(self); }

void column_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    delete as_column(self)->values;
    type->tp_free(self);
    Py_DecRef(reinterpret_cast<PyObject*>(type));
}

// One dimension of doubles, never writable; the values never move while the
// Column lives, so an export needs no bookkeeping.
int column_getbuffer(PyObject* self, Py_buffer* view, int flags) {
    if ((flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
        PyErr_SetString(PyExc_BufferError, "Column is read-only");
        view->obj = nullptr;
        return -1;
    }
    Column* column = as_column(self);
    view->buf = column->values->data();
    view->obj = Py_NewRef(self);
    view->len = column->shape * column->stride;
    view->readonly = 1;
    view->itemsize = column->stride;
    view->format = (flags & PyBUF_FORMAT) == PyBUF_FORMAT ? const_cast<char*>("d") : nullptr;
    view->ndim = 1;
    view->shape = (flags & PyBUF_ND) == PyBUF_ND ? &column->shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? &column->stride : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}

Py_ssize_t column_length(PyObject* self) { return as_column(self)->shape; }

PyType_Slot column_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(column_dealloc)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(column_getbuffer)},
    {Py_sq_length, reinterpret_cast<void*>(column_length)},
    {Py_tp_doc, const_cast<char*>("A read-only float64 column; numpy.asarray wraps it without a copy.")},
    {0, nullptr},
};

PyType_Spec column_spec = {
    "_zorv_analysis.Column", sizeof(Column), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, column_slots,
};

}  // namespace

PyObject* make_column_type(PyObject* module) {
    return PyType_FromModuleAndSpec(module, &column_spec, nullptr);
}

PyObject* new_column(PyObject* type, FloatArray&& values) {
    auto* column = PyObject_New(Column, reinterpret_cast<PyTypeObject*>(type));
    if (column == nullptr) return nullptr;
    column->values = nullptr;
    column->shape = static_cast<Py_ssize_t>(values.size());
    column->stride = sizeof(double);
    try {
        column->values = new FloatArray(std::move(values));
    } catch (const std::bad_alloc&) {
        Py_DecRef(reinterpret_cast<PyObject*>(column));
        return PyErr_NoMemory();
    }
    return reinterpret_cast<PyObject*>(column);
}

}  // namespace zorv::analysis
