// Names, parameters and documentation of the module's functions, as data.
// The documentation string is the signature line, "--", an empty line, then
// the body; the interpreter derives __text_signature__ and __doc__ from it.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace zorv::module {

struct FunctionSignature {
    const char* name;
    std::span<const char* const> params;
    const char* doc;
};

// Position of each function in the table: the order of attributes and __all__.
enum class Fn : std::size_t {
    parse_zorv_file = 0,
    parse_thermoprop = 1,
    parse_volume_density = 2,
    parse_bond_angle = 3,
    read_group_count = 4,
    local_maximum_finder = 5,
    repacking_results = 6,
    diff_calculator = 7,
    laliberte_density = 8,
    laliberte_viscosity = 9,
    mass_fraction_to_molality = 10,
    molality_to_mass_fraction = 11,
    mole_fraction_to_molality = 12,
    molality_to_mole_fraction = 13,
    dewane_eval = 14,
    koh_gilliam_eval = 15,
    molarity_to_molality = 16,
    tau_calculator = 17,
    diffusion_adjustment = 18,
};

inline constexpr std::size_t kFunctionCount = 19;

namespace params {
inline constexpr const char* parse_zorv_file[] = {"path"};
inline constexpr const char* parse_thermoprop[] = {"path"};
inline constexpr const char* parse_volume_density[] = {"path"};
inline constexpr const char* parse_bond_angle[] = {"path"};
inline constexpr const char* read_group_count[] = {"log_path", "group_name"};
inline constexpr const char* local_maximum_finder[] = {"data", "search_start", "neighbor_count"};
inline constexpr const char* repacking_results[] = {"d_array"};
inline constexpr const char* diff_calculator[] = {"time", "msd_in", "margin", "min_window", "max_window", "max_error", "min_displacement"};
inline constexpr const char* laliberte_density[] = {"temperature", "molality", "molecular_weight", "c0", "c1", "c2", "c3", "c4"};
inline constexpr const char* laliberte_viscosity[] = {"temperature", "molality", "molecular_weight", "v1", "v2", "v3", "v4", "v5", "v6"};
inline constexpr const char* mass_fraction_to_molality[] = {"mass_fraction", "molecular_weight"};
inline constexpr const char* molality_to_mass_fraction[] = {"molality", "molecular_weight"};
inline constexpr const char* mole_fraction_to_molality[] = {"mole_fraction", "molecular_weight"};
inline constexpr const char* molality_to_mole_fraction[] = {"molality", "molecular_weight"};
inline constexpr const char* dewane_eval[] = {"molarity", "limits", "coeffs"};
inline constexpr const char* koh_gilliam_eval[] = {"temperature", "molality", "molecular_weight", "c0", "c1", "c2", "c3", "c4"};
inline constexpr const char* molarity_to_molality[] = {"molarity", "temperature", "molecular_weight", "c0", "c1", "c2", "c3", "c4", "tolerance", "maximum_iterations"};
inline constexpr const char* tau_calculator[] = {"experimental_conductivity", "md_conductivity", "temperature", "box_length", "particle_count", "hop_distance"};
inline constexpr const char* diffusion_adjustment[] = {"time_between_hops", "hop_distance"};
}  // namespace params

