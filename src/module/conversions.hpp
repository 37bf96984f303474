// The four conversions of a bound argument to a native value. Each returns
// false with the interpreter's exception pending when the object is refused.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/float_array.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

bool to_float(PyObject* object, double& out);
bool to_count(PyObject* object, std::uint64_t& out);
// The view stays valid while the object lives (the call's arguments do).
bool to_text(PyObject* object, std::string_view& out);
// Throws CallAbort("capacity overflow") when the announced length cannot be stored.
bool to_float_array(PyObject* object, FloatArray& out);

// Overloads picked by a computation's parameter types.
inline bool convert(PyObject* object, double& out) { return to_float(object, out); }
inline bool convert(PyObject* object, std::uint64_t& out) { return to_count(object, out); }
inline bool convert(PyObject* object, std::string_view& out) { return to_text(object, out); }
inline bool convert(PyObject* object, FloatArray& out) { return to_float_array(object, out); }

}  // namespace zorv::module
