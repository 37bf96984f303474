#include "transport/sample_statistics.hpp"

#include <cmath>
#include <limits>

namespace zorv::transport {

std::tuple<double, double, std::uint64_t> repacking_results(const FloatArray& d_array) {
    double sum = -0.0;
    std::uint64_t count = 0;
    for (const double v : d_array) {
        if (!std::isfinite(v)) continue;
        sum += v;
        ++count;
    }
    if (count == 0) {
        constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
        return {kNaN, kNaN, 0};
    }
    const double n = static_cast<double>(count);
    const double mean = sum / n;
    double squares = -0.0;
    for (const double v : d_array) {
        if (std::isfinite(v)) squares += (v - mean) * (v - mean);
    }
    return {mean, std::sqrt(squares / n), count};
}

}  // namespace zorv::transport
