"""Per-run fits: every MSD curve of a run turned into a coefficient with its standard error."""
from __future__ import annotations

import hashlib
import math
import os
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Union

import numpy as np

from .curve_fit import Curve, CurveFit, NoiseScale, SamplingCache, fit_curve
from ..errors import RunError
from ..diagnostics import RunWarning
from ..flags import ANISOTROPIC, NO_DIFFUSIVE_REGIME, NOT_CONVERGED
from .rdf import REDUCED_SHELL_SCALE, first_shell
from ..run import FINITE_RDF_PREFIX, RDF_PREFIX, SELF_PREFIX, Run, split_pair
from .sampled_curve import SampledCurve
from ..units import REAL, UnitStyle
from ..msdfit.window import Window, WindowSpec, windows_for

Species = Union[None, str, tuple[str, str]]
"""No species, one species name, or a pair sorted by name (pairs are unordered)."""
Key = tuple[str, Species]

#: SI unit of every property (runs in ``units lj`` keep reduced units, labelled as such).
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
    "haven_ratio": "1",
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

#: The tables each property is computed from, beyond the log and the state files: a warning about
#: one of them is a flag of the property.
DEPENDS: dict[str, tuple[str, ...]] = {
    "self_diffusion": ("diffself", "viscosity"), "self_diffusion_pbc": ("diffself",),
    "onsager": ("diffonsag",), "maxwell_stefan": ("diffonsag",), "electrical_conductivity": ("diffonsag",),
    "electrical_conductivity_ne": ("diffself", "viscosity"), "haven_ratio": ("diffself", "diffonsag", "viscosity"),
    "shear_viscosity": ("viscosity",), "shear_viscosity_off": ("viscosity",), "bulk_viscosity": ("viscosity",),
    "thermal_conductivity": ("tconductivity",), "rdf_peak_position": ("rdf",), "rdf_peak_height": ("rdf",),
    "coordination_number": ("rdf",), "volume": (), "density": (), "temperature": (),
}
#: Properties that depend on the state files, by file.
STATE_FILES = {"volume.dat": ("volume", "density", "self_diffusion", "electrical_conductivity",
                              "electrical_conductivity_ne", "haven_ratio", "coordination_number"),
               "density.dat": ("density",),
               "temperature.dat": ("temperature", "shear_viscosity", "shear_viscosity_off", "bulk_viscosity",
                                   "thermal_conductivity", "self_diffusion", "electrical_conductivity",
                                   "electrical_conductivity_ne", "haven_ratio")}

#: Independent one-dimensional walkers behind each column: they set the scale of its noise.
VISCOSITY_COLUMNS = (("shear_viscosity", "MSD_all", 5.0), ("shear_viscosity_off", "MSD_off", 3.0),
                     ("bulk_viscosity", "MSD_bulkvisc", 1.0))
COMPONENTS = {"viscosity": ("MSD_xy", "MSD_xz", "MSD_yz"), "tconductivity": ("MSD_x", "MSD_y", "MSD_z")}
# Components agreeing by chance fail this χ² (2 degrees of freedom) 1 time in 100.
ANISOTROPY_CHI2 = -2.0 * math.log(0.01)


def pair_key(first: str, second: str) -> tuple[str, str]:
    """The order-insensitive key of a species pair."""
    return (first, second) if first <= second else (second, first)


@dataclass(frozen=True)
class RunAnalysis:
    """What one run gives, every value in SI (reduced units for ``units lj``).

    ``values`` maps (property, species) to the run's value, ``errors`` to its
    standard error from the run's own sampling (NaN where none), ``flags`` to
    the flags of its fit and ``spread`` to its window sensitivity. ``warnings``
    are the run's file warnings and what its fits found (a curve with no
    diffusive range, one still bending at its longest usable lags); ``style``
    its unit style; ``fingerprint`` a digest of its tables, equal for two
    folders that hold the same run; ``starts`` the time each fitted range
    starts at, in seconds (reduced time for ``units lj``).
    """

    run: str
    values: dict[Key, float]
    labels: dict[Species, str]
    counts: dict[str, int]
    temperature: float
    volume: float
    curves: list[Curve] = field(repr=False)
    errors: dict[Key, float] = field(default_factory=dict, repr=False)
    flags: dict[Key, tuple[str, ...]] = field(default_factory=dict, repr=False)
    spread: dict[Key, float] = field(default_factory=dict, repr=False)
    warnings: tuple[RunWarning, ...] = ()
    style: UnitStyle = REAL
    fingerprint: str = ""
    starts: dict[Key, float] = field(default_factory=dict, repr=False)


