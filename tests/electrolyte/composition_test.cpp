#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "electrolyte/composition_conversions.hpp"
#include "electrolyte/density_model.hpp"
#include "example_salt.hpp"

namespace zorv::electrolyte {
namespace {

using testing::agrees_to_digits;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(CompositionConversions, ExamplesToThreeDigits) {
    EXPECT_TRUE(agrees_to_digits(mass_fraction_to_molality({0.1}, 56.1)[0], 1.98, 3));
    EXPECT_TRUE(agrees_to_digits(molality_to_mass_fraction({1.0}, 56.1)[0], 0.0531, 3));
    EXPECT_TRUE(agrees_to_digits(molality_to_mole_fraction({1.0}, 18.0)[0], 0.0177, 3));
    EXPECT_TRUE(agrees_to_digits(mole_fraction_to_molality({0.5}, 18.0)[0], 55.6, 3));
}

// The conversion keeps its reciprocal grouping; the density model's mass
// fraction is grouped differently and lands one bit away here.
TEST(CompositionConversions, ReciprocalFormDiffersFromModelMassFraction) {
    const double conversion = molality_to_mass_fraction({1.0}, 56.1)[0];
    const double model = salt_mass_fraction(1.0, 56.1);
    EXPECT_NE(conversion, model);
    EXPECT_EQ(std::nextafter(conversion, model), model);
}

TEST(CompositionConversions, IntoMolalityEdges) {
    for (auto into : {&mass_fraction_to_molality, &mole_fraction_to_molality}) {
        const FloatArray out = into({1.0, 0.0, 1.5, -0.1, kNan}, 56.1);
        EXPECT_EQ(out[0], kInf);
        EXPECT_EQ(out[1], 0.0);
        EXPECT_LT(out[2], 0.0);
        EXPECT_LT(out[3], 0.0);
        EXPECT_TRUE(std::isnan(out[4]));
        EXPECT_EQ(into({1.0}, -56.1)[0], -kInf);
        const FloatArray zero_weight = into({0.5, 0.0}, 0.0);
        EXPECT_EQ(zero_weight[0], kInf);
        EXPECT_TRUE(std::isnan(zero_weight[1]));
        EXPECT_TRUE(into({}, 56.1).empty());
    }
}

TEST(CompositionConversions, OutOfMolalityEdges) {
    for (auto out_of : {&molality_to_mass_fraction, &molality_to_mole_fraction}) {
        // u = m * k with k = 0.1: u = -0.5 gives -1, u = -1 gives +inf, u = -2 gives 2.
        const FloatArray out = out_of({0.0, -5.0, -10.0, -20.0, kNan, 1.0}, 100.0);
        EXPECT_EQ(out[0], 0.0);
        EXPECT_EQ(out[1], -1.0);
        EXPECT_EQ(out[2], kInf);
        EXPECT_EQ(out[3], 2.0);
        EXPECT_TRUE(std::isnan(out[4]));
        EXPECT_EQ(out[5], 1.0 / (1.0 / 0.1 + 1.0));
        EXPECT_EQ(out_of({3.0}, 0.0)[0], 0.0);
        EXPECT_TRUE(out_of({}, 56.1).empty());
    }
}

}  // namespace
}  // namespace zorv::electrolyte
