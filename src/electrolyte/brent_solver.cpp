#include "electrolyte/brent_solver.hpp"

#include <bit>
#include <cstdint>
#include <cmath>
#include <utility>

namespace zorv::electrolyte {
namespace {

struct BrentState {
    double a, b, c, d;     // b is the best estimate, c the previous one, d the one before
    double fa, fb, fc;
    bool bisected;

    // Bitwise, so that a state holding NaN can still be recognised as unchanged.
    bool operator==(const BrentState& other) const {
        const auto same = [](double x, double y) {
            return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
        };
        return same(a, other.a) && same(b, other.b) && same(c, other.c) && same(d, other.d)
               && same(fa, other.fa) && same(fb, other.fb) && same(fc, other.fc)
               && bisected == other.bisected;
    }
};

// Inverse quadratic interpolation through the three points, or the secant
// through a and b when two residuals coincide.
double candidate(const BrentState& s) {
    const double a = s.a, b = s.b, c = s.c, fa = s.fa, fb = s.fb, fc = s.fc;
    if (fa != fc && fb != fc) {
        const double p1 = ((a * fb) * fc) / ((fa - fc) * (fa - fb));
        const double p2 = ((b * fa) * fc) / ((fb - fc) * (fb - fa));
        const double p3 = ((c * fa) * fb) / ((fc - fa) * (fc - fb));
        return p3 + (p1 + p2);
    }
    return b - ((b - a) * fb) / (fb - fa);
}

bool must_bisect(const BrentState& s, double candidate_s, double tolerance) {
    const double q = (s.a * 3.0 + s.b) * 0.25;
    const bool between = (q < candidate_s && candidate_s < s.b) || (s.b < candidate_s && candidate_s < q);
    const double k = s.bisected ? std::fabs(s.b - s.c) : std::fabs(s.c - s.d);
    return !between || k * 0.5 <= std::fabs(candidate_s - s.b) || k < tolerance;
}

void step(BrentState& s, const MolarityModel& model, double y, double tolerance) {
    double next = candidate(s);
    s.bisected = must_bisect(s, next, tolerance);
    if (s.bisected) next = (s.a + s.b) * 0.5;
    const double f_next = model(next) - y;
    s.d = s.c;
    s.c = s.b;
    s.fc = s.fb;
    if (s.fa * f_next < 0.0) {
        s.b = next;
        s.fb = f_next;
    } else {
        s.a = next;
        s.fa = f_next;
    }
    if (std::fabs(s.fb) > std::fabs(s.fa)) {
        std::swap(s.a, s.b);
        std::swap(s.fa, s.fb);
    }
}

}  // namespace

double brent_solve(const MolarityModel& model, double y, const BrentStart& start,
                   double tolerance, std::uint64_t maximum_iterations) {
    BrentState s{start.lower, start.upper, 0.0, 0.0, start.f_lower, start.f_upper, 0.0, true};
    if (std::fabs(s.fb) > std::fabs(s.fa)) {
        std::swap(s.a, s.b);
        std::swap(s.fa, s.fb);
    }
    s.c = s.a;
    s.fc = s.fa;
    for (std::uint64_t i = 0; i < maximum_iterations; ++i) {
        if (std::fabs(s.fb) <= tolerance || std::fabs(s.b - s.a) <= tolerance) break;
        const BrentState before = s;
        step(s, model, y, tolerance);
        // A step that changes nothing repeats forever: later steps would
        // return the same b, so stop rather than spin through a huge budget.
        if (s == before) break;
    }
    return s.b;
}

}  // namespace zorv::electrolyte