class _Fitter:
    """Fits the curves of one run and records values, errors, flags, labels and curves."""

    def __init__(self, run: Run, windows: Mapping[str, Window]) -> None:
        self.run, self.windows = run, windows
        self.sampling = SamplingCache(run)
        self.values: dict[Key, float] = {}
        self.errors: dict[Key, float] = {}
        self.flags: dict[Key, tuple[str, ...]] = {}
        self.spread: dict[Key, float] = {}
        self.starts: dict[Key, float] = {}
        self.labels: dict[Species, str] = {}
        self.curves: list[Curve] = []
        self.warnings: list[RunWarning] = []

    def fit(self, group: str, prop: str, species: Species, label: str, table: str, values: Sequence[float],
            factor: float, walkers: float, scale: NoiseScale = None, start_at: float | None = None,
            earliest: float | None = None) -> CurveFit:
        """Fit one curve; its coefficient is slope × ``factor``. Returns the fit, in file units."""
        time = next(iter(self.run.tables[table].values()))
        try:
            found = fit_curve(self.windows[group], self.sampling(table, time), time, values, walkers, scale,
                              start_at=start_at, seconds=self.run.units.time, earliest=earliest)
        except ValueError as error:  # a table too short to have a sampling, let alone a slope
            raise RunError(self.run.path, self.run.files.get(table), str(error)) from None
        key = (prop, species)
        self._say_why(table, label, len(time), found.flags)
        self.values[key] = found.slope * factor
        self.errors[key] = found.sem * abs(factor)
        self.flags[key] = found.flags
        self.spread[key] = found.spread * abs(factor)
        self.starts[key] = found.start * self.run.units.time
        self.labels[species] = label
        seconds = self.run.units.time
        noise = scale(found.slope) if callable(scale) else scale
        self.curves.append(SampledCurve(prop, label, list(time), list(values), found.t_fit, found.fit,
                                        found.slope * factor, seconds, factor * seconds,
                                        self.run.units.label(_curve_unit(prop)), found.band, 0,
                                        self.sampling(table, time), walkers, noise))
        return found

    def _say_why(self, table: str, label: str, rows: int, flags: tuple[str, ...]) -> None:
        file = self.run.files.get(table)
        if NO_DIFFUSIVE_REGIME in flags:
            self.warnings.append(RunWarning(NO_DIFFUSIVE_REGIME, file, f"{label}: {rows} rows and no diffusive "
                                            "range (a straight rising stretch): no value"))
        elif NOT_CONVERGED in flags:
            self.warnings.append(RunWarning(NOT_CONVERGED, file, f"{label}: still bending at its longest usable "
                                            "lags: the value may be biased; its interval holds the whole "
                                            "change of slope the run shows"))

    def component_slopes(self, group: str, table: str, columns: tuple[str, ...]) -> list[tuple[float, float]]:
        """(slope, error) of single-component columns, fitted without keeping a curve."""
        data = self.run.tables[table]
        time = next(iter(data.values()))
        sampling = self.sampling(table, time)
        return [(fit.slope, fit.sem) for fit in
                (fit_curve(self.windows[group], sampling, time, data[c], 1.0, spread=False) for c in columns if c in data)]


def _curve_unit(prop: str) -> str:
    return {"self_diffusion_pbc": "m^2", "onsager": "m^2", "maxwell_stefan": "m^2",
            "electrical_conductivity": "S s/m", "thermal_conductivity": "W s/(m K)"}.get(prop, "Pa s^2")


