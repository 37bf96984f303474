// The running coordination integral of a radial distribution function.
#pragma once

#include <cstddef>

namespace zorv::transport {

// ∫₀^upto g(r) r² dr of the histogram g whose n >= 2 bins are centred on r:
// each value times the volume of its bin's spherical shell (over 4π), the
// bins' edges halfway between centres, the first edge no lower than 0, and
// the bin holding upto counted up to it.
double shell_integral(const double* r, const double* g, std::size_t n, double upto);

}  // namespace zorv::transport
