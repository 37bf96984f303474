"""LAMMPS unit styles, the exact SI constants used to convert them, and the display form of SI values.

Every property leaves :mod:`zorv_pp` in SI units, except for runs in the
``lj`` style, whose results stay in reduced units; this module holds the only
conversion factors. The defining constants of the 2019 SI are exact, so they
are written out in full and every factor is derived from them.
"""

from __future__ import annotations

import math
from collections.abc import Iterable
from dataclasses import dataclass

BOLTZMANN = 1.380649e-23
"""Boltzmann constant k_B, J/K (exact)."""
ELEMENTARY_CHARGE = 1.602176634e-19
"""Elementary charge e, C (exact)."""
AVOGADRO = 6.02214076e23
"""Avogadro constant N_A, 1/mol (exact)."""
ATMOSPHERE = 101325.0
"""Standard atmosphere, Pa (exact)."""
BAR = 1e5
"""Bar, Pa (exact)."""
KILOCALORIE = 4184.0
"""Thermochemical kilocalorie, J (exact)."""
ANGSTROM = 1e-10
"""Ångström, m."""
YEH_HUMMER_XI = 2.837297
"""Madelung-like constant of the cubic periodic lattice in the Yeh–Hummer correction."""


@dataclass(frozen=True)
class UnitStyle:
    """A LAMMPS unit style, as SI factors of its base units.

    Attributes give the SI value of one unit: ``length`` in m, ``time`` in s,
    ``pressure`` in Pa and ``energy`` in J (per molecule, so kcal/mol is
    4184 J / N_A). ``boltzmann`` is k_B in energy per kelvin as the formulas
    use it and ``charge`` the SI value of one charge unit. A ``reduced`` style
    (lj) has every factor 1 and k_B = 1: its results stay in reduced units.
    The volume file holds Å³ in real and metal (σ³ in lj); the density file's
    unit is up to the input script, so :mod:`zorv_pp.run` decides it.
    """

    name: str
    length: float
    time: float
    pressure: float
    energy: float
    length_name: str
    time_name: str
    boltzmann: float = BOLTZMANN
    charge: float = ELEMENTARY_CHARGE
    reduced: bool = False
    default_timestep: float = 1.0
    """LAMMPS's timestep of this style when the input sets none, in its time unit."""

    @property
    def diffusion(self) -> float:
        """One length²/time in m²/s."""
        return self.length * self.length / self.time

    @property
    def viscosity(self) -> float:
        """One pressure·time in Pa·s."""
        return self.pressure * self.time

    @property
    def thermal_conductivity(self) -> float:
        """One energy/(length·time·K) in W/(m·K)."""
        return self.energy / (self.length * self.time)

    @property
    def volume(self) -> float:
        """One unit of the volume file (Å³, or σ³ for lj) in m³ (1 for lj)."""
        return 1.0 if self.reduced else self.length * self.length * self.length

    @property
    def density(self) -> float:
        """One g/cm³ in kg/m³ (1 for lj, whose density file is reduced)."""
        return 1.0 if self.reduced else 1000.0

    def label(self, si_unit: str) -> str:
        """The unit that a result of SI unit ``si_unit`` is given in by this style.

        The SI unit itself for real and metal; for a reduced style, "reduced
        (lj)" for every dimensioned quantity (a dimensionless "1" stays "1").
        """
        if not self.reduced or si_unit == "1":
            return si_unit
        return f"reduced ({self.name})"


REAL = UnitStyle("real", ANGSTROM, 1e-15, ATMOSPHERE, KILOCALORIE / AVOGADRO, "Å", "fs")
METAL = UnitStyle("metal", ANGSTROM, 1e-12, BAR, ELEMENTARY_CHARGE, "Å", "ps", default_timestep=0.001)
LJ = UnitStyle("lj", 1.0, 1.0, 1.0, 1.0, "σ", "τ", boltzmann=1.0, charge=1.0, reduced=True, default_timestep=0.005)
"""Lennard-Jones reduced units: no conversion, k_B = 1."""
STYLES: dict[str, UnitStyle] = {style.name: style for style in (REAL, METAL, LJ)}


