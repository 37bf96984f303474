// Density-model inversion on arbitrary temperatures, fits, tolerances,
// iteration budgets and molarities: it must end, never crash, and give either
// an error or one molality per molarity, 0 for the non-positive ones.
#include <cstdlib>

#include "electrolyte/molarity_inversion.hpp"
#include "fuzz_bytes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorv::fuzz::FuzzBytes bytes(data, size);
    const double temperature = bytes.next_double();
    double fit[6];
    for (double& v : fit) v = bytes.next_double();
    const double tolerance = bytes.next_double();
    const std::uint64_t iterations = bytes.next_u64();
    zorv::FloatArray molarity;
    while (bytes.remaining() >= 8 && molarity.size() < 64) molarity.push_back(bytes.next_double());

    const auto result = zorv::electrolyte::molarity_to_molality(
        molarity, temperature, fit[0], fit[1], fit[2], fit[3], fit[4], fit[5], tolerance, iterations);
    if (!result.ok()) return 0;
    if (result.value().size() != molarity.size()) std::abort();
    for (std::size_t i = 0; i < molarity.size(); ++i)
        if (molarity[i] <= 0.0 && result.value()[i] != 0.0) std::abort();
    return 0;
}
