// Native values to and from Python objects, for the analysis module.
#pragma once

#include <new>
#include <string_view>

#include "common/call_error.hpp"
#include "common/float_array.hpp"
#include "module/python_api.hpp"
#include "readers/table_rows.hpp"

namespace zorv::analysis {

using module::Ref;

// Sets the exception of a native error: its class with its message.
void raise_error(const CallError& error);

// A float64 buffer or any sequence of numbers as doubles; false with
// TypeError set otherwise.
bool to_float_array(PyObject* object, FloatArray& out, const char* name);

// The layout named "transport" or "thermo"; false with ValueError set otherwise.
bool to_layout(const char* name, readers::TableLayout& layout);

// The damage report as a dict; `names` label damage.columns in order.
PyObject* damage_dict(const readers::TableDamage& damage, PyObject* names);

// Runs the native work with the interpreter released, so threads read files
// and factor matrices side by side.
template <class Work>
auto without_interpreter(Work&& work) {
    PyThreadState* state = PyEval_SaveThread();
    try {
        auto result = work();
        PyEval_RestoreThread(state);
        return result;
    } catch (...) {
        PyEval_RestoreThread(state);
        throw;
    }
}

// The body of a call: out of memory becomes MemoryError, never a crash.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
}

// A str from UTF-8 bytes, bad bytes replaced.
PyObject* text(std::string_view bytes);

}  // namespace zorv::analysis