class UnitStyleError(ValueError):
    """A unit style that zorv_pp does not convert."""


def unit_style(style: str | UnitStyle) -> UnitStyle:
    """The :class:`UnitStyle` named ``style`` ("real", "metal" or "lj").

    Raises :class:`UnitStyleError`, naming the style, for any other name.
    """
    if isinstance(style, UnitStyle):
        return style
    try:
        return STYLES[style]
    except (KeyError, TypeError):
        supported = ", ".join(STYLES)
        raise UnitStyleError(f"unsupported LAMMPS unit style {style!r} (supported: {supported})") from None


#: Display form of every SI unit the package reports: (label, factor from the SI value).
_NOTATION: dict[str, tuple[str, float]] = {
    "m^2/s": ("m²/s", 1.0),
    "Pa s": ("mPa·s", 1e3),
    "W/(m K)": ("W/(m·K)", 1.0),
    "S/m": ("S/m", 1.0),
    "m": ("nm", 1e9),
    "1": ("dimensionless", 1.0),
    "m^3": ("nm³", 1e27),
    "kg/m^3": ("kg/m³", 1.0),
    "K": ("K", 1.0),
    "m^2": ("m²", 1.0),
    "Pa s^2": ("Pa·s²", 1.0),
    "W s/(m K)": ("W·s/(m·K)", 1.0),
    "S s/m": ("S·s/m", 1.0),
}
SI_UNITS = frozenset(_NOTATION)
_SUPERSCRIPT = str.maketrans("-0123456789", "⁻⁰¹²³⁴⁵⁶⁷⁸⁹")


def superscript(exponent: int) -> str:
    return str(exponent).translate(_SUPERSCRIPT)


def notation(unit: str, values: Iterable[float] = ()) -> tuple[str, float]:
    """Axis label and factor for values in ``unit``: one notation, scaled so ticks need no offset.

    Known SI units get their display form (viscosity in mPa·s); values far from
    1 are shown in units of a power of ten that is a multiple of three. A unit
    the package does not know (a reduced-unit label) is kept as given.
    """
    if unit.startswith("reduced"):  # "reduced (lj)": no SI unit to show or scale to
        return f"reduced {unit.partition('(')[2].rstrip(')') or ''} units".replace("  ", " "), 1.0
    if unit == "s":
        return _time_notation(values)
    label, factor = _NOTATION.get(unit, (unit, 1.0))
    if unit in ("m^2", "Pa s^2", "W s/(m K)", "S s/m"):  # log axes of curves need no scaling
        return label, factor
    finite = [abs(v) * factor for v in values if math.isfinite(v) and v != 0.0]
    if not finite:
        return label, factor
    largest = max(finite)
    if 1e-3 <= largest < 1e5:  # read as they are
        return label, factor
    exponent = 3 * math.floor(math.log10(largest) / 3)
    if exponent == 0:
        return label, factor
    prefix = f"10{superscript(exponent)}"
    return (f"{prefix} {label}" if label != "dimensionless" else prefix), factor / 10.0**exponent


#: Prefixed units of time, from the longest: a time reads in the first that makes it at least 1.
_TIMES = (("s", 1.0), ("ms", 1e3), ("µs", 1e6), ("ns", 1e9), ("ps", 1e12), ("fs", 1e15))


def _time_notation(values: Iterable[float]) -> tuple[str, float]:
    """The prefixed second (ps, ns, ...) in which the largest of ``values`` reads between 1 and 1000."""
    finite = [abs(v) for v in values if math.isfinite(v) and v != 0.0]
    largest = max(finite, default=1.0)
    return next(((label, factor) for label, factor in _TIMES if largest * factor >= 1.0), _TIMES[-1])
