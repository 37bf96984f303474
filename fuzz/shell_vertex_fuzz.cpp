// Fuzz target of the RDF shell's vertex fit: points decoded from the input
// are either refused as not determining the polynomial or fitted, and a
// vertex found lies within the points' span where the fitted slope changes
// sign the wanted way; any values at all, never a crash.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_support.hpp"
#include "transport/shell_vertex.hpp"

namespace {

using namespace zorv::transport;
using zorv::fuzz::require;

double small(std::uint8_t byte) { return static_cast<double>(static_cast<std::int8_t>(byte)); }

void check_points(zorv::fuzz::FuzzBytes& in) {
    const std::size_t n = in.next_byte() % 30;
    const int degree = in.next_byte() % 5;
    const double sign = in.next_byte() % 2 == 0 ? 1.0 : -1.0;
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Small whole steps keep most inputs well posed; raw doubles now and then test the rest.
        x[i] = in.next_byte() % 8 == 0 ? in.next_double() : small(in.next_byte()) / 64.0;
        y[i] = in.next_byte() % 8 == 0 ? in.next_double() : small(in.next_byte()) / 8.0;
    }
    const ShellVertex v = shell_vertex(x.data(), y.data(), n, degree, sign);
    if (!v.fitted || !v.found) return;
    const auto [low, high] = std::minmax_element(x.begin(), x.end());
    require(v.offset >= *low && v.offset <= *high, "a vertex lies within the points");
    SmallPolynomial fit;
    require(least_squares_polynomial(x.data(), y.data(), n, degree, fit), "a fitted vertex has its polynomial");
    const double bend = polynomial_value(derivative(derivative(fit)), v.offset);
    require(!(sign * bend > 0.0), "a vertex of the wanted kind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorv::fuzz::FuzzBytes in(data, size);
    check_points(in);
    return 0;
}