def fit_run(run: Run, window: WindowSpec = None, charges: Mapping[str, float] | None = None) -> RunAnalysis:
    """Fit every curve of ``run`` and convert each coefficient to SI.

    Self-diffusion: slope / N_i; Onsager coefficients: slope / N (all
    molecules); viscosities: slope / T; thermal conductivity: slope / T², each
    times the unit style's factor. With two species in the Onsager table the
    Maxwell–Stefan diffusivity is fitted on its own combination of the
    curves; with ``charges`` (e) the electrical conductivity on the
    charge-weighted sum Σ qᵢqⱼ MSDᵢⱼ, the MSD of the charge displacement. A
    fit that finds no diffusive range gives NaN.
    """
    fitter = _Fitter(run, windows_for(window))
    style, counts, tables = run.units, run.counts, run.tables
    temperature = math.nan if run.temperature is None else run.temperature
    volume = math.nan if run.volume is None else run.volume
    for column in tables.get("diffself", {}):
        if column.startswith(SELF_PREFIX):
            name = column[len(SELF_PREFIX):]
            fitter.fit("self_diffusion", "self_diffusion_pbc", name, name, "diffself", tables["diffself"][column],
                       style.diffusion / counts[name], 3.0 * counts[name])
    if "diffonsag" in tables:
        _onsager(run, fitter, charges, temperature, volume)
    viscosity = tables.get("viscosity", {})
    for prop, column, walkers in VISCOSITY_COLUMNS:
        if column in viscosity:
            group = "bulk_viscosity" if prop == "bulk_viscosity" else "shear_viscosity"
            fitter.fit(group, prop, None, column, "viscosity", viscosity[column], style.viscosity / temperature,
                       walkers)
    _flag_anisotropy(fitter, "shear_viscosity", "viscosity", ("shear_viscosity", None))
    if "MSD_all" in tables.get("tconductivity", {}):
        fitter.fit("thermal_conductivity", "thermal_conductivity", None, "MSD_all", "tconductivity",
                   tables["tconductivity"]["MSD_all"], style.thermal_conductivity / (temperature * temperature), 3.0)
        _flag_anisotropy(fitter, "thermal_conductivity", "tconductivity", ("thermal_conductivity", None))
    _rdf(run, fitter, volume)
    for prop, value in (("volume", run.volume), ("density", run.density), ("temperature", run.temperature)):
        if value is not None:
            fitter.values[(prop, None)] = value
    return RunAnalysis(os.fspath(run.path), fitter.values, fitter.labels, dict(counts), temperature, volume,
                       fitter.curves, fitter.errors, fitter.flags, fitter.spread,
                       tuple(run.warnings) + tuple(fitter.warnings), style, tables_fingerprint(run),
                       fitter.starts)


def tables_fingerprint(run: Run) -> str:
    """A digest of every table of ``run``, names and values: the same for a copy of the same run."""
    digest = hashlib.sha256()
    for kind in sorted(run.tables):
        digest.update(f"\0{kind}".encode())
        for column, values in run.tables[kind].items():
            digest.update(f"\0{column}\0".encode())
            digest.update(np.asarray(values, dtype=np.float64).tobytes())
    return digest.hexdigest()


