"""The density of a LAMMPS run: the block means of density.dat, in a decided unit, checked against its mass."""

from __future__ import annotations

import math
from collections.abc import Mapping
from pathlib import Path

from ...diagnostics import RunWarning
from ...units import AVOGADRO, UnitStyle
from ..series import series_mean
from .masses import SystemMass

#: kg/m³ per unit of the density file, by the names density_unit= takes.
DENSITY_UNITS: dict[str, float] = {"kg/m3": 1.0, "g/cm3": 1000.0}
MAGNITUDE_LIMIT = 30.0
"""Densities of liquids and solids lie above this in kg/m³ and below it in g/cm³."""
MISMATCH = 0.02
"""Largest relative difference between density.dat and the density from volume, counts and masses."""
PLAUSIBLE = (100.0, 5000.0)
"""kg/m³: the densities of liquids and solids (and of dense gases) that MD studies; outside, the unit is suspect."""


def density_unit_name(unit: str) -> str | None:
    """The name in :data:`DENSITY_UNITS` of a spelling such as "kg/m^3" or "g/cm³", else None."""
    name = unit.replace("^", "").replace("³", "3").replace(" ", "").lower()
    return name if name in DENSITY_UNITS else None


def read_density(
    folder: Path, style: UnitStyle, unit: str | None, expression: str | None, warnings: list[RunWarning]
) -> float | None:
    """The mean of the block averages of density.dat in kg/m³ (reduced for lj), None without the file.

    The file holds what the input script's variable computes: LAMMPS's own
    ``density`` is g/cm³ in real and metal, yet scripts often write kg/m³. The
    unit is ``unit`` when given ("kg/m3" or "g/cm3"), else g/cm³ when the log
    shows the file's variable to be plain ``density``, else decided by
    magnitude: a liquid or solid is denser than 30 kg/m³ and lighter than
    30 g/cm³ (osmium, the densest element, is 22.6 g/cm³), so a mean below 30
    is read as g/cm³ and one above as kg/m³, with a ``density_unit`` warning.
    A gas lighter than 30 kg/m³ needs ``unit``. A density outside
    :data:`PLAUSIBLE` once converted, whatever decided its unit, is an
    ``implausible_density`` warning.
    """
    value = series_mean(folder, "density.dat", warnings)
    if value is None or style.reduced:
        return value
    stated = unit is not None
    if unit is None and expression is not None and expression.strip() == "density":
        unit = "g/cm3"
    if unit is None:
        unit = "g/cm3" if value < MAGNITUDE_LIMIT else "kg/m3"
        other, why = (
            ("kg/m3", f"lighter than any liquid (under {MAGNITUDE_LIMIT:g} kg/m3)")
            if unit == "g/cm3"
            else ("g/cm3", f"denser than any solid (over {MAGNITUDE_LIMIT:g} g/cm3)")
        )
        warnings.append(
            RunWarning(
                "density_unit",
                "density.dat",
                f"no unit is stated for the mean density {value:.6g} and the run's masses cannot confirm one: "
                f"it is read as {unit}, since in {other} it would be {why}; state the unit with --density-unit "
                f"(density_unit in a campaign file or Run.load)",
            )
        )
    density = value * DENSITY_UNITS[unit]
    low, high = PLAUSIBLE
    if not low <= density <= high:
        why = (
            "as the density unit given says"
            if stated
            else "as the log shows LAMMPS's own density"
            if expression is not None and expression.strip() == "density"
            else "by its magnitude"
        )
        others = "; ".join(
            f"read as {name} it would be {value * factor:.6g} kg/m3"
            for name, factor in DENSITY_UNITS.items()
            if name != unit
        )
        warnings.append(
            RunWarning(
                "implausible_density",
                "density.dat",
                f"the mean density {value:.6g}, read as "
                f"{unit} {why}, is {density:.6g} kg/m3, outside the {low:g}-{high:g} kg/m3 of "
                f"liquids and solids: check the density unit ({others})",
            )
        )
    return density


def check_density(
    density: float | None,
    volume: float | None,
    counts: Mapping[str, int],
    molar_masses: Mapping[str, float] | None,
    style: UnitStyle,
    warnings: list[RunWarning],
    system: SystemMass | None = None,
) -> None:
    """Warn (``density_mismatch``) when density.dat and the mass over the volume disagree; when they agree,
    the unit read from the density's magnitude is confirmed and its ``density_unit`` warning dropped.

    The mass is that of the counted molecules when ``molar_masses`` (g/mol,
    particle masses for lj) give one for every counted species, else the
    mass of the run's atoms that the run itself tells (``system``).
    """
    if density is None or volume is None:
        return
    deviation = _deviation(density, volume, counts, molar_masses, style, system)
    if deviation is None:
        return
    if abs(deviation[0]) <= MISMATCH:
        warnings[:] = [w for w in warnings if w.code != "density_unit"]
        return
    warnings.append(
        RunWarning(
            "density_mismatch",
            "density.dat",
            f"the density {density:.6g} differs by {100 * deviation[0]:+.1f} % from {deviation[1]}",
        )
    )


def _deviation(
    density: float,
    volume: float,
    counts: Mapping[str, int],
    molar_masses: Mapping[str, float] | None,
    style: UnitStyle,
    system: SystemMass | None,
) -> tuple[float, str] | None:
    """The relative difference of ``density`` from the mass over the volume, and what that mass is; None when
    the run tells no mass."""
    if molar_masses and counts and all(name in molar_masses for name in counts):
        mass = sum(count * float(molar_masses[name]) for name, count in counts.items())
        source = "the mass of the counted molecules"
    elif system is not None:
        mass, source = system.mass, f"the mass of the run's atoms ({system.source})"
    else:
        return None
    expected = mass / volume if style.reduced else mass * 1e-3 / AVOGADRO / volume
    if not (math.isfinite(expected) and expected > 0.0):
        return None
    return density / expected - 1.0, f"{expected:.6g}, {source} over the volume"
