// The Python exception class of each kind of CallError, shared by both extension modules.
#pragma once

#include "common/call_error.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

inline PyObject* exception_class(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::ValueError: return PyExc_ValueError;
        case ErrorKind::OSError: return PyExc_OSError;
        case ErrorKind::TypeError: return PyExc_TypeError;
    }
    return PyExc_SystemError;
}

}  // namespace zorv::module