def _onsager(run: Run, fitter: _Fitter, charges: Mapping[str, float] | None, temperature: float,
             volume: float) -> None:
    """Onsager coefficients, then the Maxwell–Stefan diffusivity and the conductivity from combined curves."""
    table = run.tables["diffonsag"]
    style, factor = run.units, run.units.diffusion / float(sum(run.counts.values()))
    columns: dict[tuple[str, str], Sequence[float]] = {}
    for column in table:
        if column.startswith(SELF_PREFIX):
            first, second = split_pair(column[len(SELF_PREFIX):], set(run.counts))
            key = pair_key(first, second)
            if key in columns:
                raise RunError(run.path, run.files["diffonsag"], f"the pair {first}-{second} appears twice")
            columns[key] = table[column]
    slopes: dict[tuple[str, str], float] = {}
    starts: dict[tuple[str, str], float] = {}
    # Diagonal curves are squared displacements with a range of their own; a cross curve, which may be
    # small or negative, is fitted over the later of its diagonals' ranges, and its noise follows from
    # both diagonals and itself (Isserlis).
    for key in sorted(columns, key=lambda k: k[0] != k[1]):
        first, second = key
        scale: NoiseScale = None
        start_at = None
        if first != second:
            b11, b22 = slopes.get((first, first), math.nan), slopes.get((second, second), math.nan)
            scale = lambda cross, b11=b11, b22=b22: (b11 * b22 + cross * cross) / 2.0  # noqa: E731
            start_at = max(starts.get((first, first), 0.0), starts.get((second, second), 0.0))
        found = fitter.fit("onsager", "onsager", key, f"{first}-{second}", "diffonsag", columns[key],
                           factor, 3.0, scale, start_at)
        slopes[key] = found.slope
        if found.t_fit:
            starts[key] = found.t_fit[0]
    names = sorted({name for pair in columns for name in pair})
    if not names:
        return
    if len(names) == 2 and all(pair_key(a, b) in columns for a in names for b in names):
        first, second = names
        n1, n2 = run.counts[first], run.counts[second]
        x1, x2 = n1 / (n1 + n2), n2 / (n1 + n2)
        combined = _combine({(first, first): x2 / x1, (second, second): x1 / x2, (first, second): -2.0}, columns)
        fitter.fit("onsager", "maxwell_stefan", (first, second), f"{first}-{second}", "diffonsag", combined,
                   factor, 3.0, earliest=_latest(*starts.values()))
    if charges is not None and all(name in charges for name in names):
        weights = {(a, b): charges[a] * charges[b] * (1.0 if a == b else 2.0) for a, b in columns}
        if all(charges[name] == 0.0 for name in names):
            # Neutral species: the charge displacement is zero at every lag, so σ is zero exactly.
            fitter.values[("electrical_conductivity", None)] = 0.0
            fitter.errors[("electrical_conductivity", None)] = 0.0
        elif all(pair_key(a, b) in columns for a in names for b in names if charges[a] * charges[b] != 0.0):
            prefactor = style.charge ** 2 / (volume * style.boltzmann * temperature)
            fitter.fit("onsager", "electrical_conductivity", None, "charge", "diffonsag",
                       _combine(weights, columns), prefactor * style.diffusion, 3.0, earliest=_latest(*starts.values()))


def _latest(*times: float | None) -> float | None:
    """The latest of the finite ``times``, or None."""
    found = [t for t in times if t is not None and math.isfinite(t)]
    return max(found) if found else None


def _combine(weights: Mapping[tuple[str, str], float], columns: Mapping[tuple[str, str], Sequence[float]]) -> list[float]:
    """Σ weight × column, row by row, over the weighted columns."""
    used = [(w, columns[key]) for key, w in weights.items() if w != 0.0]
    return [math.fsum(w * column[row] for w, column in used) for row in range(len(used[0][1]))]


def _flag_anisotropy(fitter: _Fitter, group: str, table: str, key: Key) -> None:
    """Flag ``key`` when the table's x/y/z (or off-diagonal) components disagree beyond their errors."""
    if key not in fitter.values or table not in fitter.run.tables:
        return
    found = [(s, e) for s, e in fitter.component_slopes(group, table, COMPONENTS[table])
             if math.isfinite(s) and math.isfinite(e) and e > 0.0]
    if len(found) < 3:
        return
    weights = [1.0 / (e * e) for _, e in found]
    mean = math.fsum(w * s for w, (s, _) in zip(weights, found)) / math.fsum(weights)
    chi2 = math.fsum(w * (s - mean) ** 2 for w, (s, _) in zip(weights, found))
    if chi2 > ANISOTROPY_CHI2:
        fitter.flags[key] = fitter.flags.get(key, ()) + (ANISOTROPIC,)


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
        position, height, coordination = first_shell(radius, table[column], density, run.units.length,
                                                     REDUCED_SHELL_SCALE if run.units.reduced else None)
        key = pair_key(first, second)
        for prop, value in (("rdf_peak_position", position), ("rdf_peak_height", height),
                            ("coordination_number", coordination)):
            fitter.values[(prop, key)] = value
        fitter.labels[key] = f"{first}-{second}"

