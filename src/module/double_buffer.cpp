#include "module/double_buffer.hpp"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zorv::module {
namespace {

// Exact classes only: a subclass may change what iteration yields. Only classes
// defined in C carry a dotted tp_name (a Python class named ndarray in a module
// called numpy has the bare name), so no other class can pass this test, and
// numpy need not be imported to make it.
bool exports_iteration_values(PyTypeObject* type) {
    const std::string_view name(type->tp_name);
    return name == "numpy.ndarray" || name == "array.array";
}

// Native byte order and IEEE double: the bits iteration would hand over.
bool holds_native_doubles(const Py_buffer& view) {
    if (view.ndim != 1 || view.itemsize != sizeof(double) || view.format == nullptr ||
        view.shape == nullptr || view.strides == nullptr) {
        return false;
    }
    const std::string_view format(view.format);
    constexpr std::string_view native_order =
        std::endian::native == std::endian::little ? "<d" : ">d";
    return format == "d" || format == "@d" || format == "=d" || format == native_order;
}

class BufferView {
public:
    explicit BufferView(PyObject* object) {
        exported_ = PyObject_GetBuffer(object, &view_, PyBUF_RECORDS_RO) == 0;
        if (!exported_) {
            PyErr_Clear();  // the iteration path will report whatever is wrong
        }
    }
    ~BufferView() {
        if (exported_) {
            PyBuffer_Release(&view_);
        }
    }
    BufferView(const BufferView&) = delete;
    BufferView& operator=(const BufferView&) = delete;

    bool exported() const { return exported_; }
    const Py_buffer& view() const { return view_; }

private:
    Py_buffer view_{};
    bool exported_ = false;
};

void copy_doubles(const Py_buffer& view, FloatArray& out) {
    const auto count = static_cast<std::size_t>(view.shape[0]);
    const Py_ssize_t stride = view.strides[0];
    const char* first = static_cast<const char*>(view.buf);
    if (stride == sizeof(double) &&
        reinterpret_cast<std::uintptr_t>(first) % alignof(double) == 0) {
        const auto* values = reinterpret_cast<const double*>(first);
        out.assign(values, values + count);
        return;
    }
    // Strided (possibly backwards) or unaligned: one element at a time.
    out.clear();
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        double value = 0.0;
        std::memcpy(&value, first + static_cast<Py_ssize_t>(i) * stride, sizeof value);
        out.push_back(value);
    }
}

}  // namespace

bool read_double_buffer(PyObject* object, FloatArray& out) {
    if (!exports_iteration_values(Py_TYPE(object))) {
        return false;
    }
    const BufferView buffer(object);
    if (!buffer.exported() || !holds_native_doubles(buffer.view())) {
        return false;
    }
    copy_doubles(buffer.view(), out);
    return true;
}

}  // namespace zorv::module
