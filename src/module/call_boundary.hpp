// Where a call's native failures become Python exceptions.
#pragma once

#include <new>

#include "common/call_abort.hpp"
#include "common/call_error.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

// Sets the exception of a computation's error: exactly the error's class, with
// the message as its one argument.
void raise_call_error(const CallError& error);

// Writes the diagnostic to standard error and sets PanicException. Ends the
// process if that itself fails.
void raise_abort(const CallAbort& abort) noexcept;

// Runs a call's body inside the abort boundary: an abort anywhere below becomes
// PanicException, and null is never returned without an exception set.
template <class Body>
PyObject* guarded_call(Body&& body) noexcept {
    try {
        PyObject* result = body();
        if (result == nullptr) {
            ensure_exception_set();
        }
        return result;
    } catch (const CallAbort& abort) {
        raise_abort(abort);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
    return nullptr;
}

}  // namespace zorv::module
