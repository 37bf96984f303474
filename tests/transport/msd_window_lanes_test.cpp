#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "transport/msd_window_lanes.hpp"

namespace zorv::transport::detail {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Terms of random points, with the infinities and NaN that zero and negative
// times or zero MSD values put into the logarithms.
struct RandomTerms {
    FloatArray x, y, xy, xx;

    RandomTerms(std::size_t n, std::uint64_t seed) {
        std::mt19937_64 rng(seed);
        std::uniform_real_distribution<double> unit(-1.0, 3.0);
        for (std::size_t i = 0; i < n; ++i) {
            double a = unit(rng), b = 2.0 * a + 0.3 * unit(rng);
            const double roll = unit(rng);
            if (roll > 2.97) a = -std::numeric_limits<double>::infinity();
            else if (roll < -0.97) b = std::numeric_limits<double>::quiet_NaN();
            x.push_back(a);
            y.push_back(b);
            xy.push_back(a * b);
            xx.push_back(a * a);
        }
    }
    PointTerms view() const { return {x.data(), y.data(), xy.data(), xx.data()}; }
};

// Lane j's results formed the plain way: each window summed from its first
// point, then tested as a lone start tests it.
void expected_lane(const PointTerms& p, std::uint64_t k, std::uint64_t min_window,
                   std::uint64_t common, SlopeBand band, MsdWindow& best, WindowSums& last) {
    best = {k, 0, 0.0};
    for (std::uint64_t w = min_window; w < common; ++w) {
        WindowSums s;
        for (std::uint64_t i = k; i < k + w; ++i) s.add(p, i);
        consider_window(window_slope(s, static_cast<double>(w)), w, band, best);
        last = s;
    }
}

TEST(LaneKernels, MatchSumsFormedFromScratch) {
    for (const LaneKernel kernel : available_lane_kernels()) {
        for (std::uint64_t seed = 1; seed <= 40; ++seed) {
            const RandomTerms terms(60, seed);
            const std::uint64_t min_window = seed % 7;
            const std::uint64_t common = min_window + 1 + seed % 30;
            const std::uint64_t k0 = seed % 5;
            const SlopeBand band = seed % 3 == 0 ? SlopeBand{1.5, 2.5}
                                                 : SlopeBand{-std::numeric_limits<double>::infinity(),
                                                             std::numeric_limits<double>::infinity()};
            SCOPED_TRACE(::testing::Message() << "kernel " << static_cast<int>(kernel) << " seed " << seed);
            MsdWindow best[kLanes];
            WindowSums sums[kLanes];
            scan_lanes_with(kernel, terms.view(), k0, min_window, common, band, best, sums);
            for (std::uint64_t j = 0; j < kLanes; ++j) {
                MsdWindow want;
                WindowSums last;
                expected_lane(terms.view(), k0 + j, min_window, common, band, want, last);
                EXPECT_EQ(best[j].start, want.start);
                EXPECT_EQ(best[j].length, want.length) << "lane " << j;
                EXPECT_EQ(bits(best[j].distance), bits(want.distance)) << "lane " << j;
                EXPECT_EQ(bits(sums[j].sx), bits(last.sx));
                EXPECT_EQ(bits(sums[j].sy), bits(last.sy));
                EXPECT_EQ(bits(sums[j].sxy), bits(last.sxy));
                EXPECT_EQ(bits(sums[j].sxx), bits(last.sxx));
            }
        }
    }
}

}  // namespace
}  // namespace zorv::transport::detail
