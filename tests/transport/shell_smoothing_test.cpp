#include "transport/shell_smoothing.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A grid whose cells hold the values given: two equal bins a cell, cells of one step from 0.
struct GridOf {
    std::vector<double> r, g;
    ShellGrid grid;

    GridOf(const std::vector<double>& values, double step) : grid(make(values, step)) {}
    ShellGrid make(const std::vector<double>& values, double step) {
        for (std::size_t k = 0; k < values.size(); ++k) {
            r.insert(r.end(), {step * static_cast<double>(k), step * (static_cast<double>(k) + 0.5)});
            g.insert(g.end(), {values[k], values[k]});
        }
        return ShellGrid::make(r.data(), g.data(), r.size(), step).value();
    }
};

std::vector<double> smoothed(const std::vector<double>& values, double step, double width) {
    GridOf cells(values, step);
    auto curve = SmoothedCurve::make(cells.grid, width);
    EXPECT_TRUE(curve);
    std::vector<double> out;
    for (std::size_t i = 0; i < values.size(); ++i) out.push_back(curve.value()[i]);
    return out;
}

TEST(SmoothedCurve, KeepsAConstantUpToTheEnds) {
    const std::vector<double> flat(60, 2.5);
    for (const double value : smoothed(flat, 0.125, 0.5)) EXPECT_NEAR(value, 2.5, 1e-15);
}

TEST(SmoothedCurve, SpreadsAPointAsTheGaussianOutToFourWidths) {
    std::vector<double> spike(101, 0.0);
    spike[50] = 1.0;
    const std::vector<double> out = smoothed(spike, 0.125, 0.25);  // eight steps to four widths
    for (int k = 0; k <= 8; ++k) {
        const double z = k * 0.125 / 0.25;
        EXPECT_NEAR(out[50 + k] / out[50], std::exp(-0.5 * z * z), 1e-15) << k;
        EXPECT_EQ(out[50 - k], out[50 + k]) << k;
    }
    EXPECT_EQ(out[59], 0.0);
    EXPECT_EQ(out[41], 0.0);
}

TEST(SmoothedCurve, StaysCentredOnAGridShorterThanItsKernel) {
    std::vector<double> spike(60, 0.0);
    spike[30] = 1.0;
    const std::vector<double> out = smoothed(spike, 0.125, 1.0);  // 65 weights over 60 points
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i != 30) EXPECT_LT(out[i], out[30]) << i;
    }
}

TEST(SmoothedCurve, RefusesAKernelBeyondTheGridsLimit) {
    GridOf cells({1.0, 2.0}, 1e-300);
    EXPECT_FALSE(SmoothedCurve::make(cells.grid, 1.0));
}

// A kernel far narrower than a step: the smoothed curve is the values themselves.
std::optional<std::size_t> extremum_of(const std::vector<double>& values, std::size_t reach, std::size_t start,
                                       double sign) {
    GridOf cells(values, 1.0);
    auto curve = SmoothedCurve::make(cells.grid, 1e-3);
    return first_extremum(curve.value(), reach, start, sign);
}

struct ExtremumCase {
    std::vector<double> values;
    std::size_t reach, start;
    double sign;
    std::optional<std::size_t> expected;
};

class Extremum : public ::testing::TestWithParam<ExtremumCase> {};

TEST_P(Extremum, StandsOutOverItsWholeWindow) {
    const ExtremumCase& c = GetParam();
    EXPECT_EQ(extremum_of(c.values, c.reach, c.start, c.sign), c.expected);
}

const std::vector<double> kHill = {0, 1, 2, 3, 2, 1, 0, 1, 4, 1, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, Extremum,
    ::testing::Values(ExtremumCase{kHill, 2, 0, 1.0, 3}, ExtremumCase{kHill, 2, 4, 1.0, 8},  // from start on
                      ExtremumCase{kHill, 3, 0, 1.0, 3},
                      ExtremumCase{kHill, 4, 0, 1.0, std::nullopt},   // windows off the start, off the end
                      ExtremumCase{kHill, 2, 0, -1.0, 6},             // a minimum
                      ExtremumCase{{0, 1, 3, 3, 1, 0}, 2, 0, 1.0, 2},  // a flat top: its first point
                      ExtremumCase{{0, 1, 3, 3, 1, 0}, 1, 0, 1.0, std::nullopt},  // equal a reach away
                      ExtremumCase{{0, 1, 2, 1, 2}, 2, 0, 1.0, std::nullopt},
                      ExtremumCase{{0, 1, 3, kNaN, 0, 0}, 2, 0, 1.0, std::nullopt},
                      ExtremumCase{{0, 1, 3, 1, 0}, 3, 0, 1.0, std::nullopt}));  // shorter than a window

// The definition, window by window.
std::optional<std::size_t> by_definition(const std::vector<double>& v, std::size_t reach, std::size_t start,
                                         double sign) {
    for (std::size_t c = std::max(start, reach); c + reach < v.size(); ++c) {
        bool ok = sign * v[c] > sign * v[c - reach] && sign * v[c] > sign * v[c + reach];
        for (std::size_t j = c - reach; j <= c + reach; ++j) ok = ok && sign * v[c] >= sign * v[j];
        if (ok) return c;
    }
    return std::nullopt;
}

TEST(Extremum, IsTheDefinitionOnRandomCurves) {
    std::mt19937_64 random(5);
    std::normal_distribution<double> normal;
    for (int kind = 0; kind < 3; ++kind) {
        for (int trial = 0; trial < 200; ++trial) {
            const std::size_t n = 1 + random() % 120, reach = 1 + random() % 12, start = random() % (n + 3);
            std::vector<double> v(n);
            double walk = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                walk += normal(random);
                v[i] = kind == 0 ? walk : kind == 1 ? static_cast<double>(random() % 3) : std::sin(i / 7.0);
            }
            for (const double sign : {1.0, -1.0}) {
                EXPECT_EQ(extremum_of(v, reach, start, sign), by_definition(v, reach, start, sign))
                    << kind << " " << trial;
            }
        }
    }
}

}  // namespace
}  // namespace zorv::transport
