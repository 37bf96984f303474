"""LAMMPS unit styles and the exact SI constants used to convert them.

Every property leaves :mod:`zorv_pp` in SI units; this module holds the only
conversion factors. The defining constants of the 2019 SI are exact, so they
are written out in full and every factor is derived from them.
"""
from __future__ import annotations

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
    4184 J / N_A). Volumes and densities of the volume and density files are
    Å³ and g/cm³ in both supported styles.
    """

    name: str
    length: float
    time: float
    pressure: float
    energy: float
    length_name: str
    time_name: str

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
        """One unit of the volume file (Å³) in m³."""
        return ANGSTROM * ANGSTROM * ANGSTROM

    @property
    def density(self) -> float:
        """One unit of the density file (g/cm³) in kg/m³."""
        return 1000.0


REAL = UnitStyle("real", ANGSTROM, 1e-15, ATMOSPHERE, KILOCALORIE / AVOGADRO, "Å", "fs")
METAL = UnitStyle("metal", ANGSTROM, 1e-12, BAR, ELEMENTARY_CHARGE, "Å", "ps")
STYLES: dict[str, UnitStyle] = {style.name: style for style in (REAL, METAL)}


class UnitStyleError(ValueError):
    """A unit style that zorv_pp does not convert."""


def unit_style(style: str | UnitStyle) -> UnitStyle:
    """The :class:`UnitStyle` named ``style`` ("real" or "metal").

    Raises :class:`UnitStyleError`, naming the style, for any other name.
    """
    if isinstance(style, UnitStyle):
        return style
    try:
        return STYLES[style]
    except (KeyError, TypeError):
        supported = ", ".join(STYLES)
        raise UnitStyleError(f"unsupported LAMMPS unit style {style!r} (supported: {supported})") from None
