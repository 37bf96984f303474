#include "transport/shell_grid.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorv::transport {
namespace {

struct InterpolationCase {
    std::vector<double> r, g;
    double x, expected;
};

class Interpolated : public ::testing::TestWithParam<InterpolationCase> {};


TEST_P(Interpolated, FollowsNumpyInterp) {
    const InterpolationCase& c = GetParam();
    EXPECT_EQ(transport::Interpolation(c.r.data(), c.g.data(), c.r.size())(c.x), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Interpolated,
    ::testing::Values(InterpolationCase{{1, 2, 4}, {10, 20, 0}, 0.5, 10},   // held at the first value below
                      InterpolationCase{{1, 2, 4}, {10, 20, 0}, 9.0, 0},    // and at the last above
                      InterpolationCase{{1, 2, 4}, {10, 20, 0}, 4.0, 0},    // the last radius itself
                      InterpolationCase{{1, 2, 4}, {10, 20, 0}, 2.0, 20},   // a radius gives its value
                      InterpolationCase{{1, 2, 4}, {10, 20, 0}, 1.5, 15},   // between two
                      InterpolationCase{{1, 2, 4}, {10, 20, 0}, 3.0, 10},
                      // A step too long for a double: 0 · inf, retried from the upper end.
                      InterpolationCase{{-1.5e308, 1.5e308, 1.6e308}, {2, 2, 3}, 1e308, 2}));

TEST(ShellGrid, AveragesFineBinsAndInterpolatesCoarseOnes) {
    // Cells of 1/8 from 1/64: four bins a cell below 1/2, then bins three cells apart (all exact in binary).
    std::vector<double> r, g;
    for (int i = 0; i < 16; ++i) r.push_back(1.0 / 64 + i / 32.0);
    for (const double x : {0.625, 1.0, 1.375, 1.75}) r.push_back(x);
    for (const double x : r) g.push_back(x < 0.5 ? (x < 0.125 ? 1.0 : 1.0 + 4.0 * x) : 10.0 * x);
    auto grid = ShellGrid::make(r.data(), g.data(), r.size(), 0.125);
    ASSERT_TRUE(grid);
    ShellGrid& cells = grid.value();
    ASSERT_EQ(cells.size(), 14u);  // (1.75 - 1/64) / (1/8) = 13.875, truncated, plus one
    EXPECT_EQ(cells.at(2), 1.0 / 64 + 0.125 * 2.5);
    const double* values = cells.values_to(3);  // the rest are filled when asked for, the same either way
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[2], 2.25);  // the mean of its four bins, 1 + 4 * 0.3125
    values = cells.values_to(14);
    EXPECT_EQ(values[2], 2.25);
    EXPECT_EQ(values[3], 1.0 + 4.0 * (1.0 / 64 + 13.5 / 32));
    // A cell of one bin: the line between its neighbours at the cell's centre, not that bin's value.
    EXPECT_NEAR(values[4], 2.9375 + (6.25 - 2.9375) / 0.140625 * 0.09375, 1e-12);
    EXPECT_NEAR(values[5], 7.03125, 1e-12);  // a cell of none
    EXPECT_NEAR(values[13], 17.03125, 1e-12);
}

TEST(ShellGrid, WalksOnToTheBinsOfEachPoint) {
    std::vector<double> r, g;
    for (int i = 0; i < 50; ++i) {
        r.push_back(0.1 * i * i);  // bins ever wider
        g.push_back(std::sin(i));
    }
    transport::Interpolation walking(r.data(), g.data(), r.size());
    for (double x = 0.0; x < r.back(); x += 0.37) {  // several bins a step at first, several steps a bin later
        const auto j = static_cast<std::size_t>(std::upper_bound(r.begin(), r.end(), x) - r.begin()) - 1;
        const double on_line = g[j] + (g[j + 1] - g[j]) * (x - r[j]) / (r[j + 1] - r[j]);
        EXPECT_NEAR(walking(x), on_line, 1e-12) << x;
    }
}

TEST(ShellGrid, RefusesAScaleTooSmallForTheSpan) {
    const std::vector<double> r = {0.0, 1.0, 2.0};
    const std::vector<double> g = {1.0, 2.0, 1.0};
    EXPECT_FALSE(ShellGrid::make(r.data(), g.data(), 3, 1e-9));
    EXPECT_TRUE(ShellGrid::make(r.data(), g.data(), 3, 1e-6));
}

}  // namespace
}  // namespace zorv::transport
