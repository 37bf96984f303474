#include "module/call_boundary.hpp"

#include <cstdio>
#include <cstdlib>

#include "module/exception_class.hpp"
#include "module/process_caches.hpp"

namespace zorv::module {
namespace {

[[noreturn]] void uncaught_panic() {
    std::fputs("uncaught panic at ffi boundary\n", stderr);
    std::fflush(stderr);
    std::abort();
}

void set_panic(const CallAbort& abort) {
    PyObject* panic = panic_exception_class();
    if (panic == nullptr) {
        Py_FatalError("_zorv_pp: could not create PanicException");
    }
    Ref message(PyUnicode_DecodeUTF8(abort.message.data(),
                                     static_cast<Py_ssize_t>(abort.message.size()), "replace"));
    if (!message) {
        uncaught_panic();
    }
    PyErr_SetObject(panic, message.get());
}

}  // namespace

void raise_call_error(const CallError& error) {
    Ref message(PyUnicode_DecodeUTF8(error.message.data(),
                                     static_cast<Py_ssize_t>(error.message.size()), "replace"));
    if (!message) {
        return;  // the decoding failure stays pending
    }
    PyErr_SetObject(exception_class(error.kind), message.get());
}

void raise_abort(const CallAbort& abort) noexcept {
    try {
        std::fprintf(stderr, "_zorv_pp: call aborted at %s:%u (%s): %s\n", abort.where.file_name(),
                     static_cast<unsigned>(abort.where.line()), abort.where.function_name(),
                     abort.message.c_str());
        std::fflush(stderr);
        set_panic(abort);
    } catch (...) {
        uncaught_panic();
    }
}

}  // namespace zorv::module
