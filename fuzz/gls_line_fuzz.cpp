// Fuzz target of the GLS line of one column: rows decoded from the input
// (ascending times, a Brownian-like covariance, values that rise, fall, jump
// or are raw doubles) and settings (walkers, a noise scale, a fixed or
// earliest start, a horizon) give either no line or a line whose start,
// fitted values and band hold together; never a crash.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz_bytes.hpp"
#include "fuzz_support.hpp"
#include "transport/cholesky_whitening.hpp"
#include "transport/gls_line_fit.hpp"

namespace {

using namespace zorv;
using namespace zorv::transport;
using fuzz::require;

double small(std::uint8_t byte) { return static_cast<double>(static_cast<std::int8_t>(byte)); }

struct Rows {
    FloatArray t, factor, design, suffix_cov;
};

// The whitening of rows at t under the covariance min(i, j) + 1.
Rows whitened(const FloatArray& t) {
    const std::size_t n = t.size();
    Rows rows{t, {}, FloatArray(2 * n), FloatArray(4 * n)};
    FloatArray cov(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) cov[i * n + j] = static_cast<double>(std::min(i, j) + 1);
    }
    rows.factor = reversed_cholesky(cov.data(), n, 1e-12).value();
    const FloatArray ones(n, 1.0);
    const FloatArray reversed(t.rbegin(), t.rend());
    const FloatArray x0 = forward_substitution(rows.factor.data(), n, ones.data());
    const FloatArray x1 = forward_substitution(rows.factor.data(), n, reversed.data());
    double g00 = 0.0, g01 = 0.0, g11 = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        rows.design[2 * k] = x0[k];
        rows.design[2 * k + 1] = x1[k];
        g00 += x0[k] * x0[k];
        g01 += x0[k] * x1[k];
        g11 += x1[k] * x1[k];
        const double det = k >= 1 && g00 * g11 - g01 * g01 > 0 ? g00 * g11 - g01 * g01 : std::nan("");
        double* c = rows.suffix_cov.data() + 4 * (n - 1 - k);
        c[0] = g11 / det;
        c[3] = g00 / det;
        c[1] = c[2] = -g01 / det;
    }
    return rows;
}

GlsSettings settings_of(fuzz::FuzzBytes& in, const FloatArray& t) {
    GlsSettings s;
    s.walkers = std::ldexp(1.0, static_cast<int>(in.next_byte() % 40) - 10);
    s.run_length = t.back() * (1.0 + in.next_byte() % 200);
    s.rule.min_rows = 2 + in.next_byte() % 10;
    s.rule.step_on_bend = in.next_byte() % 2 == 0;
    s.rule.widen_anchor = in.next_byte() % 2 == 0;
    s.rule.before_walkers = std::ldexp(1.0, static_cast<int>(in.next_byte() % 20) - 10);
    const std::uint8_t options = in.next_byte();
    if (options & 1) s.scale = std::ldexp(1.0, static_cast<int>(in.next_byte() % 40) - 20);
    if (options & 2) s.start_at = t[in.next_byte() % t.size()] * (options & 8 ? 1.0 : 1.5);
    if (options & 4) s.earliest = t[in.next_byte() % t.size()] * (options & 16 ? 1.0 : 2.5);
    s.widen_fixed = (options & 32) != 0;
    return s;
}

void check_line(fuzz::FuzzBytes& in) {
    const std::size_t n = 2 + in.next_byte() % 48;
    FloatArray t(n), y(n);
    double time = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        time += 0.5 + in.next_byte() % 8;
        t[i] = time;
        const std::uint8_t kind = in.next_byte();
        const double raw = in.next_double();
        y[i] = kind % 16 == 0 && std::isfinite(raw) ? raw : 0.1 * small(kind) + 0.3 * time;
    }
    const Rows rows = whitened(t);
    const GlsSettings settings = settings_of(in, t);
    const WhitenedRows view{rows.factor.data(), rows.design.data(), rows.suffix_cov.data(), n};
    const std::optional<GlsLine> line = gls_line(view, t.data(), y.data(), settings);
    if (!line) return;
    require(line->start < n, "the start is a row");
    require(line->fit.size() == n - line->start && line->band.size() == n - line->start, "a value per fitted row");
    require(std::isfinite(line->slope), "a line has a finite slope");
    require(settings.start_at || line->slope > 0.0, "a chosen start rises");
    require(!(line->widen < 0.0), "the widening is never negative");
    for (std::size_t i = 0; i < line->band.size(); ++i) {
        require(!(line->band[i] < 0.0), "the band is never negative");
        const double expected = line->intercept + line->slope * t[line->start + i];
        require(line->fit[i] == expected || (std::isnan(line->fit[i]) && std::isnan(expected)), "the fitted line");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzBytes in(data, size);
    check_line(in);
    return 0;
}
