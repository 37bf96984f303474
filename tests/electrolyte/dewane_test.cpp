#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "electrolyte/dewane_conductivity.hpp"

namespace zorv::electrolyte {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

FloatArray two_constant_segments() {
    FloatArray coeffs(20, 0.0);
    coeffs[0] = 100.0;
    coeffs[10] = 50.0;
    return coeffs;
}

TEST(Dewane, ConstantSegmentsAndUpperLimitBelongsBelow) {
    const auto result = dewane_eval({0.5, 1.0, 1.5, 2.0}, {0.0, 1.0, 2.0}, two_constant_segments());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), (FloatArray{5.0, 10.0, 7.5, 10.0}));
}

// At c = 100 every term is an exact power of ten, so a misplaced coefficient
// or exponent changes the sum.
TEST(Dewane, EveryCoefficientAndExponentAtOneHundred) {
    const auto ones = dewane_eval({100.0}, {0.0, 200.0}, FloatArray(10, 1.0));
    ASSERT_TRUE(ones.ok());
    const double lambda_ones = 1 - 10 + 200 + 100 + 1e3 + 1e4 + 1e5 + 1e6 + 1e8 + 1e10;
    EXPECT_EQ(ones.value()[0], 10.0 * lambda_ones);

    const auto ranked = dewane_eval({100.0}, {0.0, 200.0}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_TRUE(ranked.ok());
    const double lambda_ranked = 1 - 2 * 10 + 3 * 200 + 4 * 100 + 5 * 1e3 + 6 * 1e4 + 7 * 1e5
                                 + 8 * 1e6 + 9 * 1e8 + 10 * 1e10;
    EXPECT_EQ(ranked.value()[0], 10.0 * lambda_ranked);
}

TEST(Dewane, UnsortedLimitsTakeTheFirstSegmentInIndexOrder) {
    FloatArray coeffs(20, 0.0);
    coeffs[0] = 1.0;
    coeffs[10] = 2.0;
    // Segment 0 is (0, 4], segment 1 is (4, 2] and holds nothing.
    const auto result = dewane_eval({3.0}, {0.0, 4.0, 2.0}, coeffs);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value()[0], 0.3);
}

struct BoundsCase {
    FloatArray molarity;
    const char* message;
};

class DewaneOutOfBounds : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(DewaneOutOfBounds, ReportsTheFirstOffenderWithFirstAndLastLimits) {
    const auto result = dewane_eval(GetParam().molarity, {0.0, 1.0, 2.0}, two_constant_segments());
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(result.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DewaneOutOfBounds,
    ::testing::Values(
        BoundsCase{{0.0}, "molarity 0.0000e0 mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"},
        BoundsCase{{2.5}, "molarity 2.5000e0 mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"},
        BoundsCase{{0.5, 3.0, -1.0}, "molarity 3.0000e0 mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"},
        BoundsCase{{-0.0}, "molarity -0.0000e0 mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"},
        BoundsCase{{kNan}, "molarity NaN mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"},
        BoundsCase{{-std::numeric_limits<double>::infinity()},
                   "molarity -inf mol/L is outside Dewane bounds [0.0000e0, 2.0000e0]"}));

TEST(Dewane, BoundsNameFirstAndLastLimitNotExtremes) {
    FloatArray coeffs(20, 0.0);
    const auto result = dewane_eval({9.0}, {1.5, 0.05, 3.0}, coeffs);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message,
              "molarity 9.0000e0 mol/L is outside Dewane bounds [1.5000e0, 3.0000e0]");
}

TEST(Dewane, ModelShapeIsCheckedBeforeAnyMolarity) {
    const auto few_limits = dewane_eval({}, {1.0}, {});
    ASSERT_FALSE(few_limits.ok());
    EXPECT_EQ(few_limits.error().message,
              "limits must have at least 2 values (defining at least 1 segment)");

    const auto few_coeffs = dewane_eval({kNan}, {0.0, 1.0, 2.0}, FloatArray(19, 0.0));
    ASSERT_FALSE(few_coeffs.ok());
    EXPECT_EQ(few_coeffs.error().message,
              "coeffs must have exactly 20 values (2 segments \u00d7 10 coefficients)");

    const auto empty = dewane_eval({}, {0.0, 1.0, 2.0}, two_constant_segments());
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value().empty());
}

TEST(Dewane, NonPositiveMolarityInsideASegmentIsComputed) {
    FloatArray coeffs(10, 0.0);
    coeffs[0] = 1.0;
    coeffs[1] = 1.0;  // sqrt of a negative molarity
    const auto result = dewane_eval({-0.5}, {-1.0, 1.0}, coeffs);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(std::isnan(result.value()[0]));
}

}  // namespace
}  // namespace zorv::electrolyte
