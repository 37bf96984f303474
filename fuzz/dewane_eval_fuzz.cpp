// Segmented conductivity on arbitrary models and molarities: no crash, and
// either an error or one conductivity per molarity.
#include <cstdlib>

#include "electrolyte/dewane_conductivity.hpp"
#include "fuzz_bytes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorv::fuzz::FuzzBytes bytes(data, size);
    const std::size_t limit_count = bytes.next_byte() % 8;
    // Mostly a well-shaped model, sometimes one coefficient short or long.
    const int shape = bytes.next_byte() % 4;
    std::size_t coeff_count = limit_count < 2 ? 0 : 10 * (limit_count - 1);
    if (shape == 1) coeff_count += 1;
    if (shape == 2 && coeff_count > 0) coeff_count -= 1;
    zorv::FloatArray limits(limit_count);
    for (double& v : limits) v = bytes.next_double();
    zorv::FloatArray coeffs(coeff_count);
    for (double& v : coeffs) v = bytes.next_double();
    zorv::FloatArray molarity;
    while (bytes.remaining() >= 8) molarity.push_back(bytes.next_double());

    const auto result = zorv::electrolyte::dewane_eval(molarity, limits, coeffs);
    if (result.ok() && result.value().size() != molarity.size()) std::abort();
    if (!result.ok() && result.error().message.empty()) std::abort();
    return 0;
}
