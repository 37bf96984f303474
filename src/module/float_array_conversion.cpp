#include <algorithm>
#include <cstdint>

#include "common/call_abort.hpp"
#include "module/conversions.hpp"
#include "module/double_buffer.hpp"
#include "module/process_caches.hpp"
#include "module/type_refusal.hpp"

namespace zorv::module {
namespace {

// Lengths from 2^60 on would need more bytes than a signed 64-bit size holds.
constexpr std::uint64_t kCapacityLimit = std::uint64_t{1} << 60;
// The announced length is only a hint (a __len__ may lie): reserve at most this
// many items up front and let the array grow past it if the items are really there.
constexpr std::size_t kReserveCeiling = std::size_t{1} << 24;

void refuse_non_sequence(PyObject* object) {
    PyObject* sequence = sequence_abc_class();
    if (sequence == nullptr) {
        ensure_exception_set();
        return;
    }
    refuse_type(object, qualified_type_name(reinterpret_cast<PyTypeObject*>(sequence)));
}

void reserve_expected(PyObject* object, FloatArray& out) {
    Py_ssize_t expected = PyObject_Size(object);
    if (expected < 0) {
        PyErr_Clear();
        expected = 0;
    }
    if (static_cast<std::uint64_t>(expected) >= kCapacityLimit) {
        throw CallAbort("capacity overflow");
    }
    out.reserve(std::min(static_cast<std::size_t>(expected), kReserveCeiling));
}

bool append_item(PyObject* item, FloatArray& out) {
    double value = 0.0;
    if (!to_float(item, value)) {
        return false;
    }
    out.push_back(value);
    return true;
}

// Exact lists and tuples are read by index; this sees the same items in the
// same order as their iterators would (a list is re-measured at every step,
// as its iterator does, in case an item's __float__ changes it).
bool read_list(PyObject* list, FloatArray& out) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
#ifdef Py_GIL_DISABLED
        Ref item(PyList_GetItemRef(list, i));
        if (!item) {
            PyErr_Clear();
            break;
        }
#else
        PyObject* borrowed = PyList_GET_ITEM(list, i);
        if (PyFloat_CheckExact(borrowed)) {
            // Nothing can run between reading the item and its value.
            out.push_back(PyFloat_AS_DOUBLE(borrowed));
            continue;
        }
        Ref item(Py_NewRef(borrowed));
#endif
        if (!append_item(item.get(), out)) {
            return false;
        }
    }
    return true;
}

bool read_tuple(PyObject* tuple, FloatArray& out) {
    const Py_ssize_t size = PyTuple_GET_SIZE(tuple);
    for (Py_ssize_t i = 0; i < size; ++i) {
        if (!append_item(PyTuple_GET_ITEM(tuple, i), out)) {
            return false;
        }
    }
    return true;
}

bool read_iterable(PyObject* object, FloatArray& out) {
    Ref iterator(PyObject_GetIter(object));
    if (!iterator) {
        ensure_exception_set();
        return false;
    }
    for (;;) {
        PyObject* raw = nullptr;
        const int status = next_item(iterator.get(), &raw);
        if (status == 0) {
            return true;
        }
        if (status < 0) {
            ensure_exception_set();
            return false;
        }
        Ref item(raw);
        if (!append_item(item.get(), out)) {
            return false;
        }
    }
}

}  // namespace

bool to_float_array(PyObject* object, FloatArray& out) {
    if (PyUnicode_Check(object)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(object)) {
        refuse_non_sequence(object);
        return false;
    }
    reserve_expected(object, out);
    bool done = false;
    if (PyList_CheckExact(object)) {
        done = read_list(object, out);
    } else if (PyTuple_CheckExact(object)) {
        done = read_tuple(object, out);
    } else if (read_double_buffer(object, out)) {
        done = true;
    } else {
        done = read_iterable(object, out);
    }
    if (!done) {
        out.clear();
        out.shrink_to_fit();
    }
    return done;
}

}  // namespace zorv::module
