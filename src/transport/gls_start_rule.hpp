// Where a GLS fitted range starts: the relaxation rule, then doubling
// candidates accepted when their slope agrees with every later one. A start
// with no later candidate before the horizon is widened by its change from
// the start at half its time.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace zorv::transport {

struct StartRule {
    double factor = 40.0;        // the first candidate moves up to factor · τ̂
    std::size_t min_rows = 8;    // rows a range keeps at least
    double horizon = 0.1;        // candidates lie before horizon · T
    double accept_z = 1.96;      // agreement within this many errors of the difference
    double bend_z = 1.0;         // τ̂ taken this many intercept errors below its value
    bool step_on_bend = true;    // one candidate further once a bend was seen
    double unconverged_factor = 2.0;
    bool widen_anchor = true;    // an anchored search that keeps the first row is widened by its next change
    double before_walkers = 10;  // up to this many walkers a moved start is widened by its change from before
};

// The start chosen, the start it was compared with, the widening of the
// error by the change of slope between them, whether the relaxation rule ran
// past the last feasible start and whether the slope still changes there.
struct StartChoice {
    std::size_t start = 0;
    std::size_t other = 0;
    double widen = 0.0;
    bool capped = false;
    bool bending = false;
};

// The search over the lines of every start of one column: t ascending (n),
// lines (n × 2, intercept and slope), suffix_cov their unit covariances
// (n × 2 × 2). A variance is sized by `noise` when given, else by the square
// of a reference slope, and divided by the walkers.
class StartSearch {
public:
    struct Column {
        const double* t;
        const double* lines;
        const double* suffix_cov;
        std::size_t n;
    };

    StartSearch(const Column& column, const double* noise, double walkers, const StartRule& rule, double run_length);

    // The last start that leaves min_rows rows and lies before the horizon; -1 when none does.
    std::ptrdiff_t last() const noexcept { return last_; }
    // The first row at or after `time`, less a relative 1e-9 for times written rounded.
    std::size_t at(double time) const noexcept;
    double slope(std::size_t s) const noexcept;
    double intercept(std::size_t s) const noexcept;
    double variance(std::size_t s, double reference, int which) const noexcept;

    // The start the τ̂ rule reaches from s, and whether it ran past the last feasible start.
    std::pair<std::size_t, bool> relaxation(std::size_t s) const;
    StartChoice plateau(std::size_t s) const;
    // The last of `starts` for a curve still bending there: its error holds the whole change seen.
    StartChoice unconverged(const std::vector<std::size_t>& starts) const;

private:
    std::vector<std::size_t> candidates(std::size_t s) const;
    bool agrees(std::size_t s, std::size_t later) const noexcept;

    Column column_;
    const double* noise_;
    double walkers_;
    StartRule rule_;
    std::ptrdiff_t last_ = -1;
};

}  // namespace zorv::transport
