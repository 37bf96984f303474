// Native values to and from Python objects, for the analysis module.
#pragma once

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

// A str from UTF-8 bytes, bad bytes replaced.
PyObject* text(std::string_view bytes);

}  // namespace zorv::analysis
