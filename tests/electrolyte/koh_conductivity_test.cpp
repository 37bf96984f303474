#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "electrolyte/koh_conductivity.hpp"
#include "example_salt.hpp"

namespace zorv::electrolyte {
namespace {

using testing::kExampleSalt;
using testing::agrees_to_digits;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

Result<FloatArray> conductivity_of(const FloatArray& t, const FloatArray& m,
                                   const DensityParams& p = kExampleSalt) {
    return koh_gilliam_eval(t, m, p.molecular_weight, p.c0, p.c1, p.c2, p.c3, p.c4);
}

TEST(KohConductivity, BranchesSwitchAtExactly35315Kelvin) {
    const double below = std::nextafter(353.15, 0.0);
    const auto result = conductivity_of({300.0, below, 353.15}, {1.0, 1.0, 1.0});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(agrees_to_digits(result.value()[0], 21.7, 3)) << result.value()[0];
    EXPECT_TRUE(agrees_to_digits(result.value()[1], 37.4, 3)) << result.value()[1];
    EXPECT_TRUE(agrees_to_digits(result.value()[2], 43.5, 3)) << result.value()[2];
}

// The high branch needs no density fit and no library function.
TEST(KohConductivity, HighBranchIgnoresDensityFit) {
    const DensityParams broken{56.1, kNan, kNan, kNan, kNan, kNan};
    const auto with_fit = conductivity_of({353.15, 400.0}, {1.0, 3.0});
    const auto without = conductivity_of({353.15, 400.0}, {1.0, 3.0}, broken);
    ASSERT_TRUE(with_fit.ok() && without.ok());
    EXPECT_EQ(with_fit.value(), without.value());
    // P = 100 w; the polynomial in P at 353.15 K, multiplied out by hand.
    const double p = 100.0 * 56.1 / 1056.1;
    const double t = 353.15;
    const double expected = (0.0022204 * p - 0.0013077 * p * p + 7.0101e-6 * p * p * p
                             + 0.00033647 * p * t - 10.7021 * p / t - 3.2033e-9 * p * p * t * t) * 100.0;
    EXPECT_NEAR(without.value()[0], expected, 1e-12 * std::fabs(expected));
}

TEST(KohConductivity, LowBranchFollowsTheMolarityPolynomial) {
    const double m = density_point(300.0, 1.0, kExampleSalt).molarity;
    const double t = 300.0;
    const double expected = (-2.041 * m - 0.0028 * m * m + 0.001043 * m * m * m + 0.005332 * m * t
                             + 207.2 * m / t - 3e-7 * m * m * t * t) * 100.0;
    const auto result = conductivity_of({300.0}, {1.0});
    ASSERT_TRUE(result.ok());
    EXPECT_NEAR(result.value()[0], expected, 1e-12 * std::fabs(expected));
}

TEST(KohConductivity, ZeroMolalityAndNanTemperature) {
    const auto result = conductivity_of({300.0, 360.0, kNan}, {0.0, 0.0, 1.0});
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value()[0], 0.0);
    EXPECT_EQ(result.value()[1], 0.0);
    EXPECT_TRUE(std::isnan(result.value()[2]));
}

TEST(KohConductivity, LengthsAreCheckedAndEmptyIsEmpty) {
    const auto bad = conductivity_of({300.0}, {});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message, "temperature and molality must have the same length");
    const auto empty = conductivity_of({}, {});
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value().empty());
}

}  // namespace
}  // namespace zorv::electrolyte
