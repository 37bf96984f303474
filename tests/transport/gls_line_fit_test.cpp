#include "transport/gls_line_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>

#include "transport/cholesky_whitening.hpp"

namespace zorv::transport {
namespace {

// Rows at t = 1..n with a Brownian-like covariance min(i, j) + 1, whitened
// as the fits whiten a table: the reversed factor, L⁻¹ [1, t] of the rows
// last to first and (XᵀX)⁻¹ of every suffix in start order.
struct Whitened {
    FloatArray t;
    FloatArray factor;
    FloatArray design;
    FloatArray suffix_cov;

    explicit Whitened(std::size_t n) : t(n), design(2 * n), suffix_cov(4 * n) {
        FloatArray cov(n * n);
        for (std::size_t i = 0; i < n; ++i) {
            t[i] = static_cast<double>(i + 1);
            for (std::size_t j = 0; j < n; ++j) cov[i * n + j] = static_cast<double>(std::min(i, j) + 1);
        }
        factor = reversed_cholesky(cov.data(), n, 0.0).value();
        const FloatArray ones(n, 1.0);
        const FloatArray reversed_t(t.rbegin(), t.rend());
        const FloatArray x0 = forward_substitution(factor.data(), n, ones.data());
        const FloatArray x1 = forward_substitution(factor.data(), n, reversed_t.data());
        double g00 = 0.0, g01 = 0.0, g11 = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            design[2 * k] = x0[k];
            design[2 * k + 1] = x1[k];
            g00 += x0[k] * x0[k];
            g01 += x0[k] * x1[k];
            g11 += x1[k] * x1[k];
            const double det = g00 * g11 - g01 * g01;
            double* c = suffix_cov.data() + 4 * (n - 1 - k);
            const double nan = std::nan("");
            c[0] = k >= 1 ? g11 / det : nan;
            c[3] = k >= 1 ? g00 / det : nan;
            c[1] = c[2] = k >= 1 ? -g01 / det : nan;
        }
    }

    WhitenedRows rows() const { return {factor.data(), design.data(), suffix_cov.data(), t.size()}; }

    FloatArray curve(const std::function<double(double)>& y) const {
        FloatArray out;
        for (const double time : t) out.push_back(y(time));
        return out;
    }
};

GlsSettings settings(double walkers, double run_length) {
    GlsSettings s;
    s.walkers = walkers;
    s.run_length = run_length;
    return s;
}

TEST(SuffixLines, AStraightLineGivesItselfFromEveryStart) {
    const Whitened w(40);
    const FloatArray y = w.curve([](double t) { return 2.0 + 3.0 * t; });
    const FloatArray lines = suffix_lines(w.rows(), y.data());
    for (std::size_t s = 0; s + 1 < 40; ++s) {
        EXPECT_NEAR(lines[2 * s], 2.0, 1e-9) << s;
        EXPECT_NEAR(lines[2 * s + 1], 3.0, 1e-10) << s;
    }
    EXPECT_TRUE(std::isnan(lines[2 * 39 + 1]));  // one row determines no line
}

struct StartCase {
    const char* name;
    double walkers;
    double run_length;
    std::function<double(double)> curve;
    std::size_t lowest;   // the chosen start lies in [lowest, highest]
    std::size_t highest;
    bool not_converged;
    double slope;         // the slope it should give
    double tolerance;     // relative
};

class StartRuleCase : public ::testing::TestWithParam<StartCase> {};

// Known curves, no noise: where the rule starts and what it gives.
TEST_P(StartRuleCase, StartsWhereTheCurveHasReachedItsLine) {
    const StartCase c = GetParam();
    const Whitened w(60);
    const FloatArray y = w.curve(c.curve);
    const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), settings(c.walkers, c.run_length));
    ASSERT_TRUE(line.has_value());
    EXPECT_GE(line->start, c.lowest);
    EXPECT_LE(line->start, c.highest);
    EXPECT_EQ(line->not_converged, c.not_converged);
    EXPECT_NEAR(line->slope, c.slope, c.tolerance * c.slope);
    ASSERT_EQ(line->fit.size(), 60 - line->start);
    ASSERT_EQ(line->band.size(), 60 - line->start);
    for (std::size_t i = 0; i < line->band.size(); ++i) {
        EXPECT_EQ(line->fit[i], line->intercept + line->slope * w.t[line->start + i]);
        EXPECT_GE(line->band[i], 0.0);
    }
}

double from_below(double t) { return 0.5 * (t - 2.0 * (1.0 - std::exp(-t / 2.0))); }
double from_above(double t) { return 0.5 * t + 3.0 * (1.0 - std::exp(-t / 4.0)); }

