#include "transport/shell_vertex.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace zorv::transport {
namespace {

struct Points {
    std::vector<double> x;
    std::vector<double> y;
};

// n points evenly over [from, to] of the polynomial c0 + c1 x + ... (lowest power first).
Points sampled(std::vector<double> c, double from, double to, std::size_t n) {
    Points p;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = from + (to - from) * static_cast<double>(i) / static_cast<double>(n - 1);
        double y = 0.0;
        for (std::size_t j = c.size(); j-- > 0;) y = c[j] + y * x;
        p.x.push_back(x);
        p.y.push_back(y);
    }
    return p;
}

TEST(LeastSquaresPolynomial, RecoversAPolynomialOfItsDegree) {
    const std::vector<std::vector<double>> cases = {
        {1.0, 2.0, -3.0}, {2.5, 0.1, -40.0, 200.0, -900.0}, {0.0, 0.0, 1.0}};
    for (const auto& c : cases) {
        const Points p = sampled(c, -0.1, 0.1, 21);
        SmallPolynomial fit;
        ASSERT_TRUE(least_squares_polynomial(p.x.data(), p.y.data(), p.x.size(), static_cast<int>(c.size()) - 1, fit));
        for (std::size_t j = 0; j < c.size(); ++j) EXPECT_NEAR(fit.c[j], c[j], 1e-9 * (1.0 + std::fabs(c[j]))) << j;
    }
}

TEST(LeastSquaresPolynomial, AveragesNoiseLikeTheNormalEquations) {
    // A parabola through (-1, 1), (0, 0), (1, 1), (2, 5): the normal equations solved by hand.
    const std::vector<double> x = {-1.0, 0.0, 1.0, 2.0};
    const std::vector<double> y = {1.0, 0.0, 1.0, 5.0};
    SmallPolynomial fit;
    ASSERT_TRUE(least_squares_polynomial(x.data(), y.data(), x.size(), 2, fit));
    EXPECT_NEAR(fit.c[0], -0.15, 1e-12);
    EXPECT_NEAR(fit.c[1], 0.05, 1e-12);
    EXPECT_NEAR(fit.c[2], 1.25, 1e-12);
}

TEST(LeastSquaresPolynomial, RefusesPointsThatDoNotDetermineIt) {
    const std::vector<double> same = {0.5, 0.5, 0.5, 0.5, 0.5};
    const std::vector<double> y = {1.0, 2.0, 3.0, 4.0, 5.0};
    SmallPolynomial fit;
    EXPECT_FALSE(least_squares_polynomial(same.data(), y.data(), same.size(), 2, fit));
    EXPECT_FALSE(least_squares_polynomial(y.data(), y.data(), 2, 2, fit));  // two points, three coefficients
    EXPECT_FALSE(least_squares_polynomial(y.data(), y.data(), 5, 5, fit));  // beyond degree 4
}

struct VertexCase {
    const char* name;
    std::vector<double> c;
    double sign;
    bool found;
    double offset;
};

TEST(ShellVertex, FindsTheExtremumOfTheWantedKindNearestZero) {
    const std::vector<VertexCase> cases = {
        {"peak", {3.0, 0.2, -10.0}, 1.0, true, 0.01},
        {"minimum", {1.0, -0.4, 10.0}, -1.0, true, 0.02},
        {"a minimum is no peak", {1.0, -0.4, 10.0}, 1.0, false, 0.0},
        {"vertex outside the points", {3.0, 5.0, -10.0}, 1.0, false, 0.0},
        {"a maximum between two minima", {0.0, 0.0, -1.0, 0.0, 100.0}, 1.0, true, 0.0},
    };
    for (const VertexCase& k : cases) {
        const Points p = sampled(k.c, -0.1, 0.1, 15);
        const int degree = static_cast<int>(k.c.size()) - 1;
        const ShellVertex v = shell_vertex(p.x.data(), p.y.data(), p.x.size(), degree, k.sign);
        ASSERT_TRUE(v.fitted) << k.name;
        EXPECT_EQ(v.found, k.found) << k.name;
        EXPECT_NEAR(v.offset, k.offset, 1e-12) << k.name;
        double at = 0.0;
        for (std::size_t j = k.c.size(); j-- > 0;) at = k.c[j] + at * v.offset;
        EXPECT_NEAR(v.value, at, 1e-10) << k.name;
    }
}

TEST(ShellVertex, PicksTheNearerOfTwoPeaks) {
    // p = -(x² - 0.05²)² + 1e-4 x: maxima at -0.0439 and 0.0544, a minimum at -0.0105 between them.
    const std::vector<double> c = {-6.25e-6, 1e-4, 0.005, 0.0, -1.0};
    const Points p = sampled(c, -0.1, 0.1, 31);
    const ShellVertex peak = shell_vertex(p.x.data(), p.y.data(), p.x.size(), 4, 1.0);
    ASSERT_TRUE(peak.found);
    EXPECT_NEAR(peak.offset, -0.04394425, 1e-7);
    const ShellVertex dip = shell_vertex(p.x.data(), p.y.data(), p.x.size(), 4, -1.0);
    ASSERT_TRUE(dip.found);
    EXPECT_NEAR(dip.offset, -0.01045744, 1e-7);
}

}  // namespace
}  // namespace zorv::transport
