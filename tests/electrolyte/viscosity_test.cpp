#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "electrolyte/laliberte_viscosity.hpp"
#include "example_salt.hpp"

namespace zorv::electrolyte {
namespace {

using testing::agrees_to_digits;

constexpr ViscosityParams kExampleFit{56.1, 10.0, 1.0, 0.5, 0.01, 1.0, 1.0};

Result<FloatArray> viscosity_of(const FloatArray& t, const FloatArray& m,
                                const ViscosityParams& p = kExampleFit) {
    return laliberte_viscosity(t, m, p.molecular_weight, p.v1, p.v2, p.v3, p.v4, p.v5, p.v6);
}

TEST(LaliberteViscosity, ExampleSolutionToThreeDigits) {
    const auto result = viscosity_of({300.0}, {1.0});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(agrees_to_digits(result.value()[0], 8.97e-4, 3)) << result.value()[0];
}

// pow(eta_w, 1) and pow(eta_s, 0) make the salt fit irrelevant, even a broken one.
TEST(LaliberteViscosity, ZeroMolalityIsWaterViscosityWhateverTheFit) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const ViscosityParams& fit : {kExampleFit, ViscosityParams{56.1, nan, nan, nan, nan, nan, nan},
                                       ViscosityParams{56.1, inf, -1.0, 0.0, 0.0, 0.0, 0.0}}) {
        const auto result = viscosity_of({273.15, 300.0}, {0.0, 0.0}, fit);
        ASSERT_TRUE(result.ok());
        EXPECT_TRUE(agrees_to_digits(result.value()[0], 1.79e-3, 3)) << result.value()[0];
        EXPECT_TRUE(agrees_to_digits(result.value()[1], 8.54e-4, 3)) << result.value()[1];
        const double t = 300.0 - 273.15;
        EXPECT_EQ(result.value()[1], ((t + 245.9996) / ((0.055943 * t + 5.284245) * t + 137.3664)) * 0.001);
    }
}

TEST(LaliberteViscosity, NegativeMolalityWithFractionalExponentIsNan) {
    ViscosityParams fit = kExampleFit;
    fit.v2 = 0.5;
    const auto result = viscosity_of({300.0, 300.0}, {-1.0, 1.0}, fit);
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(std::isnan(result.value()[0]));
    EXPECT_TRUE(std::isfinite(result.value()[1]));
}

TEST(LaliberteViscosity, LengthsAreCheckedAndEmptyIsEmpty) {
    const auto bad = viscosity_of({300.0, 310.0}, {1.0, 2.0, 3.0});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message, "temperature and molality must have the same length");
    const auto empty = viscosity_of({}, {});
    ASSERT_TRUE(empty.ok());
    EXPECT_TRUE(empty.value().empty());
}

}  // namespace
}  // namespace zorv::electrolyte
