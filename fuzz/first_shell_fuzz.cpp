// Fuzz target of an RDF's first-shell search: curves decoded from the input
// (mostly increasing radii and small values, now and then a raw double, a
// step back or a NaN) give a shell or none or a ValueError for the scale,
// never a crash; a shell's points lie where the search may put them, and the
// rows with a non-finite value change nothing when left out beforehand.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_support.hpp"
#include "transport/first_shell.hpp"

namespace {

using namespace zorv::transport;
using zorv::fuzz::require;

struct Curve {
    std::vector<double> r, g;
};

double small(std::uint8_t byte) { return static_cast<double>(static_cast<std::int8_t>(byte)); }

Curve decode(zorv::fuzz::FuzzBytes& in) {
    Curve c;
    double r = in.next_byte() / 64.0;
    while (in.remaining() >= 2 && c.r.size() < 4000) {
        const std::uint8_t kind = in.next_byte();
        const std::uint8_t value = in.next_byte();
        r += kind == 255 ? -0.01 : (1 + kind % 8) * 0.005;  // bins of 0.005 to 0.04, a step back now and then
        double g = 1.0 + small(value) / 32.0;
        if (kind % 61 == 0) g = std::numeric_limits<double>::quiet_NaN();
        if (kind % 97 == 1) g = in.next_double();
        c.r.push_back(kind % 89 == 2 ? in.next_double() : r);
        c.g.push_back(g);
    }
    return c;
}

void check_shell(const Curve& c, double scale) {
    auto found = first_shell(c.r.data(), c.g.data(), c.r.size(), scale);
    if (!found) {
        require(found.error().kind == zorv::ErrorKind::ValueError, "only the scale is refused");
        return;
    }
    const FirstShell& shell = found.value();
    require(shell.peak || !shell.minimum, "no minimum without a peak");
    if (!shell.peak) return;
    require(!shell.minimum || shell.minimum->centre > shell.peak->centre, "the minimum comes after the peak");
    require(!shell.minimum || shell.minimum->fitted || std::isnan(shell.integral), "an integral needs a fit");
    Curve kept;
    for (std::size_t i = 0; i < c.r.size(); ++i) {
        if (std::isfinite(c.r[i]) && std::isfinite(c.g[i])) {
            kept.r.push_back(c.r[i]);
            kept.g.push_back(c.g[i]);
        }
    }
    for (const auto* e : {&*shell.peak, shell.minimum ? &*shell.minimum : nullptr}) {
        if (e == nullptr || !e->fitted) continue;
        // The vertex lies among the radii it was fitted to, but for the rounding of centre + (r - centre).
        const double slack = 1e-12 * (std::fabs(kept.r.front()) + std::fabs(kept.r.back()));
        require(e->at >= kept.r.front() - slack && e->at <= kept.r.back() + slack, "a vertex lies within the curve");
    }
    auto again = first_shell(kept.r.data(), kept.g.data(), kept.r.size(), scale);
    require(again && again.value().peak && again.value().peak->centre == shell.peak->centre,
            "rows without a finite value change nothing");
    require(again.value().minimum.has_value() == shell.minimum.has_value(), "nor the minimum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorv::fuzz::FuzzBytes in(data, size);
    const std::uint8_t choice = in.next_byte();
    // Mostly a scale of a few bins to a few tens of them; a raw double now and then.
    const double scale = choice % 16 == 0 ? in.next_double() : 0.05 * (1 + choice % 40);
    check_shell(decode(in), scale);
    return 0;
}
