"""Per-run fits: every MSD curve of a run turned into a coefficient in SI units."""
from __future__ import annotations

import math
import os
from collections.abc import Mapping
from dataclasses import dataclass, field
from typing import Union

from .errors import RunError
from .rdf import first_shell
from .run import FINITE_RDF_PREFIX, RDF_PREFIX, SELF_PREFIX, Run, split_pair
from .window import Window, windows_for, WindowSpec

Species = Union[None, str, tuple[str, str]]
"""No species, one species name, or a pair sorted by name (pairs are unordered)."""
Key = tuple[str, Species]

#: SI unit of every property.
UNITS: dict[str, str] = {
    "self_diffusion": "m^2/s",
    "self_diffusion_pbc": "m^2/s",
    "onsager": "m^2/s",
    "maxwell_stefan": "m^2/s",
    "shear_viscosity": "Pa s",
    "shear_viscosity_off": "Pa s",
    "bulk_viscosity": "Pa s",
    "thermal_conductivity": "W/(m K)",
    "electrical_conductivity": "S/m",
    "electrical_conductivity_ne": "S/m",
    "rdf_peak_position": "m",
    "rdf_peak_height": "1",
    "coordination_number": "1",
    "volume": "m^3",
    "density": "kg/m^3",
    "temperature": "K",
}
PROPERTIES = tuple(UNITS)

#: The table each fitted property comes from, for messages.
SOURCE_TABLE = {
    "self_diffusion_pbc": "diffself", "onsager": "diffonsag", "shear_viscosity": "viscosity",
    "shear_viscosity_off": "viscosity", "bulk_viscosity": "viscosity",
    "thermal_conductivity": "tconductivity", "rdf_peak_position": "rdf",
    "rdf_peak_height": "rdf", "coordination_number": "rdf",
}


def pair_key(first: str, second: str) -> tuple[str, str]:
    """The order-insensitive key of a species pair."""
    return (first, second) if first <= second else (second, first)


@dataclass(frozen=True)
class Curve:
    """One fitted curve of a run, kept for figures.

    ``time`` and ``values`` are the file's columns; times times ``time_unit``
    are seconds, values times ``scale`` are in ``unit`` (coefficient × s), so
    that the slope of the scaled curve is the coefficient in SI.
    """

    property: str
    label: str
    time: list[float]
    values: list[float]
    t_fit: list[float]
    fit: list[float]
    coefficient: float
    time_unit: float
    scale: float
    unit: str


@dataclass(frozen=True)
class RunAnalysis:
    """What one run gives: per-property values in SI, the run's state and its curves."""

    run: str
    values: dict[Key, float]
    labels: dict[Species, str]
    counts: dict[str, int]
    temperature: float
    volume: float
    curves: list[Curve] = field(repr=False)


def _slope(window: Window, time: list[float], values: list[float]) -> tuple[float, list[float], list[float]]:
    slope, t_fit, fit = window.fit(time, values)
    return float(slope), t_fit, fit


class _Fitter:
    """Fits the curves of one run and records values, labels and curves."""

    def __init__(self, run: Run, windows: Mapping[str, Window]) -> None:
        self.run, self.windows = run, windows
        self.values: dict[Key, float] = {}
        self.labels: dict[Species, str] = {}
        self.curves: list[Curve] = []

    def fit(self, group: str, prop: str, species: Species, label: str, table: str, column: str,
            divisor: float, unit_factor: float) -> None:
        columns = self.run.tables[table]
        time = next(iter(columns.values()))
        slope, t_fit, fit = _slope(self.windows[group], time, columns[column])
        scale = unit_factor / divisor
        coefficient = slope * scale
        self.values[(prop, species)] = coefficient
        self.labels[species] = label
        seconds = self.run.units.time
        self.curves.append(Curve(prop, label, time, columns[column], t_fit, fit, coefficient,
                                 seconds, scale * seconds, _curve_unit(prop)))


def _curve_unit(prop: str) -> str:
    return {"self_diffusion_pbc": "m^2", "onsager": "m^2", "thermal_conductivity": "W s/(m K)"}.get(prop, "Pa s^2")


def fit_run(run: Run, window: WindowSpec = None) -> RunAnalysis:
    """Fit every curve of ``run`` and convert each coefficient to SI.

    Self-diffusion: slope / N_i; Onsager coefficients: slope / N (all
    molecules); viscosities: slope / T; thermal conductivity: slope / T², each
    times the unit style's factor. A fit that finds no window gives NaN.
    """
    windows = windows_for(window)
    fitter = _Fitter(run, windows)
    style, counts = run.units, run.counts
    temperature = math.nan if run.temperature is None else run.temperature
    volume = math.nan if run.volume is None else run.volume
    tables = run.tables
    for column in tables.get("diffself", {}):
        if column.startswith(SELF_PREFIX):
            name = column[len(SELF_PREFIX):]
            fitter.fit("self_diffusion", "self_diffusion_pbc", name, name, "diffself", column,
                       counts[name], style.diffusion)
    total = float(sum(counts.values()))
    species = set(counts)
    for column in tables.get("diffonsag", {}):
        if column.startswith(SELF_PREFIX):
            first, second = split_pair(column[len(SELF_PREFIX):], species)
            key = pair_key(first, second)
            if ("onsager", key) in fitter.values:
                raise RunError(run.path, run.files["diffonsag"], f"the pair {first}-{second} appears twice")
            fitter.fit("onsager", "onsager", key, f"{key[0]}-{key[1]}", "diffonsag", column, total, style.diffusion)
    viscosity = tables.get("viscosity", {})
    for prop, column in (("shear_viscosity", "MSD_all"), ("shear_viscosity_off", "MSD_off"),
                         ("bulk_viscosity", "MSD_bulkvisc")):
        if column in viscosity:
            group = "bulk_viscosity" if prop == "bulk_viscosity" else "shear_viscosity"
            fitter.fit(group, prop, None, column, "viscosity", column, temperature, style.viscosity)
    if "MSD_all" in tables.get("tconductivity", {}):
        fitter.fit("thermal_conductivity", "thermal_conductivity", None, "MSD_all", "tconductivity",
                   "MSD_all", temperature * temperature, style.thermal_conductivity)
    _rdf(run, fitter, volume)
    for prop, value in (("volume", run.volume), ("density", run.density), ("temperature", run.temperature)):
        if value is not None:
            fitter.values[(prop, None)] = value
    return RunAnalysis(os.fspath(run.path), fitter.values, fitter.labels, dict(counts), temperature, volume,
                       fitter.curves)


def _rdf(run: Run, fitter: _Fitter, volume: float) -> None:
    table = run.tables.get("rdf")
    if not table:
        return
    radius = next(iter(table.values()))
    species = set(run.counts) | {name for name in run.species}
    pairs: dict[tuple[str, str], str] = {}
    for prefix in (RDF_PREFIX, FINITE_RDF_PREFIX):  # the finite-size corrected curve wins
        for column in table:
            if column.startswith(prefix):
                pairs[split_pair(column[len(prefix):], species)] = column
    for (first, second), column in pairs.items():
        density = run.counts[second] / volume if second in run.counts else math.nan
        position, height, coordination = first_shell(radius, table[column], density, run.units.length)
        key = pair_key(first, second)
        for prop, value in (("rdf_peak_position", position), ("rdf_peak_height", height),
                            ("coordination_number", coordination)):
            fitter.values[(prop, key)] = value
        fitter.labels[key] = f"{first}-{second}"
