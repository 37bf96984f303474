#include "transport/shell_integral.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace zorv::transport {
namespace {

struct IntegralCase {
    std::vector<double> r, g;
    double upto, expected;
};

class Integral : public ::testing::TestWithParam<IntegralCase> {};

TEST_P(Integral, SumsTheBinsShellsUpToTheLimit) {
    const IntegralCase& c = GetParam();
    EXPECT_NEAR(shell_integral(c.r.data(), c.g.data(), c.r.size(), c.upto), c.expected, 1e-13 * c.expected);
}

const std::vector<double> kCentres = {0.5, 1.5, 2.5, 3.5};  // edges 0, 1, 2, 3, 4
const std::vector<double> kOnes = {1, 1, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Cases, Integral,
    ::testing::Values(IntegralCase{kCentres, kOnes, 2.5, 2.5 * 2.5 * 2.5 / 3},  // g = 1: the ball's r^3 / 3
                      IntegralCase{kCentres, kOnes, 3.0, 9.0},                  // on an edge
                      IntegralCase{kCentres, kOnes, 6.0, 72.0},                 // the last bin runs on
                      IntegralCase{kCentres, {2, 0, 5, 5}, 1.7, 2.0 / 3},       // a histogram, not a line
                      IntegralCase{kCentres, {0, 3, 0, 0}, 3.5, 7.0},           // 3 (8 - 1) / 3
                      // Bins of 1 from 0.2: the first edge would be -0.3 and is held at 0.
                      IntegralCase{{0.2, 1.2, 2.2}, {3, 0, 0}, 0.7, 0.343},
                      IntegralCase{{0.2, 1.2, 2.2}, {3, 0, 0}, 0.1, 0.001}));

}  // namespace
}  // namespace zorv::transport
