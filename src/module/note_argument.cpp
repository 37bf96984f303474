#include "module/note_argument.hpp"

#include "module/process_caches.hpp"
#include "module/python_api.hpp"

namespace zorv::module {

void note_argument(const char* parameter) {
    PyObject* exception = take_exception();
    if (exception == nullptr) {
        ensure_exception_set();
        return;
    }
    Ref note(PyUnicode_FromFormat("while processing '%s'", parameter));
    PyObject* add_note = interned_add_note();
    if (note && add_note != nullptr) {
        Ref outcome(PyObject_CallMethodOneArg(exception, add_note, note.get()));
    }
    // A failure to add the note is dropped: the original exception matters.
    PyErr_Clear();
    restore_exception(exception);
}

}  // namespace zorv::module
