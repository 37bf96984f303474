#include "transport/gls_start_rule.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zorv::transport {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

StartSearch::StartSearch(const Column& column, const double* noise, double walkers, const StartRule& rule,
                         double run_length)
    : column_(column), noise_(noise), walkers_(walkers), rule_(rule) {
    const double limit = rule.horizon * run_length;
    const auto n = static_cast<std::ptrdiff_t>(column.n);
    std::ptrdiff_t last = std::min(n - static_cast<std::ptrdiff_t>(rule.min_rows), n - 1);
    while (last >= 0 && !(column.t[last] <= limit)) --last;
    last_ = std::max<std::ptrdiff_t>(last, -1);
}

std::size_t StartSearch::at(double time) const noexcept {
    const double* t = column_.t;
    return static_cast<std::size_t>(std::lower_bound(t, t + column_.n, time * (1.0 - 1e-9)) - t);
}

// A start past the rows has no line.
double StartSearch::slope(std::size_t s) const noexcept { return s < column_.n ? column_.lines[2 * s + 1] : kNaN; }

double StartSearch::intercept(std::size_t s) const noexcept { return s < column_.n ? column_.lines[2 * s] : kNaN; }

double StartSearch::variance(std::size_t s, double reference, int which) const noexcept {
    if (s >= column_.n) return kNaN;
    const double scale = noise_ == nullptr ? reference * reference : *noise_;
    return column_.suffix_cov[4 * s + (which == 0 ? 0 : 3)] * scale / walkers_;
}

std::pair<std::size_t, bool> StartSearch::relaxation(std::size_t s) const {
    const auto last = static_cast<std::size_t>(last_);
    if (last_ < 0 || s > last) return {last, true};
    for (int step = 0; step < 200; ++step) {
        const double slope_s = slope(s);
        const double bound = intercept(s) + rule_.bend_z * std::sqrt(std::max(variance(s, slope_s, 0), 0.0));
        const double tau = slope_s > 0 ? -bound / slope_s : kNaN;
        if (!(tau > 0)) break;
        const std::size_t moved = std::max(s, at(rule_.factor * tau));
        if (moved == s) break;
        if (moved > last) return {last, true};
        s = moved;
    }
    return {s, false};
}

std::vector<std::size_t> StartSearch::candidates(std::size_t s) const {
    std::vector<std::size_t> out{s};
    while (true) {
        const std::size_t later = at(2.0 * column_.t[out.back()]);
        if (last_ < 0 || later > static_cast<std::size_t>(last_) || later <= out.back()) return out;
        out.push_back(later);
    }
}

bool StartSearch::agrees(std::size_t s, std::size_t later) const noexcept {
    const double first = slope(s);
    const double second = slope(later);
    const double reference = std::max(std::abs(first), std::abs(second));
    const double spread = std::sqrt(std::max(variance(later, reference, 1) - variance(s, reference, 1), 0.0));
    return std::abs(second - first) <= rule_.accept_z * spread;
}

StartChoice StartSearch::plateau(std::size_t s) const {
    const std::vector<std::size_t> starts = candidates(s);
    if (starts.size() == 1) {
        // No later start to compare with before the horizon: the change from the start at half its time
        // is all the data show of the choice, and the error holds it as it holds a neighbour's.
        const std::size_t half = at(column_.t[s] / 2.0);
        if (half >= s) return {s, s, 0.0, false, false};
        // A few walkers' slope from the one start can come out non-positive by chance, which would leave the
        // curve with no value: as when no candidate agrees, the earlier positive one stands, flagged.
        if (!(slope(s) > 0) && slope(half) > 0) return unconverged({half, s});
        return {s, half, std::abs(slope(s) - slope(half)), false, false};
    }
    std::vector<double> step;
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) step.push_back(std::abs(slope(starts[i + 1]) - slope(starts[i])));
    for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
        bool all = true;
        for (std::size_t j = i + 1; j < starts.size() && all; ++j) all = agrees(starts[i], starts[j]);
        if (!all) continue;
        const std::size_t chosen = i > 0 && rule_.step_on_bend ? std::min(i + 1, starts.size() - 1) : i;
        const std::size_t other = chosen + 1 < starts.size() ? starts[chosen + 1] : starts[chosen - 1];
        return {starts[chosen], other, step[std::min(chosen, step.size() - 1)], false, false};
    }
    return unconverged(starts);
}

StartChoice StartSearch::unconverged(const std::vector<std::size_t>& starts) const {
    // A few walkers' latest slopes can come out non-positive by chance, which would leave the curve with
    // no value at all: the latest positive one stands, and its error holds the changes it passed over.
    std::size_t last = starts.size() - 1;
    while (last > 0 && !(slope(starts[last]) > 0)) --last;
    const std::size_t end = starts[last];
    const std::size_t before = last > 0 ? starts[last - 1] : starts[1];
    double drift = 0.0;
    for (std::size_t i = last; i < starts.size(); ++i)
        drift = std::max(drift, std::abs(slope(starts[i]) - slope(starts.front())));
    const double last_change = std::abs(slope(end) - slope(before));
    return {end, before, std::max(rule_.unconverged_factor * last_change, drift), false, true};
}

}  // namespace zorv::transport
