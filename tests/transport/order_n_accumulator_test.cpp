#include "transport/order_n_accumulator.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <tuple>

#include "transport/order_n_flux.hpp"

namespace zorv::transport {
namespace {

// Every frame kept: the order-n sums recomputed from all of them, grouped as
// the accumulator groups them (items in order per origin, origins in order).
struct BruteForce {
    std::size_t dims, groups;
    std::vector<std::uint32_t> group;
    std::vector<FloatArray> frames;

    double norm(const FloatArray& a, const FloatArray& b, std::size_t m) const {
        double n = (a[m * dims] - b[m * dims]) * (a[m * dims] - b[m * dims]);
        for (std::size_t d = 1; d < dims; ++d) n += (a[m * dims + d] - b[m * dims + d]) * (a[m * dims + d] - b[m * dims + d]);
        return n;
    }
    FloatArray collective(const FloatArray& f) const {
        FloatArray r(groups * dims, -0.0);
        for (std::size_t m = 0; m < group.size(); ++m)
            for (std::size_t d = 0; d < dims; ++d) r[group[m] * dims + d] += f[m * dims + d];
        return r;
    }
    // Σ over origins of the group's squares and of every pair's products at lag `lag` frames, origins every `stride`.
    std::pair<FloatArray, FloatArray> row(std::size_t stride, std::size_t lag) const {
        FloatArray squares(groups, -0.0), products(groups * (groups + 1) / 2, -0.0);
        for (std::size_t j = 0; j + lag < frames.size(); j += stride) {
            const FloatArray &a = frames[j + lag], &b = frames[j];
            FloatArray per(groups, -0.0);
            for (std::size_t m = 0; m < group.size(); ++m) per[group[m]] += norm(a, b, m);
            for (std::size_t g = 0; g < groups; ++g) squares[g] += per[g];
            const FloatArray ra = collective(a), rb = collective(b);
            std::size_t pair = 0;
            for (std::size_t g = 0; g < groups; ++g) {
                for (std::size_t h = g; h < groups; ++h, ++pair) {
                    double dot = (ra[g * dims] - rb[g * dims]) * (ra[h * dims] - rb[h * dims]);
                    for (std::size_t d = 1; d < dims; ++d)
                        dot += (ra[g * dims + d] - rb[g * dims + d]) * (ra[h * dims + d] - rb[h * dims + d]);
                    products[pair] += dot;
                }
            }
        }
        return {squares, products};
    }
};

// items, dims, groups, nb, nbe, frames
using Case = std::tuple<std::size_t, std::size_t, std::size_t, std::size_t, std::size_t, std::size_t>;

class OrderNAgainstBruteForce : public ::testing::TestWithParam<Case> {};

TEST_P(OrderNAgainstBruteForce, RowsSumsAndOriginsAgreeBitForBit) {
    const auto [items, dims, groups, nb, nbe, count] = GetParam();
    std::mt19937_64 rng(items * 131 + nbe * 7 + count);
    std::normal_distribution<double> step(0.0, 1.0);
    BruteForce brute{dims, groups, {}, {}};
    for (std::size_t m = 0; m < items; ++m) brute.group.push_back(static_cast<std::uint32_t>((m * 7 + 3) % groups));
    OrderNAccumulator acc = OrderNAccumulator::create({nb, nbe, dims, brute.group, groups, true}).value();
    FloatArray x(items * dims, 0.0);
    for (std::size_t f = 0; f < count; ++f) {
        for (double& v : x) v += step(rng);
        brute.frames.push_back(x);
        acc.add(x.data());
    }
    const OrderNTables t = acc.tables();
    std::size_t row = 0, stride = 1;
    for (std::size_t b = 0; b < nb && (count - 1) / stride >= 1; ++b, stride *= nbe) {
        const std::size_t coarse = (count - 1) / stride;
        for (std::size_t k = 1; k <= std::min(nbe, coarse); ++k, ++row) {
            ASSERT_LT(row, t.block.size());
            EXPECT_EQ(t.block[row], b);
            EXPECT_EQ(t.element[row], k);
            EXPECT_EQ(t.origins[row], coarse - k + 1);
            const auto [squares, products] = brute.row(stride, k * stride);
            for (std::size_t g = 0; g < groups; ++g) EXPECT_EQ(t.squares[row * groups + g], squares[g]) << b << " " << k;
            for (std::size_t p = 0; p < products.size(); ++p)
                EXPECT_EQ(t.products[row * products.size() + p], products[p]) << b << " " << k;
        }
    }
    EXPECT_EQ(row, t.block.size());
}

INSTANTIATE_TEST_SUITE_P(Shapes, OrderNAgainstBruteForce,
                         ::testing::Values(Case{1, 1, 1, 1, 2, 2}, Case{5, 3, 2, 3, 3, 40}, Case{7, 3, 3, 4, 2, 33},
                                           Case{4, 1, 4, 2, 5, 26}, Case{3, 3, 1, 5, 4, 100},
                                           Case{6, 3, 2, 2, 10, 9}));

TEST(OrderNFlux, IntegratesByTrapezoidsTheChannelsOfThePressure) {
    const double interval = 0.75, mean = 1.5;
    OrderNFlux flux = OrderNFlux::create(0, 2, 3, interval, {mean, false}).value();
    std::mt19937_64 rng(5);
    std::normal_distribution<double> noise(1.0, 2.0);
    FloatArray tensor(6), channels(7), last(7), integral(7, 0.0);
    std::vector<FloatArray> integrals;
    for (int f = 0; f < 20; ++f) {
        for (double& v : tensor) v = noise(rng);
        flux.add(tensor.data());
        pressure_channels(tensor.data(), mean, channels.data());
        for (std::size_t c = 0; f > 0 && c < 7; ++c) integral[c] += (0.5 * interval) * (last[c] + channels[c]);
        integrals.push_back(integral);
        last = channels;
    }
    const OrderNTables t = flux.tables();
    ASSERT_EQ(t.squares.size(), t.block.size() * 7);
    for (std::size_t row = 0; row < t.block.size(); ++row) {
        const std::size_t stride = t.block[row] == 0 ? 1 : 3, lag = t.element[row] * stride;
        for (std::size_t c = 0; c < 7; ++c) {
            double sum = -0.0;
            for (std::size_t j = 0; j + lag < integrals.size(); j += stride) {
                const double d = integrals[j + lag][c] - integrals[j][c];
                sum += d * d;
            }
            EXPECT_EQ(t.squares[row * 7 + c], sum) << row << " " << c;
        }
    }
}

TEST(OrderNFlux, SubtractsTheRunsOwnMeanPressureAfterThePass) {
    // A pressure far from 0 with its own mean taken after the pass: the bulk channel's squares are those
    // of ∫(p − m), m the trapezoidal mean; the other channels are those of a given mean.
    const double interval = 0.5;
    const std::size_t frames = 41, nb = 3, nbe = 3;
    OrderNFlux own = OrderNFlux::create(0, nb, nbe, interval, {std::nullopt, true}).value();
    OrderNFlux given = OrderNFlux::create(0, nb, nbe, interval, {0.0, false}).value();
    std::mt19937_64 rng(9);
    std::normal_distribution<double> noise(300.0, 40.0);
    FloatArray tensor(6), p(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        for (double& v : tensor) v = noise(rng);
        own.add(tensor.data());
        given.add(tensor.data());
        p[f] = ((tensor[0] + tensor[1]) + tensor[2]) / 3.0;
    }
    FloatArray integral(frames, 0.0);
    for (std::size_t f = 1; f < frames; ++f) integral[f] = integral[f - 1] + 0.5 * interval * (p[f - 1] + p[f]);
    const double mean = integral.back() / (interval * static_cast<double>(frames - 1));
    EXPECT_NEAR(*own.mean_pressure(), mean, 1e-12 * mean);
    const OrderNTables t = own.tables(), u = given.tables();
    ASSERT_EQ(t.squares.size(), u.squares.size());
    for (std::size_t row = 0; row < t.block.size(); ++row) {
        const std::size_t stride = t.block[row] == 0 ? 1 : t.block[row] == 1 ? 3 : 9, lag = t.element[row] * stride;
        double sum = 0.0;
        for (std::size_t j = 0; j + lag < frames; j += stride) {
            const double d = integral[j + lag] - integral[j] - mean * interval * static_cast<double>(lag);
            sum += d * d;
        }
        EXPECT_NEAR(t.squares[row * 7 + 6], sum, 1e-9 * sum) << row;
        for (std::size_t c = 0; c < 6; ++c) EXPECT_EQ(t.squares[row * 7 + c], u.squares[row * 7 + c]);
    }
}

TEST(OrderNAccumulator, RefusesSettingsItCannotHonour) {
    EXPECT_FALSE(OrderNAccumulator::create({0, 2, 3, {0}, 1, false}));
    EXPECT_FALSE(OrderNAccumulator::create({1, 1, 3, {0}, 1, false}));
    EXPECT_FALSE(OrderNAccumulator::create({1, 2, 2, {0}, 1, false}));
    EXPECT_FALSE(OrderNAccumulator::create({1, 2, 3, {}, 1, false}));
    EXPECT_FALSE(OrderNAccumulator::create({1, 2, 3, {0, 2}, 2, false}));
    EXPECT_FALSE(OrderNAccumulator::create({64, 1024, 3, std::vector<std::uint32_t>(1 << 20, 0), 1, false}));
    EXPECT_FALSE(OrderNFlux::create(3, 2, 2, 0.0, {}));
    EXPECT_FALSE(OrderNFlux::create(0, 2, 2, 1.0, {1.0, true}));
    EXPECT_TRUE(OrderNAccumulator::create({1, 2, 1, {0}, 1, false}));
}

}  // namespace
}  // namespace zorv::transport