inline constexpr std::array<FunctionSignature, kFunctionCount> kSignatures{{
    {"parse_zorv_file", params::parse_zorv_file,
         "parse_zorv_file(path)\n"
         "--\n"
         "\n"
         "Parse ZORV MSD output files (viscosity.dat, diffself.dat, diffonsag.dat,\n"
         "thermconductivity.dat, rdf.dat).\n"
         "\n"
         "Locates the header by finding the last line whose `lstrip()` starts with\n"
         "`\"#Time\"`.\n"
         "For rdf.dat the first line already IS the header so the default row=0\n"
         "is kept when no `\"#Time\"` line is present.\n"
         "\n"
         "Returns a Python dict mapping column name → list[float]."},
    {"parse_thermoprop", params::parse_thermoprop,
         "parse_thermoprop(path)\n"
         "--\n"
         "\n"
         "Parse a thermodynamic properties file (e.g. `nvt_prod.dat`).\n"
         "\n"
         "Line 0 is a title comment and is skipped.\n"
         "Line 1 has the column names after stripping the leading '#'.\n"
         "Lines 2 onwards are data.\n"
         "\n"
         "Returns a Python dict mapping column name → list[float]."},
    {"parse_volume_density", params::parse_volume_density,
         "parse_volume_density(path)\n"
         "--\n"
         "\n"
         "Parse volume.dat or density.dat.\n"
         "\n"
         "Format: 2 header lines, then rows with [timestep, value].\n"
         "Returns the value (column 1) from the first data row."},
    {"parse_bond_angle", params::parse_bond_angle,
         "parse_bond_angle(path)\n"
         "--\n"
         "\n"
         "Parse a bond-angle histogram file (e.g. `npt_prod_angle.dat`).\n"
         "\n"
         "Line layout:\n"
         "  0  title comment             → skip\n"
         "  1  stats comment             → skip\n"
         "  2  column-name comment       → use as header (strip '#')\n"
         "  3  per-timestep stats line   → skip\n"
         "  4+ data rows\n"
         "\n"
         "Returns a Python dict mapping column name → list[float].\n"
         "Column names include \"Coord\" and \"Count/Total\"."},
    {"read_group_count", params::read_group_count,
         "read_group_count(log_path, group_name)\n"
         "--\n"
         "\n"
         "Read the number of atoms assigned to a LAMMPS group from a log file.\n"
         "\n"
         "Searches for the first line containing \"group <name>\" and reads the first\n"
         "integer on the immediately following line (which LAMMPS writes as\n"
         "\"<N> atoms in group <name>\")."},
    {"local_maximum_finder", params::local_maximum_finder,
         "local_maximum_finder(data, search_start, neighbor_count)\n"
         "--\n"
         "\n"
         "Find the index of the first local maximum in `data` starting from\n"
         "`search_start`, where \"local\" means strictly greater than the `neighbor_count`\n"
         "neighbours on each side.  Returns `neighbor_count + search_start` if no maximum\n"
         "is found."},
    {"repacking_results", params::repacking_results,
         "repacking_results(d_array)\n"
         "--\n"
         "\n"
         "Compute nanmean, nanstd (population), and the count of finite values."},
    {"diff_calculator", params::diff_calculator,
         "diff_calculator(time, msd_in, margin, min_window, max_window, max_error, min_displacement)\n"
         "--\n"
         "\n"
         "Fit MSD vs time data to extract a transport coefficient.\n"
         "\n"
         "Searches all start/length windows (i, j) within the margin-trimmed\n"
         "region whose log-log slope is within `max_error` of 1.  Among qualifying\n"
         "windows, picks the one whose slope is closest to 1, then performs a\n"
         "final linear regression on the raw (non-log) data to extract the slope D.\n"
         "\n"
         "Returns `(D, t_fit, fit)`.  On failure returns `(NaN, [t[0]], [msd[0]])`.\n"
         "\n"
         "The `min_displacement` parameter (in the length unit of the MSD values) is squared and used to filter out\n"
         "MSD values (using absolute value) below this threshold before fitting."},
    {"laliberte_density", params::laliberte_density,
         "laliberte_density(temperature, molality, molecular_weight, c0, c1, c2, c3, c4)\n"
         "--\n"
         "\n"
         "Density (kg/m³) and molarity (mol/L) of a salt solution via Laliberte (2007).\n"
         "\n"
         "Arrays `temperature` and `molality` must have the same length.\n"
         "`c0`–`c4` are the Laliberte density fit parameters."},
    {"laliberte_viscosity", params::laliberte_viscosity,
         "laliberte_viscosity(temperature, molality, molecular_weight, v1, v2, v3, v4, v5, v6)\n"
         "--\n"
         "\n"
         "Dynamic viscosity (Pa·s) of a salt solution via Laliberte (2007).\n"
         "\n"
         "`v1`–`v6` are the Laliberte viscosity fit parameters."},
    {"mass_fraction_to_molality", params::mass_fraction_to_molality,
         "mass_fraction_to_molality(mass_fraction, molecular_weight)\n"
         "--\n"
         "\n"
         "Mass fraction (or %, if divided by 100 beforehand) → molality in mol/kg.\n"
         "`molecular_weight` is the molecular weight of the salt in g/mol."},
    {"molality_to_mass_fraction", params::molality_to_mass_fraction,
         "molality_to_mass_fraction(molality, molecular_weight)\n"
         "--\n"
         "\n"
         "Molality (mol/kg) → mass fraction [0, 1].\n"
         "`molecular_weight` is the molecular weight of the salt in g/mol."},
    {"mole_fraction_to_molality", params::mole_fraction_to_molality,
         "mole_fraction_to_molality(mole_fraction, molecular_weight)\n"
         "--\n"
         "\n"
         "Mole fraction of solute → molality (mol/kg solvent).\n"
         "`molecular_weight` is the molecular weight of the solvent in g/mol."},
    {"molality_to_mole_fraction", params::molality_to_mole_fraction,
         "molality_to_mole_fraction(molality, molecular_weight)\n"
         "--\n"
         "\n"
         "Molality (mol/kg) → mole fraction of solute.\n"
         "`molecular_weight` is the molecular weight of the solvent in g/mol."},
    {"dewane_eval", params::dewane_eval,
         "dewane_eval(molarity, limits, coeffs)\n"
         "--\n"
         "\n"
         "Evaluate the Dewane segmented molar-conductivity polynomial and return\n"
         "electrical conductivity in S/m.\n"
         "\n"
         "# Arguments\n"
         "* `molarity` – molarity values in mol/L (same length as the desired output)\n"
         "* `limits` – N concentration limits defining (N-1) contiguous segments (N >= 2)\n"
         "* `coeffs` – (N-1)*10 polynomial coefficients, row-major:\n"
         "             (N-1) segments × 10 coefficients each [L0, S, e, A, B, C, D, E, F, G]\n"
         "\n"
         "# Returns\n"
         "σ = Λ(molarity) × molarity / 10  in S/m."},
    {"koh_gilliam_eval", params::koh_gilliam_eval,
         "koh_gilliam_eval(temperature, molality, molecular_weight, c0, c1, c2, c3, c4)\n"
         "--\n"
         "\n"
         "Electrical conductivity of a KOH solution (S/m) using the Gilliam combined\n"
         "model (below 80 °C: Gilliam low-T polynomial of molarity; above 80 °C:\n"
         "Gilliam high-T polynomial of mass-fraction percentage).\n"
         "\n"
         "The low-temperature branch computes molarity internally via the Laliberte\n"
         "density model using the supplied parameters `c0`–`c4`.\n"
         "\n"
         "All arrays must have the same length."},
    {"molarity_to_molality", params::molarity_to_molality,
         "molarity_to_molality(molarity, temperature, molecular_weight, c0, c1, c2, c3, c4, tolerance, maximum_iterations)\n"
         "--\n"
         "\n"
         "Convert molarity values (mol/L) to molality (mol/kg water) by numerically\n"
         "inverting the Laliberte density model via the Brent–Dekker algorithm.\n"
         "\n"
         "Each element is solved independently; convergence is O(log((hi-lo)/tol))\n"
         "iterations — typically 40–60 for `tol = 1e-10`.\n"
         "\n"
         "# Arguments\n"
         "* `molarity` – molarity values in mol/L\n"
         "* `temperature` – temperature in K (scalar, shared across all elements)\n"
         "* `molecular_weight` – molecular weight of the salt in g/mol\n"
         "* `c0`–`c4` – Laliberte density fit parameters\n"
         "* `tolerance` – absolute tolerance on molality (default: 1e-10 mol/kg)\n"
         "* `maximum_iterations` – maximum Brent iterations per element (default: 200)"},
    {"tau_calculator", params::tau_calculator,
         "tau_calculator(experimental_conductivity, md_conductivity, temperature, box_length, particle_count, hop_distance)\n"
         "--\n"
         "\n"
         "Mean time between proton-transfer events τ (s).\n"
         "\n"
         "Derived from the difference between experimental and MD conductivity:\n"
         "τ = δ² e² N / (6 k T L³ Δσ)"},
    {"diffusion_adjustment", params::diffusion_adjustment,
         "diffusion_adjustment(time_between_hops, hop_distance)\n"
         "--\n"
         "\n"
         "Diffusion-coefficient adjustment `D_hop` = δ² / (6τ) in m²/s."},
}};

constexpr const FunctionSignature& signature_of(Fn fn) {
    return kSignatures[static_cast<std::size_t>(fn)];
}

}  // namespace zorv::module
