#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "electrolyte/density_model.hpp"
#include "electrolyte/molarity_inversion.hpp"
#include "example_salt.hpp"

namespace zorv::electrolyte {
namespace {

using testing::kExampleSalt;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

Result<FloatArray> invert(const FloatArray& molarity, double temperature = 300.0,
                          double tolerance = 1e-10, std::uint64_t iterations = 200,
                          const DensityParams& p = kExampleSalt) {
    return molarity_to_molality(molarity, temperature, p.molecular_weight, p.c0, p.c1, p.c2, p.c3,
                                p.c4, tolerance, iterations);
}

double model_molarity(double temperature, double molality) {
    return density_point(temperature, molality, kExampleSalt).molarity;
}

TEST(MolarityInversion, RecoversMolalityOverAGrid) {
    for (double t : {275.0, 300.0, 330.0, 353.15, 370.0}) {
        for (double m : {1e-6, 0.01, 0.5, 1.0, 3.3, 8.0, 15.0, 40.0}) {
            const auto result = invert({model_molarity(t, m)}, t);
            ASSERT_TRUE(result.ok()) << t << " " << m;
            EXPECT_NEAR(result.value()[0], m, 1e-10) << t << " " << m;
        }
    }
}

// With no tolerance the solver can only stop on a residual of exactly zero or
// a bracket of one point; either way the molality it returns must reproduce
// the wanted molarity through the very same model arithmetic.
TEST(MolarityInversion, SolvesAgainstTheDensityModelBits) {
    for (double m : {0.25, 1.0, 6.5}) {
        const double y = model_molarity(300.0, m);
        const auto result = invert({y}, 300.0, 0.0, 500);
        ASSERT_TRUE(result.ok());
        const double x = result.value()[0];
        const double below = model_molarity(300.0, std::nextafter(x, 0.0));
        const double above = model_molarity(300.0, std::nextafter(x, kInf));
        EXPECT_TRUE(model_molarity(300.0, x) == y || (below - y) * (above - y) <= 0.0) << m;
    }
}

TEST(MolarityInversion, NoIterationsReturnsTheFirstUpperEnd) {
    const auto result = invert({model_molarity(300.0, 1.0)}, 300.0, 1e-10, 0);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value()[0], 2.0);
}

TEST(MolarityInversion, NonPositiveMolaritiesGiveZero) {
    const auto result = invert({0.0, -0.0, -3.0, -kInf});
    ASSERT_TRUE(result.ok());
    for (double v : result.value()) {
        EXPECT_EQ(v, 0.0);
        EXPECT_FALSE(std::signbit(v));
    }
}

TEST(MolarityInversion, EmptyInputEvaluatesNothing) {
    const auto result = invert({}, kNan, kNan, 0, DensityParams{kNan, kNan, kNan, kNan, kNan, kNan});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.value().empty());
}

struct BracketCase {
    FloatArray molarity;
    double temperature;
    const char* message;
};

class BracketFailure : public ::testing::TestWithParam<BracketCase> {};

TEST_P(BracketFailure, NamesTheFirstFailingMolarity) {
    const auto result = invert(GetParam().molarity, GetParam().temperature);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, ErrorKind::ValueError);
    EXPECT_EQ(result.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BracketFailure,
    ::testing::Values(
        // The model molarity tops out near 35.1 mol/L.
        BracketCase{{40.0}, 300.0,
                    "molarity_to_molality: could not bracket root for molarity = 4.0000e1 mol/L at temperature = 300.00 K"},
        // Below the molarity at the fixed lower end of the bracket.
        BracketCase{{1e-13}, 300.0,
                    "molarity_to_molality: could not bracket root for molarity = 1.0000e-13 mol/L at temperature = 300.00 K"},
        BracketCase{{0.5, 1e-13, 40.0}, 321.125,
                    "molarity_to_molality: could not bracket root for molarity = 1.0000e-13 mol/L at temperature = 321.12 K"}));

// Residuals that are no numbers cannot bracket a root; the element is NaN
// rather than a bracket end passed off as a solution.
TEST(MolarityInversion, NanResidualsGiveNanAtTheirOwnIndex) {
    const double y = model_molarity(300.0, 1.0);
    const auto result = invert({kNan, y, kInf, 1e290, 1e308});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(std::isnan(result.value()[0]));
    EXPECT_NEAR(result.value()[1], 1.0, 1e-10);
    for (int i : {2, 3, 4}) EXPECT_TRUE(std::isnan(result.value()[i])) << i;
}

TEST(MolarityInversion, NanTemperatureOrFitGivesNanForPositiveMolarities) {
    const auto hot = invert({1.0, 0.0}, kNan);
    ASSERT_TRUE(hot.ok());
    EXPECT_TRUE(std::isnan(hot.value()[0]));
    EXPECT_EQ(hot.value()[1], 0.0);
    DensityParams broken = kExampleSalt;
    broken.c0 = kNan;
    const auto fit = invert({1.0}, 300.0, 1e-10, 200, broken);
    ASSERT_TRUE(fit.ok());
    EXPECT_TRUE(std::isnan(fit.value()[0]));
}

// A negative tolerance never stops the loop; a huge budget must still end.
TEST(MolarityInversion, HugeIterationBudgetWithNegativeToleranceEnds) {
    const double y = model_molarity(300.0, 2.0);
    const auto result = invert({y}, 300.0, -1.0, std::numeric_limits<std::uint64_t>::max());
    ASSERT_TRUE(result.ok());
    EXPECT_NEAR(result.value()[0], 2.0, 1e-12);
}

}  // namespace
}  // namespace zorv::electrolyte