INSTANTIATE_TEST_SUITE_P(
    Curves, StartRuleCase,
    ::testing::Values(
        StartCase{"line", 100.0, 1e4, [](double t) { return 1.0 + 0.25 * t; }, 0, 0, false, 0.25, 1e-12},
        // τ̂ = 2, taken an intercept error low, moves the start to at most 40 τ̂ = 80, past 10 τ.
        StartCase{"below", 100.0, 1e4, from_below, 20, 80, false, 0.5, 1e-6},
        // The same bend with the horizon at t = 10: it reaches past it, and the last start is taken.
        StartCase{"below_past_horizon", 100.0, 100.0, from_below, 9, 9, true, 0.5, 1e-3},
        // From above with errors small against the bend: early starts disagree with later ones.
        StartCase{"above_precise", 100.0, 1e4, from_above, 4, 52, false, 0.5, 1e-3},
        // Errors far below what the bend leaves even at the last candidate: still bending there.
        StartCase{"above_beyond_precision", 1e14, 1e4, from_above, 20, 52, true, 0.5, 1e-3},
        // Large errors: the bend is within the noise from the first row, whose slope it lifts.
        StartCase{"above_noisy", 1e-3, 1e4, from_above, 0, 0, false, 0.5, 0.1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GlsLine, NoRiseAndTooFewRowsGiveNothing) {
    const Whitened w(30);
    const FloatArray flat = w.curve([](double) { return 4.0; });
    const FloatArray falling = w.curve([](double t) { return 10.0 - t; });
    EXPECT_FALSE(gls_line(w.rows(), w.t.data(), flat.data(), settings(10.0, 1e4)));
    EXPECT_FALSE(gls_line(w.rows(), w.t.data(), falling.data(), settings(10.0, 1e4)));
    GlsSettings fixed = settings(10.0, 1e4);
    fixed.start_at = 3.0;
    const std::optional<GlsLine> down = gls_line(w.rows(), w.t.data(), falling.data(), fixed);
    ASSERT_TRUE(down);  // a fixed start may have either sign
    EXPECT_NEAR(down->slope, -1.0, 1e-12);
    EXPECT_EQ(down->start, 2U);
    GlsSettings strict = settings(10.0, 1e4);
    strict.rule.min_rows = 31;
    const FloatArray rising = w.curve([](double t) { return t; });
    EXPECT_FALSE(gls_line(w.rows(), w.t.data(), rising.data(), strict));
}

TEST(GlsLine, FixedStartWidensOnlyWhenAsked) {
    const Whitened w(60);
    const FloatArray y = w.curve(from_below);
    GlsSettings fixed = settings(100.0, 1e4);
    fixed.start_at = 5.0;
    const std::optional<GlsLine> plain = gls_line(w.rows(), w.t.data(), y.data(), fixed);
    fixed.widen_fixed = true;
    const std::optional<GlsLine> widened = gls_line(w.rows(), w.t.data(), y.data(), fixed);
    ASSERT_TRUE(plain && widened);
    EXPECT_EQ(plain->start, 4U);
    EXPECT_EQ(plain->widen, 0.0);
    const FloatArray lines = suffix_lines(w.rows(), y.data());
    EXPECT_EQ(widened->widen, std::abs(lines[2 * 9 + 1] - lines[2 * 4 + 1]));  // to the start at twice its time
    EXPECT_GT(widened->band.back(), plain->band.back());
}

// A relaxation rule that lands in the last doubling before the horizon leaves no later start to compare:
// the start at half its time sizes the choice instead of nothing (it was taken with no widening at all).
TEST(GlsLine, AStartWithNothingLaterIsWidenedByItsChangeFromHalfItsTime) {
    const Whitened w(60);
    const FloatArray y = w.curve(from_below);
    GlsSettings near = settings(100.0, 800.0);  // horizon 80: the start τ̂ gives has no candidate after it
    const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), near);
    ASSERT_TRUE(line);
    ASSERT_GT(2.0 * w.t[line->start], 80.0);
    EXPECT_FALSE(line->not_converged);
    const FloatArray lines = suffix_lines(w.rows(), y.data());
    const std::size_t half = static_cast<std::size_t>(std::ceil(w.t[line->start] / 2.0)) - 1;
    EXPECT_GT(line->widen, 0.0);
    EXPECT_EQ(line->widen, std::abs(lines[2 * line->start + 1] - lines[2 * half + 1]));
}

// The one start before the horizon can have a non-positive slope (a few walkers' late rows): the curve kept
// no value at all, and a run lost the coefficients combined from it.
TEST(GlsLine, AnOnlyStartWithNoRiseFallsBackToTheStartAtHalfItsTime) {
    const Whitened w(40);
    const FloatArray y = w.curve([](double t) { return t <= 20.0 ? t : 20.0 - 0.2 * (t - 20.0); });
    GlsSettings late = settings(3.0, 300.0);  // horizon 30: the start at 20 has no candidate after it
    late.earliest = 20.0;
    const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), late);
    ASSERT_TRUE(line);
    const FloatArray lines = suffix_lines(w.rows(), y.data());
    ASSERT_LE(lines[2 * 19 + 1], 0.0);
    EXPECT_EQ(line->start, 9u);
    EXPECT_GT(line->slope, 0.0);
    EXPECT_TRUE(line->not_converged);
    EXPECT_EQ(line->widen, 2.0 * std::abs(lines[2 * 19 + 1] - lines[2 * 9 + 1]));
}

