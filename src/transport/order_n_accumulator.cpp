#include "transport/order_n_accumulator.hpp"

#include <algorithm>
#include <utility>

namespace zorv::transport {
namespace {

// A bound on the kept samples, far above any run's: their count times 8 bytes stays addressable.
constexpr std::size_t max_history = std::size_t{1} << 34;

// |x − h|² of every item against every slot of its history, added per group
// and slot in item order; then x takes slot `slot`. The norm of one item is
// ((d0² + d1²) + d2²): dims fixed at compile time keeps the slot loop vectorised.
template <std::size_t D>
void squared_increments(const double* __restrict frame, double* __restrict history, const std::uint32_t* group,
                        std::size_t items, std::size_t nbe, std::size_t slot, double* __restrict scratch) {
    for (std::size_t m = 0; m < items; ++m) {
        double* __restrict acc = scratch + group[m] * nbe;
        double* __restrict h = history + m * D * nbe;
        const double* x = frame + m * D;
        for (std::size_t s = 0; s < nbe; ++s) {
            const double d0 = x[0] - h[s];
            double norm = d0 * d0;
            for (std::size_t d = 1; d < D; ++d) {
                const double dd = x[d] - h[d * nbe + s];
                norm += dd * dd;
            }
            acc[s] += norm;
        }
        for (std::size_t d = 0; d < D; ++d) h[d * nbe + slot] = x[d];
    }
}

// The lag of slot s when sample n arrives: slot s holds the latest sample j < n with j ≡ s (mod nbe).
std::uint64_t lag_of(std::uint64_t n, std::size_t s, std::size_t nbe) {
    const std::uint64_t k = (n + nbe - s % nbe) % nbe;
    return k == 0 ? nbe : k;
}

}  // namespace

Result<OrderNAccumulator> OrderNAccumulator::create(OrderNSettings settings) {
    if (settings.nb < 1 || settings.nbe < 2) return value_error("nb must be at least 1 and nbe at least 2");
    if (settings.dims != 1 && settings.dims != 3) return value_error("dims must be 1 or 3");
    if (settings.group.empty() || settings.groups < 1) return value_error("need at least one item and one group");
    for (const std::uint32_t g : settings.group) {
        if (g >= settings.groups) return value_error("every item's group must lie below groups");
    }
    const std::size_t items = settings.group.size();
    const std::size_t per_block = settings.nbe * settings.dims;
    if (items > max_history / per_block / settings.nb) return value_error("the order-n history is too large");
    OrderNAccumulator a;
    a.nb_ = settings.nb;
    a.nbe_ = settings.nbe;
    a.dims_ = settings.dims;
    a.groups_ = settings.groups;
    a.products_ = settings.products;
    a.group_ = std::move(settings.group);
    a.taken_.assign(a.nb_, 0);
    a.history_.assign(a.nb_ * items * per_block, 0.0);
    a.sums_.assign(a.nb_ * a.nbe_ * a.groups_, -0.0);
    a.scratch_.assign(a.groups_ * a.nbe_, -0.0);
    if (a.products_) {
        const std::size_t pairs = a.groups_ * (a.groups_ + 1) / 2;
        a.collective_.assign(a.groups_ * a.dims_, -0.0);
        a.collective_history_.assign(a.nb_ * a.nbe_ * a.groups_ * a.dims_, 0.0);
        a.pair_sums_.assign(a.nb_ * a.nbe_ * pairs, -0.0);
    }
    return a;
}

void OrderNAccumulator::add(const double* frame) {
    if (products_) {
        // The groups' summed values, items in order from −0.0.
        collective_.assign(collective_.size(), -0.0);
        for (std::size_t m = 0; m < group_.size(); ++m) {
            for (std::size_t d = 0; d < dims_; ++d) collective_[group_[m] * dims_ + d] += frame[m * dims_ + d];
        }
    }
    // Block b + 1 samples the frames where block b takes a sample whose index is a multiple of nbe.
    for (std::size_t b = 0; b < nb_; ++b) {
        const std::uint64_t n = taken_[b];
        take(b, frame);
        if (n % nbe_ != 0) break;
    }
}

void OrderNAccumulator::take(std::size_t b, const double* frame) {
    const std::uint64_t n = taken_[b]++;
    const std::size_t slot = n % nbe_;
    double* history = history_.data() + b * group_.size() * dims_ * nbe_;
    scratch_.assign(scratch_.size(), -0.0);
    if (dims_ == 3) {
        squared_increments<3>(frame, history, group_.data(), group_.size(), nbe_, slot, scratch_.data());
    } else {
        squared_increments<1>(frame, history, group_.data(), group_.size(), nbe_, slot, scratch_.data());
    }
    add_scratch(b, n);
    if (products_) take_products(b, n);
}

void OrderNAccumulator::add_scratch(std::size_t b, std::uint64_t n) {
    for (std::size_t s = 0; s < nbe_; ++s) {
        const std::uint64_t k = lag_of(n, s, nbe_);
        if (k > n) continue;  // the slot holds no sample yet
        double* sums = sums_.data() + (b * nbe_ + (k - 1)) * groups_;
        for (std::size_t g = 0; g < groups_; ++g) sums[g] += scratch_[g * nbe_ + s];
    }
}

void OrderNAccumulator::take_products(std::size_t b, std::uint64_t n) {
    const std::size_t width = groups_ * dims_;
    const std::size_t pairs = groups_ * (groups_ + 1) / 2;
    double* block_history = collective_history_.data() + b * nbe_ * width;
    for (std::size_t s = 0; s < nbe_; ++s) {
        const std::uint64_t k = lag_of(n, s, nbe_);
        if (k > n) continue;
        const double* old = block_history + s * width;
        double* sums = pair_sums_.data() + (b * nbe_ + (k - 1)) * pairs;
        std::size_t pair = 0;
        for (std::size_t g = 0; g < groups_; ++g) {
            for (std::size_t h = g; h < groups_; ++h, ++pair) {
                double dot = (collective_[g * dims_] - old[g * dims_]) * (collective_[h * dims_] - old[h * dims_]);
                for (std::size_t d = 1; d < dims_; ++d) {
                    dot += (collective_[g * dims_ + d] - old[g * dims_ + d]) *
                           (collective_[h * dims_ + d] - old[h * dims_ + d]);
                }
                sums[pair] += dot;
            }
        }
    }
    std::copy(collective_.begin(), collective_.end(), block_history + (n % nbe_) * width);
}

OrderNTables OrderNAccumulator::tables() const {
    OrderNTables t;
    const std::size_t pairs = groups_ * (groups_ + 1) / 2;
    for (std::size_t b = 0; b < nb_ && taken_[b] >= 2; ++b) {
        const std::uint64_t coarse = taken_[b] - 1;
        for (std::uint64_t k = 1; k <= nbe_ && k <= coarse; ++k) {
            t.block.push_back(b);
            t.element.push_back(k);
            t.origins.push_back(coarse - k + 1);
            const double* sums = sums_.data() + (b * nbe_ + (k - 1)) * groups_;
            t.squares.insert(t.squares.end(), sums, sums + groups_);
            if (products_) {
                const double* p = pair_sums_.data() + (b * nbe_ + (k - 1)) * pairs;
                t.products.insert(t.products.end(), p, p + pairs);
            }
        }
    }
    return t;
}

}  // namespace zorv::transport
