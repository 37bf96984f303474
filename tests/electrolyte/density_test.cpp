#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "electrolyte/density_model.hpp"
#include "electrolyte/laliberte_density.hpp"
#include "example_salt.hpp"

namespace zorv::electrolyte {
namespace {

using testing::kExampleSalt;
using testing::agrees_to_digits;

Result<std::tuple<FloatArray, FloatArray>> density_of(const FloatArray& t, const FloatArray& m,
                                                      const DensityParams& p = kExampleSalt) {
    return laliberte_density(t, m, p.molecular_weight, p.c0, p.c1, p.c2, p.c3, p.c4);
}

TEST(LaliberteDensity, ExampleSolutionToThreeDigits) {
    const auto result = density_of({300.0}, {1.0});
    ASSERT_TRUE(result.ok());
    const auto& [densities, molarities] = result.value();
    EXPECT_TRUE(agrees_to_digits(densities[0], 1.04e3, 3)) << densities[0];
    EXPECT_TRUE(agrees_to_digits(molarities[0], 0.981, 3)) << molarities[0];
    const TemperatureTerms terms = temperature_terms(300.0, kExampleSalt);
    EXPECT_TRUE(agrees_to_digits(terms.water_density, 997.0, 3)) << terms.water_density;
    EXPECT_TRUE(agrees_to_digits(terms.exp_factor, 1.0, 3));
    EXPECT_TRUE(agrees_to_digits(salt_mass_fraction(1.0, 56.1), 0.0531, 3));
}

TEST(LaliberteDensity, PureWaterAtZeroCelsiusIsTheLeadingCoefficient) {
    const auto result = density_of({273.15}, {0.0});
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(std::get<0>(result.value())[0], 999.83952);
    EXPECT_EQ(std::get<1>(result.value())[0], 0.0);
}

TEST(LaliberteDensity, ZeroMolalityStaysAtWaterDensity) {
    for (double t : {280.0, 300.0, 353.15, 370.0}) {
        const DensityPoint p = density_point(t, 0.0, kExampleSalt);
        const double water = temperature_terms(t, kExampleSalt).water_density;
        EXPECT_EQ(p.molarity, 0.0);
        EXPECT_LE(std::fabs(p.density - water), std::nextafter(water, 2e3) - water) << t;
    }
}

TEST(LaliberteDensity, EmptyInputsGiveEmptyOutputs) {
    const auto result = density_of({}, {});
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(std::get<0>(result.value()).empty());
    EXPECT_TRUE(std::get<1>(result.value()).empty());
}

TEST(LaliberteDensity, UnequalLengthsAreRejected) {
    for (const auto& [t, m] : {std::pair<FloatArray, FloatArray>{{300, 310, 320}, {1, 2}},
                              std::pair<FloatArray, FloatArray>{{}, {1}}}) {
        const auto result = density_of(t, m);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().kind, ErrorKind::ValueError);
        EXPECT_EQ(result.error().message, "temperature and molality must have the same length");
    }
}

TEST(LaliberteDensity, NanStaysAtItsOwnIndex) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto result = density_of({300.0, nan, 300.0}, {1.0, 1.0, nan});
    ASSERT_TRUE(result.ok());
    const auto& [densities, molarities] = result.value();
    EXPECT_EQ(densities[0], density_point(300.0, 1.0, kExampleSalt).density);
    for (int i : {1, 2}) {
        EXPECT_TRUE(std::isnan(densities[i]));
        EXPECT_TRUE(std::isnan(molarities[i]));
    }
}

TEST(LaliberteDensity, NegativeMolalityIsComputedNotRejected) {
    const auto result = density_of({300.0}, {-1.0});
    ASSERT_TRUE(result.ok());
    EXPECT_LT(std::get<1>(result.value())[0], 0.0);
}

// The inversion evaluates the model through precomputed temperature terms;
// it must see the very bits the density function returns.
TEST(DensityPoint, PrecomputedTemperatureTermsGiveTheSameBits) {
    const MolarityModel model{temperature_terms(318.4, kExampleSalt), kExampleSalt};
    for (double m : {1e-12, 0.3, 1.0, 7.77, 25.0, 1e6}) {
        const auto result = density_of({318.4}, {m});
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(std::bit_cast<std::uint64_t>(model(m)),
                  std::bit_cast<std::uint64_t>(std::get<1>(result.value())[0]))
            << m;
    }
}

}  // namespace
}  // namespace zorv::electrolyte
