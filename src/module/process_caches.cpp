#include "module/process_caches.hpp"

#include <atomic>
#include <mutex>

namespace zorv::module {
namespace {

// An object made at most once per process, even when several threads ask for
// it first at the same moment. A thread that must wait for another's creation
// lets go of the interpreter lock while it waits: the creator may need that
// lock (an import does), so waiting with it held could deadlock.
class OnceObject {
public:
    using Factory = PyObject* (*)();

    PyObject* get(Factory make) {
        if (PyObject* ready = value_.load(std::memory_order_acquire)) {
            return ready;
        }
        if (!mutex_.try_lock()) {
            Py_BEGIN_ALLOW_THREADS
            mutex_.lock();
            Py_END_ALLOW_THREADS
        }
        std::lock_guard<std::mutex> guard(mutex_, std::adopt_lock);
        PyObject* value = value_.load(std::memory_order_acquire);
        if (value == nullptr) {
            value = make();
            if (value != nullptr) {
                value_.store(value, std::memory_order_release);
            }
        }
        return value;
    }

private:
    std::atomic<PyObject*> value_{nullptr};
    std::mutex mutex_;
};

constexpr const char* kPanicDoc =
    "The exception raised when the extension's own code fails while it is called from\n"
    "Python: a broken internal invariant, not bad input.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that an\n"
    "ordinary `except Exception` does not swallow it: it will typically propagate all\n"
    "the way up the stack and end the interpreter.";

PyObject* make_panic_exception() {
    return PyErr_NewExceptionWithDoc("vuxo_runtime.PanicException", kPanicDoc,
                                     PyExc_BaseException, nullptr);
}

PyObject* make_sequence_abc() {
    Ref abc(PyImport_ImportModule("collections.abc"));
    if (!abc) {
        return nullptr;
    }
    return PyObject_GetAttrString(abc.get(), "Sequence");
}

template <const char* Text>
PyObject* make_interned() {
    return PyUnicode_InternFromString(Text);
}

constexpr char kAddNote[] = "add_note";
constexpr char kAll[] = "__all__";
constexpr char kName[] = "__name__";

OnceObject panic_cache;
OnceObject sequence_cache;
OnceObject add_note_cache;
OnceObject all_cache;
OnceObject name_cache;

}  // namespace

PyObject* panic_exception_class() { return panic_cache.get(make_panic_exception); }
PyObject* sequence_abc_class() { return sequence_cache.get(make_sequence_abc); }
PyObject* interned_add_note() { return add_note_cache.get(make_interned<kAddNote>); }
PyObject* interned_all() { return all_cache.get(make_interned<kAll>); }
PyObject* interned_name() { return name_cache.get(make_interned<kName>); }

}  // namespace zorv::module
