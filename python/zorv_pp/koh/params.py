"""Published property-model parameters of a salt, with the ranges they were fitted over."""

from __future__ import annotations

import math
from dataclasses import dataclass

from .._native import koh_conductivity, mass_fraction, model_density, model_viscosity, molality_from_molarity

CELSIUS = 273.15
"""0 °C in K."""


@dataclass(frozen=True)
class FitRange:
    """Where a model was fitted: temperatures in K and the salt's mass fraction (kg/kg).

    A bound of None is not known and never flags a point.
    """

    temperature_min: float | None = None
    temperature_max: float | None = None
    mass_fraction_max: float | None = None

    def contains(self, temperature: float, mass_fraction: float) -> bool:
        """Whether (``temperature`` in K, ``mass_fraction``) lies inside the fitted range."""
        if not (math.isfinite(temperature) and math.isfinite(mass_fraction)):
            return False
        if self.temperature_min is not None and temperature < self.temperature_min:
            return False
        if self.temperature_max is not None and temperature > self.temperature_max:
            return False
        return self.mass_fraction_max is None or 0.0 <= mass_fraction <= self.mass_fraction_max


@dataclass(frozen=True)
class SaltParameters:
    """A named set of Laliberté model parameters for one salt in water.

    ``molar_mass`` is in g/mol; ``density`` holds c0..c4 of the density model
    and ``viscosity`` v1..v6 of the viscosity model, in the units of those fits
    (temperature in °C inside the models; every interface here takes K).
    """

    name: str
    molar_mass: float
    density: tuple[float, float, float, float, float]
    viscosity: tuple[float, float, float, float, float, float]
    density_range: FitRange = FitRange()
    viscosity_range: FitRange = FitRange()
    reference: str = ""

    def __post_init__(self) -> None:
        if len(self.density) != 5 or len(self.viscosity) != 6:
            raise ValueError("a parameter set needs five density (c0..c4) and six viscosity (v1..v6) parameters")
        if not (math.isfinite(self.molar_mass) and self.molar_mass > 0.0):
            raise ValueError(f"molar mass must be a positive number of g/mol, not {self.molar_mass!r}")

    def mass_fraction(self, molality: float) -> float:
        """The salt's mass fraction (kg/kg) at ``molality`` (mol/kg of water)."""
        return mass_fraction(molality, self.molar_mass)

    def density_at(self, temperature: float, molality: float) -> tuple[float, float]:
        """Model density (kg/m³) and molarity (mol/L) at ``temperature`` (K) and ``molality`` (mol/kg)."""
        return model_density(temperature, molality, self.molar_mass, self.density)

    def viscosity_at(self, temperature: float, molality: float) -> float:
        """Model shear viscosity (Pa·s) at ``temperature`` (K) and ``molality`` (mol/kg)."""
        return model_viscosity(temperature, molality, self.molar_mass, self.viscosity)

    def conductivity_at(self, temperature: float, molality: float) -> float:
        """Gilliam's KOH conductivity (S/m) at ``temperature`` (K) and ``molality`` (mol/kg).

        The correlation is KOH's own; this set's molar mass and density
        parameters give the molarity and mass fraction it takes.
        """
        return koh_conductivity(temperature, molality, self.molar_mass, self.density)

    def molality_of(self, molarity: float, temperature: float) -> float:
        """The molality (mol/kg) whose model molarity at ``temperature`` (K) is ``molarity`` (mol/L).

        Raises ValueError when the density model reaches no such molarity.
        """
        return molality_from_molarity(molarity, temperature, self.molar_mass, self.density, 1e-10, 200)


KOH = SaltParameters(
    name="KOH (Laliberté 2009)",
    molar_mass=56.11,
    density=(821.119043254761, 1043.20173374381, 0.112873330222752, 0.00124023636407386, 539.630388368877),
    viscosity=(
        57.4198157197363,
        3.80481406171296,
        2.62270093659636,
        0.0103144776487057,
        5202.71048053244,
        10.9425874221815,
    ),
    density_range=FitRange(CELSIUS + 4.0, CELSIUS + 95.0, 0.51861),
    viscosity_range=FitRange(CELSIUS - 14.1, CELSIUS + 40.0, 0.51861),
    reference="J.-P. Laliberté, J. Chem. Eng. Data 54 (2009) 1725",
)
"""Potassium hydroxide: density fitted over 4-95 °C, viscosity over -14.1-40 °C, both up to a
mass fraction of 0.51861."""
