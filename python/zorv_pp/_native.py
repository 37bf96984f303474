"""The compiled core, faced once: each function of ``_zorv_pp`` the package uses, under a name that says what
it computes, with scalar arguments where the package has scalars. Nothing else imports ``_zorv_pp``."""

from __future__ import annotations

from collections.abc import Sequence

import _zorv_pp


def finite_mean_std_count(values: Sequence[float]) -> tuple[float, float, int]:
    """Mean, population standard deviation and number of the finite ``values`` (NaN, NaN, 0 for none)."""
    return _zorv_pp.repacking_results(values)


def log_log_window_fit(
    time: Sequence[float],
    msd: Sequence[float],
    margin: float,
    min_window: int,
    max_window: int,
    max_error: float,
    min_displacement: float,
) -> tuple[float, list[float], list[float]]:
    """The slope of the straight-line fit to the window whose log-log slope is closest to 1, the window's
    times and the fitted values (NaN and empty lists when no window qualifies); see ``Window``."""
    return _zorv_pp.diff_calculator(time, msd, margin, min_window, max_window, max_error, min_displacement)


def group_atom_count(log_path: str, group: str) -> int:
    """The atoms of ``group`` in a LAMMPS log; ValueError when the log defines no such group."""
    return _zorv_pp.read_group_count(log_path, group)


def mass_fraction(molality: float, molar_mass: float) -> float:
    """The salt's mass fraction (kg/kg) at ``molality`` (mol/kg) for a salt of ``molar_mass`` (g/mol)."""
    return _zorv_pp.molality_to_mass_fraction([molality], molar_mass)[0]


def model_density(
    temperature: float, molality: float, molar_mass: float, density: Sequence[float]
) -> tuple[float, float]:
    """Laliberté's solution density (kg/m³) and the molarity (mol/L) it gives, under the parameters
    ``density``."""
    densities, molarities = _zorv_pp.laliberte_density([temperature], [molality], molar_mass, *density)
    return densities[0], molarities[0]


def model_viscosity(temperature: float, molality: float, molar_mass: float, viscosity: Sequence[float]) -> float:
    """Laliberté's solution viscosity (Pa·s) under the parameters ``viscosity``."""
    return _zorv_pp.laliberte_viscosity([temperature], [molality], molar_mass, *viscosity)[0]


def koh_conductivity(temperature: float, molality: float, molar_mass: float, density: Sequence[float]) -> float:
    """Gilliam's KOH(aq) conductivity (S/m), its molarity from the density parameters ``density``."""
    return _zorv_pp.koh_gilliam_eval([temperature], [molality], molar_mass, *density)[0]


def molality_from_molarity(
    molarity: float, temperature: float, molar_mass: float, density: Sequence[float], tolerance: float, iterations: int
) -> float:
    """The molality (mol/kg) whose model molarity is ``molarity`` (mol/L); ValueError when none is."""
    c0, c1, c2, c3, c4 = density
    return _zorv_pp.molarity_to_molality(
        [molarity], temperature, molar_mass, c0, c1, c2, c3, c4, tolerance, iterations
    )[0]


def hop_time(
    sigma_exp: float, sigma_md: float, temperature: float, box: float, count: float, hop_distance: float
) -> float:
    """The time between proton hops (s) that closes the gap between the experimental and the MD
    conductivity (S/m), for ``count`` hopping ions in a cubic box of side ``box`` (m)."""
    return _zorv_pp.tau_calculator(sigma_exp, sigma_md, temperature, box, count, hop_distance)


def hop_diffusion(tau: float, hop_distance: float) -> float:
    """The diffusion coefficient (m²/s) of hops of ``hop_distance`` (m) every ``tau`` (s)."""
    return _zorv_pp.diffusion_adjustment(tau, hop_distance)
