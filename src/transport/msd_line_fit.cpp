#include "transport/msd_line_fit.hpp"

#include <limits>

namespace zorv::transport {

RawLineFit fit_raw_line(const double* x, const double* y, std::uint64_t count) {
    double sx = -0.0, sy = -0.0, sxy = -0.0, sxx = -0.0;
    for (std::uint64_t i = 0; i < count; ++i) {
        sx += x[i];
        sy += y[i];
        sxy += x[i] * y[i];
        sxx += x[i] * x[i];
    }
    const double w = static_cast<double>(count);
    const double den = sxx * w - sx * sx;
    double slope = std::numeric_limits<double>::quiet_NaN();
    double intercept = std::numeric_limits<double>::quiet_NaN();
    if (den != 0.0) {
        slope = (sxy * w - sx * sy) / den;
        intercept = (sy - sx * slope) / w;
    }
    FloatArray fitted(count);
    // The product is rounded before the addition: no fused multiply-add.
    for (std::uint64_t i = 0; i < count; ++i) fitted[i] = x[i] * slope + intercept;
    return {slope, std::move(fitted)};
}

}  // namespace zorv::transport
