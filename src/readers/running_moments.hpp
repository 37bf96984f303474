// Count, sum and variance of a stream of values, one value at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorv::readers {

// The sum adds left to right from -0.0. The variance takes chunks of
// kChunk values: each chunk's mean and squared deviations from it (two
// passes over values still in cache), merged into the running ones with
// Chan, Golub and LeVeque's update. That stays exact to rounding on long
// series whose mean is large against their spread (a temperature near
// 300 K), like Welford's update, but costs one division per chunk instead
// of one per value, which a parse loop otherwise waits on.
class RunningMoments {
public:
    void add(double value) noexcept {
        sum_ += value;
        ++count_;
        chunk_[filled_++] = value;
        if (filled_ == kChunk) merge_chunk();
    }

    std::uint64_t count() const noexcept { return count_; }
    double sum() const noexcept { return sum_; }

    // Squared deviations from the mean, summed (divide by the count for the
    // population variance).
    double squares() noexcept {
        merge_chunk();
        return squares_;
    }

private:
    static constexpr std::size_t kChunk = 64;

    void merge_chunk() noexcept {
        if (filled_ == 0) return;
        double chunk_sum = -0.0;
        for (std::size_t i = 0; i < filled_; ++i) chunk_sum += chunk_[i];
        const double size = static_cast<double>(filled_);
        const double chunk_mean = chunk_sum / size;
        double chunk_squares = -0.0;
        for (std::size_t i = 0; i < filled_; ++i) {
            const double d = chunk_[i] - chunk_mean;
            chunk_squares += d * d;
        }
        const double before = static_cast<double>(merged_);
        const double total = before + size;
        const double delta = chunk_mean - mean_;
        mean_ += delta * (size / total);
        squares_ += chunk_squares + delta * delta * (before * size / total);
        merged_ += filled_;
        filled_ = 0;
    }

    double sum_ = -0.0;
    std::uint64_t count_ = 0;
    std::array<double, kChunk> chunk_{};
    std::size_t filled_ = 0;
    double mean_ = 0.0;
    double squares_ = 0.0;
    std::uint64_t merged_ = 0;
};

}  // namespace zorv::readers
