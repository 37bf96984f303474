// A C-contiguous float64 buffer borrowed for the length of one call.
#pragma once

#include <cstddef>

#include "module/python_api.hpp"

namespace zorv::analysis {

class BorrowedDoubles {
public:
    BorrowedDoubles() = default;
    BorrowedDoubles(const BorrowedDoubles&) = delete;
    BorrowedDoubles& operator=(const BorrowedDoubles&) = delete;
    ~BorrowedDoubles() {
        if (held_) PyBuffer_Release(&view_);
    }

    // False with TypeError set unless object lends contiguous doubles.
    bool borrow(PyObject* object, const char* name);
    const double* data() const noexcept { return static_cast<const double*>(view_.buf); }
    std::size_t size() const noexcept { return static_cast<std::size_t>(view_.len) / sizeof(double); }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace zorv::analysis