// A few walkers' start is widened by what they saw: kept at the first row, where many walkers saw no bend, not
// by their next change (their noise: such values were 1.2 times as wide as a first-row fit on straight lines);
// moved by their own search, by their change from the start before as well (they held the truth in 85-88 %).
TEST(GlsLine, AFewWalkerStartIsWidenedByWhatItsWalkersSaw) {
    const Whitened w(60);
    const FloatArray wavy = w.curve([](double t) { return t + 0.3 * std::sin(t); });
    GlsSettings kept = settings(3.0, 1e4);
    kept.earliest = 1.0;
    kept.rule.widen_anchor = false;
    const std::optional<GlsLine> anchored = gls_line(w.rows(), w.t.data(), wavy.data(), kept);
    kept.earliest = 5.0;  // a later anchor ended a bend only to the many walkers' precision
    const std::optional<GlsLine> later = gls_line(w.rows(), w.t.data(), wavy.data(), kept);
    kept.earliest = 1.0;
    kept.rule.widen_anchor = true;
    const std::optional<GlsLine> widened = gls_line(w.rows(), w.t.data(), wavy.data(), kept);
    ASSERT_TRUE(anchored && later && widened);
    EXPECT_EQ(anchored->start, 0U);
    EXPECT_EQ(anchored->widen, 0.0);
    EXPECT_EQ(later->start, 4U);
    EXPECT_GT(later->widen, 0.0);
    EXPECT_GT(widened->widen, 0.0);

    const Whitened long_rows(200);  // room for a candidate after the moved start
    const FloatArray bend = long_rows.curve(from_below);
    GlsSettings few = settings(3.0, 1e4);
    few.scale = 1e-6;  // precise enough to see the bend
    const std::optional<GlsLine> moved = gls_line(long_rows.rows(), long_rows.t.data(), bend.data(), few);
    few.rule.before_walkers = 2.0;
    const std::optional<GlsLine> many = gls_line(long_rows.rows(), long_rows.t.data(), bend.data(), few);
    ASSERT_TRUE(moved && many);
    ASSERT_GT(moved->start, 0U);
    const FloatArray lines = suffix_lines(long_rows.rows(), bend.data());
    const std::size_t before = static_cast<std::size_t>(std::ceil(long_rows.t[moved->start] / 2.0)) - 1;
    const double change = lines[2 * moved->start + 1] - lines[2 * before + 1];
    EXPECT_EQ(moved->widen, std::sqrt(many->widen * many->widen + change * change));
    EXPECT_GT(moved->widen, many->widen);
}

TEST(GlsLine, ErrorScalesWithTheNoiseScaleOverTheWalkers) {
    const Whitened w(50);
    const FloatArray y = w.curve([](double t) { return 0.2 * t; });
    GlsSettings given = settings(8.0, 1e4);
    given.scale = 3.0;
    const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), given);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->se, std::sqrt(w.suffix_cov[4 * line->start + 3] * (3.0 / 8.0)));
    const std::optional<GlsLine> own = gls_line(w.rows(), w.t.data(), y.data(), settings(8.0, 1e4));
    ASSERT_TRUE(own);  // without a scale, the slope squared
    EXPECT_NEAR(own->se, std::sqrt(w.suffix_cov[4 * own->start + 3] * (0.04 / 8.0)), 1e-15);
}

// A row's noise follows the curve's level: a curve lifted by a bounded rattle is sized above its slope's
// square, but a constant offset at lag 0 is no noise, so the chord is held to the first row's slope.
TEST(GlsLine, ErrorIsSizedByTheLevelNotByAnOffset) {
    const Whitened w(50);
    const double walkers = 100.0;  // precise enough that the start moves past most of the rattle
    const auto sized = [&](const FloatArray& y) {
        const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), settings(walkers, 1e4));
        EXPECT_TRUE(line);
        return line->scale / (line->slope * line->slope);
    };
    EXPECT_GT(sized(w.curve(from_above)), 1.1);
    EXPECT_NEAR(sized(w.curve([](double t) { return 5.0 + 0.2 * t; })), 1.0, 1e-12);
}

// A start fixed by hand where the curve has flattened: its slope's square would size the error far below
// the rows' noise, which follows the level the curve reached (one walker's slope from a late start can
// come out near zero and its error with it).
TEST(GlsLine, AFixedStartIsSizedByTheLevelToo) {
    const Whitened w(50);
    const FloatArray y = w.curve([](double t) { return t < 20.0 ? t : 20.0 + 0.1 * (t - 20.0); });
    GlsSettings fixed = settings(1.0, 1e4);
    fixed.start_at = 30.0;
    const std::optional<GlsLine> line = gls_line(w.rows(), w.t.data(), y.data(), fixed);
    ASSERT_TRUE(line);
    const double first = suffix_lines(w.rows(), y.data())[1];  // the chord is held to the first row's slope
    const double chord = std::min(y[line->start] / w.t[line->start], first);
    EXPECT_GT(chord, 3.0 * line->slope);
    EXPECT_EQ(line->scale, chord * chord);
}

}  // namespace
}  // namespace zorv::transport
