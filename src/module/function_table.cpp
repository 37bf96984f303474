#include "module/function_table.hpp"

#include "electrolyte/composition_conversions.hpp"
#include "electrolyte/dewane_conductivity.hpp"
#include "electrolyte/koh_conductivity.hpp"
#include "electrolyte/laliberte_density.hpp"
#include "electrolyte/laliberte_viscosity.hpp"
#include "electrolyte/molarity_inversion.hpp"
#include "module/entry.hpp"
#include "transport/msd_fit.hpp"
#include "transport/peak_search.hpp"
#include "transport/proton_hopping.hpp"
#include "transport/sample_statistics.hpp"

namespace zorv::module {
namespace {

// Fast call with keywords, and no module argument: the entry needs none.
constexpr int kFlags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

template <Fn F, auto Compute>
constexpr PyMethodDef bound() {
    const FunctionSignature& signature = signature_of(F);
    return {signature.name,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<F, Compute>)),
            kFlags, signature.doc};
}

constexpr PyMethodDef unbound(Fn f) {
    const FunctionSignature& signature = signature_of(f);
    return {signature.name, nullptr, kFlags, signature.doc};
}

}  // namespace

std::array<PyMethodDef, kFunctionCount> method_table{{
    unbound(Fn::parse_zorv_file),
    unbound(Fn::parse_thermoprop),
    unbound(Fn::parse_volume_density),
    unbound(Fn::parse_bond_angle),
    unbound(Fn::read_group_count),
    bound<Fn::local_maximum_finder, &transport::local_maximum_finder>(),
    bound<Fn::repacking_results, &transport::repacking_results>(),
    bound<Fn::diff_calculator, &transport::diff_calculator>(),
    bound<Fn::laliberte_density, &electrolyte::laliberte_density>(),
    bound<Fn::laliberte_viscosity, &electrolyte::laliberte_viscosity>(),
    bound<Fn::mass_fraction_to_molality, &electrolyte::mass_fraction_to_molality>(),
    bound<Fn::molality_to_mass_fraction, &electrolyte::molality_to_mass_fraction>(),
    bound<Fn::mole_fraction_to_molality, &electrolyte::mole_fraction_to_molality>(),
    bound<Fn::molality_to_mole_fraction, &electrolyte::molality_to_mole_fraction>(),
    bound<Fn::dewane_eval, &electrolyte::dewane_eval>(),
    bound<Fn::koh_gilliam_eval, &electrolyte::koh_gilliam_eval>(),
    bound<Fn::molarity_to_molality, &electrolyte::molarity_to_molality>(),
    bound<Fn::tau_calculator, &transport::tau_calculator>(),
    bound<Fn::diffusion_adjustment, &transport::diffusion_adjustment>(),
}};

}  // namespace zorv::module
