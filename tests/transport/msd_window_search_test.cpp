#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "msd_window_reference.hpp"
#include "transport/msd_window_search.hpp"

namespace zorv::transport {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();

// A noisy power-law MSD curve with the faults real files and fuzzing bring:
// repeated, zero and negative times, NaN, zero and negative MSD values.
struct RandomCurve {
    FloatArray time, log_time, log_msd;

    RandomCurve(std::uint64_t n, std::uint64_t seed) {
        std::mt19937_64 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        double t = unit(rng) < 0.2 ? -2.0 : 0.5;
        for (std::uint64_t i = 0; i < n; ++i) {
            const double roll = unit(rng);
            if (roll > 0.1) t += unit(rng) + 0.01;  // else the time repeats
            double m = std::pow(std::fabs(t), 0.7 + 0.6 * unit(rng)) * (1.0 + 0.3 * unit(rng));
            if (roll < 0.02) m = std::numeric_limits<double>::quiet_NaN();
            else if (roll < 0.04) m = -m;
            else if (roll < 0.05) m = 0.0;
            time.push_back(t);
            log_time.push_back(std::log10(t));
            log_msd.push_back(std::log10(std::fabs(m)));
        }
    }
    LogCurve view() const { return {time, log_time, log_msd}; }
};

void expect_same_windows(const std::vector<MsdWindow>& fast, const std::vector<MsdWindow>& slow) {
    ASSERT_EQ(fast.size(), slow.size());
    for (std::size_t i = 0; i < fast.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "start " << slow[i].start);
        EXPECT_EQ(fast[i].start, slow[i].start);
        EXPECT_EQ(fast[i].length, slow[i].length);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(fast[i].distance),
                  std::bit_cast<std::uint64_t>(slow[i].distance));
    }
}

class RandomCurves : public ::testing::TestWithParam<std::uint64_t> {};

// Every start's best window and its distance, bit for bit, over settings that
// exercise full lane blocks, their tails, lone starts and huge bounds.
TEST_P(RandomCurves, MatchWindowSumsFormedFromScratch) {
    const std::uint64_t seed = GetParam();
    for (const std::uint64_t n : {1u, 7u, 8u, 9u, 23u, 64u, 131u}) {
        const RandomCurve curve(n, seed * 1000 + n);
        for (const double margin : {0.0, 0.05, -0.3, 0.45}) {
            for (const std::uint64_t min_window : {0u, 1u, 2u, 5u, 12u}) {
                for (const std::uint64_t max_window : {std::uint64_t{4}, std::uint64_t{17}, kHuge}) {
                    for (const double max_error : {0.2, kInf}) {
                        SCOPED_TRACE(::testing::Message() << "n " << n << " margin " << margin
                                     << " min " << min_window << " max " << max_window
                                     << " err " << max_error);
                        const WindowSettings s{margin, min_window, max_window, max_error};
                        expect_same_windows(best_window_per_start(curve.view(), s),
                                            reference::best_window_per_start(curve.view(), s));
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomCurves, ::testing::Range<std::uint64_t>(1, 6));

TEST(WindowSearch, RepeatedTimeExcludesTheStartButNotThePoint) {
    // Times 1..12 with t[5] == t[6]; every finite log-log slope qualifies.
    FloatArray t = {1, 2, 3, 4, 5, 6, 6, 7, 8, 9, 10, 11};
    FloatArray x, y;
    for (double v : t) {
        x.push_back(std::log10(v));
        y.push_back(std::log10(v * v));
    }
    const auto windows = best_window_per_start({t, x, y}, {0.0, 2, 20, kInf});
    ASSERT_EQ(windows.size(), 10u);
    EXPECT_EQ(windows[5].length, 0u);
    EXPECT_GT(windows[4].length, 0u);
    EXPECT_GT(windows[6].length, 0u);
}

TEST(WindowSearch, EqualSlopesKeepTheFirstWindowVisited) {
    // X and Y are equal, so every window of two or more points has slope 1.
    FloatArray t;
    for (int i = 1; i <= 100; ++i) t.push_back(i);
    FloatArray x;
    for (double v : t) x.push_back(std::log10(v));
    for (const std::uint64_t min_window : {2u, 3u, 9u}) {
        const auto best = find_msd_window({t, x, x}, {0.1, min_window, 40, 0.01});
        ASSERT_TRUE(best.has_value());
        EXPECT_EQ(best->start, 10u);
        EXPECT_EQ(best->length, min_window);
        EXPECT_EQ(best->distance, 0.0);
    }
}

TEST(SaturatingCount, TruncatesAndClamps) {
    EXPECT_EQ(saturating_count(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(saturating_count(-3.5), 0u);
    EXPECT_EQ(saturating_count(2.9), 2u);
    EXPECT_EQ(saturating_count(1.844674407370955e19), 18446744073709549568u);
    EXPECT_EQ(saturating_count(18446744073709551616.0), kHuge);
    EXPECT_EQ(saturating_count(kInf), kHuge);
}

}  // namespace
}  // namespace zorv::transport
