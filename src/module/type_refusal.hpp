// The TypeError raised when an object is not of the class a step requires.
#pragma once

#include <string>

#include "module/python_api.hpp"

namespace zorv::module {

// Qualified name of a class, or "<failed to extract type name>".
std::string qualified_type_name(PyTypeObject* type);

// Sets "'{type}' object is not an instance of '{target}'", or
// "'None' is not an instance of '{target}'" when the object is None.
void refuse_type(PyObject* object, const std::string& target);

}  // namespace zorv::module
