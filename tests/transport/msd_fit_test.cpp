#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

#include "transport/msd_fit.hpp"

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();

std::vector<std::uint64_t> bits(const FloatArray& values) {
    std::vector<std::uint64_t> out;
    for (double v : values) out.push_back(std::bit_cast<std::uint64_t>(v));
    return out;
}

struct FitCase {
    const char* name;
    FloatArray time, msd;
    double margin;
    std::uint64_t min_window, max_window;
    double max_error, min_displacement;
    double d;
    FloatArray t_fit, fit;
};

void PrintTo(const FitCase& c, std::ostream* os) { *os << c.name; }

const FloatArray kPowers = {1, 2, 4, 8, 16, 32, 64};
const FloatArray kSteep = {1, 8, 16, 128, 1024, 8192, 65536};
const FloatArray kLine = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const FloatArray kRepeat = {1, 2, 2, 3, 4, 5, 6, 7, 8, 9};

class FitCases : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitCases, GiveTheExactResult) {
    const FitCase& c = GetParam();
    const auto [d, t_fit, fit] = diff_calculator(c.time, c.msd, c.margin, c.min_window,
                                                 c.max_window, c.max_error, c.min_displacement);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(d), std::bit_cast<std::uint64_t>(c.d)) << d;
    EXPECT_EQ(t_fit, c.t_fit);
    EXPECT_EQ(bits(fit), bits(c.fit));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FitCases,
    ::testing::Values(
        FitCase{"OnlyOneWindowQualifies", kPowers, kSteep, 0.0, 2, 4, 0.5, 0.0, 4.0, {2, 4}, {8, 16}},
        FitCase{"ZeroToleranceQualifiesNothing", kPowers, kSteep, 0.0, 2, 4, 0.0, 0.0, kNaN, {1}, {1}},
        FitCase{"TieKeepsFirstWindow", kLine, kLine, 0.1, 3, 6, 0.1, 0.0, 1.0, {2, 3, 4}, {2, 3, 4}},
        FitCase{"RepeatedTimeSkipsStart", kRepeat, kRepeat, 0.1, 3, 6, 0.1, 0.0, 1.0, {2, 3, 4}, {2, 3, 4}},
        FitCase{"FilterDropsFirstPoint", kPowers, kSteep, 0.0, 2, 4, 0.5, 2.0, 4.0, {2, 4}, {8, 16}},
        FitCase{"FilterKeepsNothing", kPowers, kSteep, 0.0, 2, 4, 0.5, 1e6, kNaN, {}, {}},
        FitCase{"NaNThresholdKeepsNothing", kLine, kLine, 0.0, 2, 4, 0.5, kNaN, kNaN, {}, {}},
        FitCase{"ShorterMsd", kLine, FloatArray(9, 1.0), 0.0, 2, 4, 0.5, 0.0, kNaN, {}, {}},
        FitCase{"Empty", {}, {}, 0.0, 2, 4, 0.5, 0.0, kNaN, {}, {}},
        FitCase{"MinWindowBeyondData", kLine, kLine, 0.0, 11, 20, 0.5, 0.0, kNaN, {1}, {1}},
        FitCase{"HugeWindowBounds", kLine, kLine, 0.0, kHuge, kHuge, 0.5, 0.0, kNaN, {1}, {1}},
        FitCase{"NaNMargin", kLine, kLine, kNaN, 2, 4, 0.5, 0.0, kNaN, {1}, {1}},
        FitCase{"HalfMargin", kLine, kLine, 0.5, 2, 4, 0.5, 0.0, kNaN, {1}, {1}},
        // Negative margin: start 0, end past n; windows stop at the last point.
        FitCase{"NegativeMargin", kLine, kLine, -1e300, 2, kHuge, 0.5, 0.0, 1.0, {1, 2}, {1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DiffCalculator, FilterDropsAPointInTheMiddle) {
    FloatArray msd = kLine;
    msd[4] = 0.25;  // below the threshold 1.0
    // The window of five kept points from the first holds t = 6, not t = 5.
    const auto [d, t_fit, fit] = diff_calculator(kLine, msd, -0.5, 5, 6, 0.5, 1.0);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(t_fit, (FloatArray{1, 2, 3, 4, 6}));
    EXPECT_EQ(fit, (FloatArray{1, 2, 3, 4, 6}));
}

TEST(DiffCalculator, FindsTheDiffusiveStretchOfANoisyCurve) {
    // Ballistic up to t = 1, diffusive with slope 6 D after, noisy at the end.
    const double diffusion = 2.5e-9;
    FloatArray time, msd;
    for (int i = 1; i <= 400; ++i) {
        const double t = 0.01 * i;
        const double ballistic = 6.0 * diffusion * t * t;
        const double wiggle = i > 300 ? 0.4 * std::sin(1.7 * i) : 0.002 * std::sin(1.7 * i);
        time.push_back(t);
        msd.push_back((t < 1.0 ? ballistic : 6.0 * diffusion * (t + (t - 1.0) * wiggle)));
    }
    const auto [d, t_fit, fit] = diff_calculator(time, msd, 0.05, 20, 200, 0.05, 0.0);
    ASSERT_FALSE(t_fit.empty());
    EXPECT_GE(t_fit.front(), 1.0);
    EXPECT_LE(t_fit.back(), 3.0);
    EXPECT_NEAR(d, 6.0 * diffusion, 0.02 * 6.0 * diffusion);
    EXPECT_EQ(fit.size(), t_fit.size());
}

}  // namespace
}  // namespace zorv::transport
