// Fuzz target of the streaming order-n accumulators: settings (blocks,
// elements, items, groups, dims, products) and frames of raw or small values
// decoded from the input give rows whose blocks, elements and origins follow
// the order-n rule, whose finite squares are never negative and whose
// per-group squares, summed, bound the diagonal products (Cauchy–Schwarz on
// whole numbers, exact); never a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_support.hpp"
#include "transport/order_n_accumulator.hpp"
#include "transport/order_n_flux.hpp"

namespace {

using namespace zorv;
using namespace zorv::transport;
using fuzz::require;

// Small whole numbers keep every sum exact; a raw double now and then tests the rest.
double value_of(fuzz::FuzzBytes& in, bool* small = nullptr) {
    const std::uint8_t kind = in.next_byte();
    if (kind % 8 == 0) {
        if (small != nullptr) *small = false;
        return in.next_double();
    }
    return static_cast<double>(static_cast<std::int8_t>(in.next_byte()));
}

void check_rows(const OrderNTables& t, std::uint64_t frames, std::size_t nb, std::size_t nbe, std::size_t groups) {
    require(t.squares.size() == t.block.size() * groups, "a square per row and group");
    std::uint64_t stride = 1, row = 0;
    for (std::size_t b = 0; b < nb && (frames - 1) / stride >= 1; ++b) {
        const std::uint64_t coarse = (frames - 1) / stride;
        for (std::uint64_t k = 1; k <= nbe && k <= coarse; ++k, ++row) {
            require(row < t.block.size(), "every row with an origin is there");
            require(t.block[row] == b && t.element[row] == k, "rows in block and element order");
            require(t.origins[row] == coarse - k + 1, "origins follow the order-n rule");
        }
        if (stride > UINT64_MAX / nbe) break;
        stride *= nbe;
    }
    require(row == t.block.size(), "no row without an origin");
    for (const double s : t.squares) require(!(s < 0.0), "sums of squares are never negative");
}

void check(fuzz::FuzzBytes& in) {
    const std::size_t nb = 1 + in.next_byte() % 6, nbe = 1 + in.next_byte() % 8;
    const std::uint8_t options = in.next_byte();
    const std::size_t frames = in.next_byte() % 80;
    if (options & 1) {
        // Bit 1 gives a mean pressure, bit 16 asks for the run's own (both: refused).
        MeanPressure mean{options & 2 ? std::optional<double>(value_of(in)) : std::nullopt, (options & 16) != 0};
        Result<OrderNFlux> flux = OrderNFlux::create(1 + options / 4 % 4, nb, nbe, 0.25 + in.next_byte() % 4, mean);
        if (mean.given && mean.own) return require(!flux, "a given and an own mean at once are refused");
        if (!flux) return require(nbe < 2, "valid flux settings are accepted");
        FloatArray frame(flux.value().width());
        for (std::size_t f = 0; f < frames; ++f) {
            for (double& v : frame) v = value_of(in);
            flux.value().add(frame.data());
        }
        if (frames > 0) check_rows(flux.value().tables(), frames, nb, nbe, mean.given || mean.own ? 7 : frame.size());
        return;
    }
    OrderNSettings settings{nb, nbe, options & 2 ? 3u : 1u, {}, std::size_t{1} + options / 4 % 4, (options & 64) != 0};
    const std::size_t items = in.next_byte() % 12;
    for (std::size_t m = 0; m < items; ++m) settings.group.push_back(in.next_byte() % 5);
    const std::vector<std::uint32_t> group = settings.group;
    const std::size_t groups = settings.groups;
    Result<OrderNAccumulator> made = OrderNAccumulator::create(std::move(settings));
    if (!made) return;
    OrderNAccumulator& acc = made.value();
    FloatArray frame(acc.width());
    bool small = true;
    for (std::size_t f = 0; f < frames; ++f) {
        for (double& v : frame) v = value_of(in, &small);
        acc.add(frame.data());
    }
    require(acc.frames() == frames, "every frame is counted");
    if (frames == 0) return;
    const OrderNTables t = acc.tables();
    check_rows(t, frames, nb, nbe, groups);
    if (!small || !(options & 64)) return;
    const std::size_t pairs = groups * (groups + 1) / 2;
    for (std::size_t row = 0; row < t.block.size(); ++row) {
        for (std::size_t g = 0, diagonal = 0; g < groups; diagonal += groups - g, ++g) {
            double members = 0.0;
            for (const std::uint32_t m : group) members += m == g ? 1.0 : 0.0;
            // |Σ_m Δr_m|² ≤ n Σ_m |Δr_m|², exact on whole numbers.
            require(t.products[row * pairs + diagonal] <= members * t.squares[row * groups + g], "Cauchy-Schwarz");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzBytes in(data, size);
    check(in);
    return 0;
}
