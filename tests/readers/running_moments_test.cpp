#include "readers/running_moments.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace zorv::readers {
namespace {

struct MomentsCase {
    std::size_t count;
    double mean;
    double spread;
    double tolerance;  // relative; the values' own rounding at the mean's scale sets it
};

class RunningMomentsCase : public ::testing::TestWithParam<MomentsCase> {};

// Against the two-pass sums in long double: the variance stays exact to
// rounding across chunk boundaries and when the mean dwarfs the spread (a
// temperature series near 300 K, a step count near 1e8), where the textbook
// sum of squares loses every digit.
TEST_P(RunningMomentsCase, VarianceMatchesTwoPasses) {
    const MomentsCase c = GetParam();
    std::mt19937_64 random(c.count);
    std::normal_distribution<double> noise(c.mean, c.spread);
    std::vector<double> values(c.count);
    RunningMoments moments;
    double sum = -0.0;
    for (double& v : values) {
        v = noise(random);
        moments.add(v);
        sum += v;
    }
    long double mean = 0.0L;
    for (const double v : values) mean += v;
    mean /= static_cast<long double>(values.size());
    long double squares = 0.0L;
    for (const double v : values) squares += (v - mean) * (v - mean);
    EXPECT_EQ(moments.count(), c.count);
    EXPECT_EQ(moments.sum(), sum);  // left to right from -0.0
    const double expected = static_cast<double>(squares);
    EXPECT_NEAR(moments.squares(), expected, c.tolerance * expected + 1e-300);
}

INSTANTIATE_TEST_SUITE_P(Chunks, RunningMomentsCase,
                         ::testing::Values(MomentsCase{1, 3.0, 1.0, 0.0}, MomentsCase{2, 3.0, 1.0, 1e-15},
                                           MomentsCase{63, 300.0, 1.5, 1e-13}, MomentsCase{64, 300.0, 1.5, 1e-13},
                                           MomentsCase{65, 300.0, 1.5, 1e-13}, MomentsCase{129, -2.0, 0.01, 1e-13},
                                           MomentsCase{100000, 300.0, 2.0, 1e-13},
                                           MomentsCase{100000, 300.0, 0.001, 1e-11},
                                           MomentsCase{5000, 1e8, 0.5, 1e-8}, MomentsCase{4096, 0.0, 1e-200, 1e-13}));

TEST(RunningMoments, ExactOnSmallIntegers) {
    RunningMoments moments;
    for (const double v : {1e9 + 4, 1e9 + 7, 1e9 + 13, 1e9 + 16}) moments.add(v);
    EXPECT_EQ(moments.squares(), 90.0);
    EXPECT_EQ(moments.squares(), 90.0);  // asking twice merges nothing twice
    RunningMoments none;
    EXPECT_EQ(none.count(), 0U);
    EXPECT_EQ(none.squares(), 0.0);
}

}  // namespace
}  // namespace zorv::readers
