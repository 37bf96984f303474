#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "transport/sample_statistics.hpp"

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(RepackingResults, IgnoresValuesThatAreNotFinite) {
    const auto [mean, std_dev, count] = repacking_results({1.0, 2.0, kNaN, 3.0, kInf});
    EXPECT_EQ(mean, 2.0);
    EXPECT_EQ(std_dev, std::sqrt(((1.0 + 0.0) + 1.0) / 3.0));
    EXPECT_EQ(count, 3u);
}

TEST(RepackingResults, SumsLeftToRight) {
    const auto [mean, std_dev, count] = repacking_results({0.1, 0.2, 0.3});
    EXPECT_EQ(mean, std::nextafter(0.2, 1.0));
    EXPECT_NEAR(std_dev, 0.0816, 1e-4);
    EXPECT_EQ(count, 3u);
}

TEST(RepackingResults, SingleValueHasNoSpread) {
    const auto [mean, std_dev, count] = repacking_results({5.0});
    EXPECT_EQ(mean, 5.0);
    EXPECT_EQ(std_dev, 0.0);
    EXPECT_EQ(count, 1u);
}

TEST(RepackingResults, NothingFiniteGivesNaN) {
    for (const FloatArray& values : {FloatArray{}, FloatArray{kNaN, -kInf}}) {
        const auto [mean, std_dev, count] = repacking_results(values);
        EXPECT_TRUE(std::isnan(mean));
        EXPECT_TRUE(std::isnan(std_dev));
        EXPECT_EQ(count, 0u);
    }
}

TEST(RepackingResults, NegativeZerosKeepTheirSign) {
    const auto [mean, std_dev, count] = repacking_results({-0.0, -0.0});
    EXPECT_TRUE(std::signbit(mean));
    EXPECT_EQ(count, 2u);
}

}  // namespace
}  // namespace zorv::transport
