"""LAMMPS unit styles and the exact SI constants used to convert them.

Every property leaves :mod:`zorv_pp` in SI units, except for runs in the
``lj`` style, whose results stay in reduced units; this module holds the only
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
