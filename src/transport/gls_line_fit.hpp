// The diffusive slope of one MSD column by generalized least squares: the
// lines of every start, the start rule's choice, the error and the band.
#pragma once

#include <optional>

#include "common/float_array.hpp"
#include "transport/gls_start_rule.hpp"
#include "transport/gls_suffix_lines.hpp"

namespace zorv::transport {

struct GlsSettings {
    double walkers = 1.0;
    std::optional<double> scale;     // the column's noise scale; the slope squared when absent
    StartRule rule;
    double run_length = 0.0;         // the horizon's T
    std::optional<double> start_at;  // a fixed start (a time)
    std::optional<double> earliest;  // where the rule begins its search (a time)
    bool widen_fixed = false;        // widen a fixed start by its change of slope to twice its time
    double z95 = 1.959963984540054;  // the band's quantile
};

// The line from row `start` to the last: its slope and intercept, the
// slope's error before widening, the widening, and the fitted line and its
// 95 % half-width at t[start..].
struct GlsLine {
    std::size_t start = 0;
    double slope = 0.0;
    double intercept = 0.0;
    double se = 0.0;
    double widen = 0.0;
    bool not_converged = false;
    double scale = 0.0;  // the noise scale `se` was sized by, before the division by the walkers
    double level = 0.0;  // the larger square of the slope and of the chord to the start: the rows' noise
    FloatArray fit;
    FloatArray band;
};

// The fit of `values` at times `t` (n each, ascending, finite) over the
// whitened rows; none when no start is feasible or the line does not rise
// (a fixed start may have either sign).
std::optional<GlsLine> gls_line(const WhitenedRows& rows, const double* t, const double* values,
                                const GlsSettings& settings);

}  // namespace zorv::transport
