// Binary search of a sorted sequence with NaN ordered last, the way
// numpy.searchsorted finds one key: the same index even where the sequence
// is not quite sorted, so a curve's edge cases land where numpy's did.
#pragma once

#include <cstddef>

namespace zorv::transport {

// a < b with NaN above every number.
inline bool sorts_before(double a, double b) noexcept { return a < b || (b != b && a == a); }

// The first index i of at(0..size) with key <= at(i) ("left"), or with
// key < at(i) ("right"); size when there is none.
template <class At>
std::size_t search_left(const At& at, std::size_t size, double key) {
    std::size_t low = 0, high = size;
    while (low < high) {
        const std::size_t middle = low + ((high - low) >> 1);
        if (sorts_before(at(middle), key)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

template <class At>
std::size_t search_right(const At& at, std::size_t size, double key) {
    std::size_t low = 0, high = size;
    while (low < high) {
        const std::size_t middle = low + ((high - low) >> 1);
        if (sorts_before(key, at(middle))) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

}  // namespace zorv::transport
