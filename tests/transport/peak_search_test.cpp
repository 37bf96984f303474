#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "transport/peak_search.hpp"

namespace zorv::transport {
namespace {

constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PeakCase {
    FloatArray data;
    std::uint64_t search_start, neighbor_count, expected;
};

class PeakCases : public ::testing::TestWithParam<PeakCase> {};

TEST_P(PeakCases, FindTheFirstStrictMaximum) {
    const PeakCase& c = GetParam();
    EXPECT_EQ(local_maximum_finder(c.data, c.search_start, c.neighbor_count), c.expected);
}

const FloatArray kTwoPeaks = {0, 1, 3, 1, 0, 2, 5, 2, 0};

INSTANTIATE_TEST_SUITE_P(
    Examples, PeakCases,
    ::testing::Values(
        PeakCase{kTwoPeaks, 0, 1, 2},
        PeakCase{kTwoPeaks, 2, 1, 6},             // left neighbours start at search_start
        PeakCase{kTwoPeaks, 0, 2, 2},
        PeakCase{kTwoPeaks, 0, 3, 3},              // no peak with three neighbours: fallback
        PeakCase{{0, 1, 3, 3, 1, 0}, 0, 1, 1},     // a plateau is no strict maximum
        PeakCase{{0, 1, 0}, 0, 2, 2},              // too short to search
        PeakCase{{0, 1, 0}, 7, 0, 7},              // no neighbours: search_start
        PeakCase{{0, kNaN, 3, 1, 0}, 0, 1, 1},     // a NaN neighbour rules index 2 out
        PeakCase{{0, 1, kNaN, 1, 4, 1}, 0, 1, 4},  // so does a NaN centre
        PeakCase{kTwoPeaks, 9, 1, 10},             // start past the end
        // Neighbour counts so large that twice them wraps around 2^64: the
        // fallback, and no read outside the data.
        PeakCase{kTwoPeaks, 0, std::uint64_t{1} << 63, std::uint64_t{1} << 63},
        PeakCase{kTwoPeaks, 1, (std::uint64_t{1} << 63) + 2, (std::uint64_t{1} << 63) + 3},
        // search_start + neighbor_count beyond 2^64 - 1 saturates.
        PeakCase{kTwoPeaks, kHuge, 1, kHuge},
        PeakCase{kTwoPeaks, kHuge - 1, 1, kHuge},
        PeakCase{kTwoPeaks, kHuge, 0, kHuge}));

}  // namespace
}  // namespace zorv::transport
