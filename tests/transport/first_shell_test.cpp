#include "transport/first_shell.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;

struct Curve {
    std::vector<double> r, g;
};

// A first shell at 2.8 (height 3) and its minimum at 3.6, zero inside 2.2, in n bins over [0, 12).
double shell_g(double r) {
    if (r < 2.2) return 0.0;
    return 1.0 + 2.0 * std::exp(-0.5 * std::pow((r - 2.8) / 0.15, 2)) -
           0.5 * std::exp(-0.5 * std::pow((r - 3.6) / 0.3, 2));
}

Curve binned(std::size_t n, double span = 12.0) {
    Curve c;
    for (std::size_t i = 0; i < n; ++i) {
        c.r.push_back(span * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
        c.g.push_back(shell_g(c.r.back()));
    }
    return c;
}

FirstShell shell_of(const Curve& c, double scale = 0.2) {
    auto shell = first_shell(c.r.data(), c.g.data(), c.r.size(), scale);
    EXPECT_TRUE(shell);
    return shell ? shell.value() : FirstShell{};
}

class AnyBins : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AnyBins, FindsTheShellOfTheCurveNotOfItsBins) {
    const FirstShell shell = shell_of(binned(GetParam()));
    ASSERT_TRUE(shell.peak && shell.minimum);
    EXPECT_TRUE(shell.peak->fitted && shell.minimum->fitted);
    EXPECT_NEAR(shell.peak->at, 2.8, 3e-3);
    EXPECT_NEAR(shell.peak->value, shell_g(2.8), 2e-2);  // the quartic's top, within its fit of the curve
    EXPECT_NEAR(shell.minimum->at, 3.6, 1e-3);
    double expected = 0.0;  // the integral by a fine midpoint rule
    for (double r = 0.00005; r < shell.minimum->at; r += 0.0001) expected += shell_g(r) * r * r * 0.0001;
    EXPECT_NEAR(shell.integral, expected, 5e-3 * expected);
}

INSTANTIATE_TEST_SUITE_P(BinCounts, AnyBins, ::testing::Values(300, 500, 2000, 20000));

TEST(FirstShell, DropsRowsWithANonFiniteValue) {
    Curve clean = binned(2000);
    Curve dirty = clean;
    for (std::size_t i = 100; i < 2000; i += 97) dirty.g[i] = kNaN;
    dirty.r[250] = std::numeric_limits<double>::infinity();
    Curve kept;
    for (std::size_t i = 0; i < 2000; ++i) {
        if (std::isfinite(dirty.r[i]) && std::isfinite(dirty.g[i])) {
            kept.r.push_back(dirty.r[i]);
            kept.g.push_back(dirty.g[i]);
        }
    }
    const FirstShell a = shell_of(dirty), b = shell_of(kept);
    ASSERT_TRUE(a.peak && b.peak && a.minimum && b.minimum);
    EXPECT_EQ(a.peak->at, b.peak->at);
    EXPECT_EQ(a.minimum->at, b.minimum->at);
    EXPECT_EQ(a.integral, b.integral);
}

TEST(FirstShell, SearchesFromTheFirstPositiveValue) {
    Curve c = binned(2000);
    // A bump of negative values before the shell is no peak.
    for (std::size_t i = 0; i < 2000; ++i) {
        if (c.r[i] < 1.5) c.g[i] = -1.0 + 0.5 * std::exp(-0.5 * std::pow((c.r[i] - 1.0) / 0.1, 2));
    }
    const FirstShell shell = shell_of(c);
    ASSERT_TRUE(shell.peak);
    EXPECT_NEAR(shell.peak->at, 2.8, 2e-3);
}

TEST(FirstShell, APeakWithoutAMinimumHasNoIntegral) {
    Curve c = binned(2000);
    for (std::size_t i = 0; i < 2000; ++i) {
        if (c.r[i] > 2.8) c.g[i] = shell_g(2.8) - (c.r[i] - 2.8);  // falls to the end
    }
    const FirstShell shell = shell_of(c);
    EXPECT_TRUE(shell.peak);
    EXPECT_FALSE(shell.minimum);
    EXPECT_TRUE(std::isnan(shell.integral));
}

// Curves without a shell: each loses one thing the search needs.
Curve rising() {
    Curve c = binned(2000);
    for (std::size_t i = 0; i < 2000; ++i) c.g[i] = std::tanh(c.r[i]);
    return c;
}
Curve falling_radii() {
    Curve c = binned(2000);
    std::swap(c.r[700], c.r[701]);
    return c;
}
Curve not_positive() {
    Curve c = binned(2000);
    for (double& g : c.g) g = -g;
    return c;
}
Curve two_rows() { return Curve{{2.7, 2.8}, {1.0, 3.0}}; }
Curve short_span() { return binned(100, 0.5); }  // 0.5 is 2.5 scales: no window of two fits
Curve within_one_cell() { return Curve{{2.8, 2.801, 2.802}, {1.0, 3.0, 1.0}}; }

class NoShell : public ::testing::TestWithParam<Curve (*)()> {};

TEST_P(NoShell, HasNoPeak) {
    const FirstShell shell = shell_of(GetParam()());
    EXPECT_FALSE(shell.peak);
    EXPECT_FALSE(shell.minimum);
}

INSTANTIATE_TEST_SUITE_P(Curves, NoShell,
                         ::testing::Values(rising, falling_radii, not_positive, two_rows, short_span,
                                           within_one_cell));

TEST(FirstShell, RefusesAScaleThatIsNoLength) {
    const Curve c = binned(500);
    for (const double scale : {0.0, -0.2, kNaN, std::numeric_limits<double>::infinity(), 1e-12}) {
        auto shell = first_shell(c.r.data(), c.g.data(), c.r.size(), scale);
        ASSERT_FALSE(shell) << scale;
        EXPECT_EQ(shell.error().kind, ErrorKind::ValueError);
    }
}

TEST(FirstShell, ReportsPointsThatDoNotDetermineTheFit) {
    // Bins in pairs a few ulps apart, 0.3 between pairs: the three radii nearest any point are two.
    Curve c;
    for (int k = 0; k < 40; ++k) {
        const double r = 0.15 + 0.3 * k;
        for (const double x : {r, std::nextafter(std::nextafter(r, 20.0), 20.0)}) {
            c.r.push_back(x);
            c.g.push_back(shell_g(x) + 2.0 * std::exp(-0.5 * std::pow((x - 2.85) / 0.5, 2)));
        }
    }
    const FirstShell shell = shell_of(c);
    ASSERT_TRUE(shell.peak);
    EXPECT_FALSE(shell.peak->fitted);
    EXPECT_GT(shell.peak->centre, 2.2);
}

}  // namespace
}  // namespace zorv::transport
