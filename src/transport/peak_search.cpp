#include "transport/peak_search.hpp"

namespace zorv::transport {
namespace {

bool is_strict_peak(const FloatArray& data, std::uint64_t j, std::uint64_t neighbors) {
    const double centre = data[j];
    for (std::uint64_t m = 1; m <= neighbors; ++m) {
        // Written so that a NaN on either side rules the point out.
        if (!(centre > data[j - m]) || !(centre > data[j + m])) return false;
    }
    return true;
}

}  // namespace

std::uint64_t local_maximum_finder(const FloatArray& data, std::uint64_t search_start,
                                   std::uint64_t neighbor_count) {
    const std::uint64_t c = data.size();
    const std::uint64_t d = neighbor_count;
    // No candidate lies below 2^64, so nothing is searched.
    if (search_start > UINT64_MAX - d) return UINT64_MAX;
    const std::uint64_t fallback = search_start + d;
    // c <= 2d, tested as d >= ceil(c / 2) so that a huge d cannot wrap 2d
    // around and let c - d wrap below.
    if (d == 0 || d >= c / 2 + c % 2 || fallback >= c - d) return fallback;
    for (std::uint64_t j = fallback; j < c - d; ++j) {
        if (is_strict_peak(data, j, d)) return j;
    }
    return fallback;
}

}  // namespace zorv::transport
