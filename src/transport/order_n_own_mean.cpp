#include "transport/order_n_own_mean.hpp"

#include <algorithm>

namespace zorv::transport {

BlockEnds::BlockEnds(std::size_t nb, std::size_t nbe)
    : nb_(nb), nbe_(nbe), taken_(nb, 0), first_(nb * nbe, 0.0), last_(nb * nbe, 0.0) {}

void BlockEnds::add(double value) {
    for (std::size_t b = 0; b < nb_; ++b) {
        const std::uint64_t n = taken_[b]++;
        if (n < nbe_) first_[b * nbe_ + n] = value;
        last_[b * nbe_ + n % nbe_] = value;
        if (n % nbe_ != 0) break;
    }
}

double BlockEnds::increments(std::size_t b, std::uint64_t k) const {
    const std::uint64_t n = taken_[b];
    double late = -0.0, early = -0.0;
    for (std::uint64_t j = n - k; j < n; ++j) late += last_[b * nbe_ + j % nbe_];
    for (std::uint64_t j = 0; j < k; ++j) early += first_[b * nbe_ + j];
    return late - early;
}

double centred_squares(double squares, double increments, double origins, double lag, double mean) {
    const double centred = squares - 2.0 * lag * mean * increments + origins * lag * lag * (mean * mean);
    return std::max(centred, 0.0);
}

}  // namespace zorv::transport
