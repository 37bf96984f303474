#include "common/number_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace zorv {
namespace {

struct FormatCase {
    double value;
    const char* text;
};

class ScientificFour : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ScientificFour, WritesOneDigitFourDecimalsAndBareExponent) {
    EXPECT_EQ(format_scientific(GetParam().value, 4), GetParam().text);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, ScientificFour,
    ::testing::Values(FormatCase{40.0, "4.0000e1"}, FormatCase{1e-13, "1.0000e-13"},
                      FormatCase{0.5, "5.0000e-1"}, FormatCase{2.5, "2.5000e0"},
                      FormatCase{0.05, "5.0000e-2"}, FormatCase{0.0, "0.0000e0"},
                      FormatCase{-0.0, "-0.0000e0"}, FormatCase{-123456.0, "-1.2346e5"},
                      FormatCase{1e300, "1.0000e300"}, FormatCase{1e-300, "1.0000e-300"},
                      FormatCase{5e-324, "4.9407e-324"}, FormatCase{100.0, "1.0000e2"},
                      // 9.99995 is stored just above the halfway point: both round
                      // up into the next power of ten.
                      FormatCase{9.99995, "1.0000e1"}, FormatCase{9.99996, "1.0000e1"},
                      FormatCase{9.99994, "9.9999e0"},
                      FormatCase{-9.99996e-5, "-1.0000e-4"},
                      // Exact binary ties go to the even digit.
                      FormatCase{1.03125, "1.0312e0"}, FormatCase{1.09375, "1.0938e0"},
                      FormatCase{-1.03125, "-1.0312e0"},
                      FormatCase{kInf, "inf"}, FormatCase{-kInf, "-inf"},
                      FormatCase{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                      FormatCase{-std::numeric_limits<double>::quiet_NaN(), "NaN"}));

class FixedTwo : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FixedTwo, WritesExactlyTwoDecimalsWithoutExponent) {
    EXPECT_EQ(format_fixed(GetParam().value, 2), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedTwo,
    ::testing::Values(FormatCase{300.0, "300.00"}, FormatCase{21.5, "21.50"},
                      FormatCase{0.0, "0.00"}, FormatCase{-0.0, "-0.00"},
                      FormatCase{-40.256, "-40.26"}, FormatCase{1e20, "100000000000000000000.00"},
                      FormatCase{1e-5, "0.00"}, FormatCase{999.995, "1000.00"},
                      FormatCase{999.994, "999.99"},
                      // Exact binary ties go to the even digit.
                      FormatCase{0.125, "0.12"}, FormatCase{0.375, "0.38"},
                      FormatCase{kInf, "inf"}, FormatCase{-kInf, "-inf"},
                      FormatCase{std::numeric_limits<double>::quiet_NaN(), "NaN"}));

TEST(FixedFormat, LargestDoubleKeepsAllIntegerDigits) {
    const std::string text = format_fixed(std::numeric_limits<double>::max(), 2);
    EXPECT_EQ(text.size(), 309u + 3u);
    EXPECT_EQ(text.substr(0, 6), "179769");
    EXPECT_EQ(text.substr(text.size() - 3), ".00");
}

}  // namespace
}  // namespace zorv
