#include "transport/gls_line_fit.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorv::transport {
namespace {

// The widening of a settled start in a column of few walkers, as their search saw it (`first` is where it began).
void widen_for_walkers(StartChoice& choice, const StartSearch& search, const double* t, std::size_t first,
                       const GlsSettings& settings) {
    // Anchored at the first row, where many walkers of the same molecules saw no bend at all, a search that
    // keeps it saw none either: its change to the next start is its few walkers' noise, already in the
    // error. A later anchor ended a bend only to the many walkers' precision, and a few walkers' slope from
    // there sizes its own error: the change stays in it.
    if (settings.earliest && !settings.rule.widen_anchor && choice.start == first && first == 0) choice.widen = 0.0;
    // A few walkers' start moved where their late slopes happened to differ from the earlier ones: the start
    // chosen shares that chance, so its change from the start before it is in its error too.
    const std::size_t before = std::max(first, search.at(t[choice.start] / 2.0));
    if (settings.walkers <= settings.rule.before_walkers && before < choice.start && choice.other > choice.start) {
        const double change = search.slope(choice.start) - search.slope(before);
        choice.widen = std::sqrt(choice.widen * choice.widen + change * change);
    }
}

StartChoice choose(const StartSearch& search, const double* t, std::size_t n, const GlsSettings& settings) {
    if (settings.start_at) {
        const std::size_t feasible = n >= settings.rule.min_rows ? n - settings.rule.min_rows : 0;
        const std::size_t s = std::min(search.at(*settings.start_at), feasible);
        const std::size_t other = search.at(2.0 * t[s]);
        const bool within = static_cast<std::ptrdiff_t>(other) <= search.last();
        const double widen = settings.widen_fixed && within ? std::abs(search.slope(other) - search.slope(s)) : 0.0;
        return {s, other, widen, false, false};
    }
    const std::size_t first = settings.earliest ? search.at(*settings.earliest) : 0;
    const auto [s, capped] = search.relaxation(first);
    if (!capped) {
        StartChoice choice = search.plateau(s);
        if (!choice.bending) widen_for_walkers(choice, search, t, first, settings);
        return choice;
    }
    // The bend from below reaches past the horizon.
    StartChoice choice = search.unconverged({first, search.at(t[s] / 2.0), s});
    choice.capped = true;
    return choice;
}

}  // namespace

std::optional<GlsLine> gls_line(const WhitenedRows& rows, const double* t, const double* values,
                                const GlsSettings& settings) {
    const std::size_t n = rows.n;
    const FloatArray lines = suffix_lines(rows, values);
    const double* noise = settings.scale ? &*settings.scale : nullptr;
    const StartSearch search({t, lines.data(), rows.suffix_cov, n}, noise, settings.walkers, settings.rule,
                             settings.run_length);
    if (search.last() < 0) return std::nullopt;
    const StartChoice choice = choose(search, t, n, settings);
    const std::size_t s = choice.start;
    GlsLine line;
    line.start = s;
    line.intercept = search.intercept(s);
    line.slope = search.slope(s);
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, std::abs(values[i]));
    // A rise below the rounding of the values themselves is no rise: a flat curve has no diffusive range.
    const bool rising = line.slope * t[n - 1] > 1e-12 * largest;
    if (!(std::isfinite(line.slope) && (rising || settings.start_at))) return std::nullopt;
    // A low slope's own square would make it look precise: the chord to the start, when larger, sizes the
    // noise, since a row's noise follows the curve's level (which a rattle from above lifts) more than its
    // slope, and so does a chosen start's neighbour. The chord is held to the slope from the first row, so
    // that a column offset at lag 0 does not pass for noise. A start fixed by hand gets the chord too: a
    // few walkers' slope from a late one can come out near zero.
    const double chord = t[s] > 0.0 ? std::min(std::abs(values[s] / t[s]), std::abs(search.slope(0))) : 0.0;
    const double level = std::max(line.slope * line.slope, std::isfinite(chord) ? chord * chord : 0.0);
    const double other = search.slope(choice.other);
    const double reference = settings.start_at ? level : std::max(level, other * other);
    line.scale = settings.scale ? *settings.scale : reference;
    line.level = level;
    const double scale = line.scale / settings.walkers;
    const double* cov = rows.suffix_cov + 4 * s;
    line.se = std::sqrt(cov[3] * scale);
    line.widen = choice.widen;
    line.not_converged = choice.capped || choice.bending;
    const double c00 = cov[0] * scale;
    const double twice_c01 = 2.0 * (cov[1] * scale);
    const double c11 = cov[3] * scale + line.widen * line.widen;
    for (std::size_t i = s; i < n; ++i) {
        line.fit.push_back(line.intercept + line.slope * t[i]);
        line.band.push_back(settings.z95 * std::sqrt(std::max(c00 + twice_c01 * t[i] + c11 * (t[i] * t[i]), 0.0)));
    }
    return line;
}

}  // namespace zorv::transport
