"""A state point: replica runs of one system combined into estimates with uncertainty."""

from __future__ import annotations

import math
import os
from collections.abc import Iterable, Mapping, Sequence
from dataclasses import dataclass, field, replace
from typing import Any

from .. import properties
from ..diagnostics import RunWarning
from ..errors import RunError, ZorvError
from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED
from ..msdfit.window import WindowSpec
from ..rounding import shown
from ..run import TABLE_FILES, Run
from ..units import REAL, UnitStyle
from .curve_fit import Curve
from .derived import carry_flags, derive, spread_key
from .estimate import Estimate, merge_flags
from .keys import Key, Species, pair_key
from .load_fit import load_and_fit
from .record import ValueRecord
from .replica_copies import distinct_runs, warn_copied_tables
from .run_fit import RunAnalysis, fit_run
from .shared_start import shared_starts

# What a run without a value reads as.
_NONE = ValueRecord(math.nan, has_error=False)


def _species_key(species: str | Sequence[str] | None) -> Species:
    if species is None or isinstance(species, str):
        return species
    pair = tuple(species)
    if len(pair) != 2 or not all(isinstance(name, str) for name in pair):
        raise TypeError(f"species must be a name or a pair of names, not {species!r}")
    return pair_key(pair[0], pair[1])


@dataclass(frozen=True)
class StateResult:
    """Every property of one state point, each an :class:`Estimate` in SI units.

    ``runs`` are the replica runs in the order of each Estimate's ``per_run``;
    ``metadata`` holds what the caller attached (a campaign's state keys);
    ``curves`` the fitted curves of every run, for figures; ``counts`` the
    molecule counts of every run; ``warnings`` the file warnings of each run,
    by run path. What a reader checks a state by: ``charges`` (e) as given;
    each run's ``temperatures``, ``volumes`` and ``run_lengths`` (s; see
    :class:`RunAnalysis` for ``run_lengths_from_lags``); ``style`` the runs'
    unit style; ``yeh_hummer_viscosity`` the shear viscosity the Yeh–Hummer
    correction used (``viscosity_given`` when the caller gave it).
    """

    name: str
    runs: tuple[str, ...]
    estimates: Mapping[Key, Estimate]
    labels: Mapping[Species, str]
    metadata: Mapping[str, Any] = field(default_factory=dict)
    curves: tuple[tuple[Curve, ...], ...] = field(default=(), repr=False)
    counts: tuple[Mapping[str, int], ...] = field(default=(), repr=False)
    warnings: Mapping[str, tuple[RunWarning, ...]] = field(default_factory=dict, repr=False)
    charges: Mapping[str, float] = field(default_factory=dict, repr=False)
    temperatures: tuple[float, ...] = field(default=(), repr=False)
    volumes: tuple[float, ...] = field(default=(), repr=False)
    run_lengths: tuple[float, ...] = field(default=(), repr=False)
    run_lengths_from_lags: tuple[bool, ...] = field(default=(), repr=False)
    style: UnitStyle = field(default=REAL, repr=False)
    yeh_hummer_viscosity: Estimate | None = field(default=None, repr=False)
    viscosity_given: bool = field(default=False, repr=False)

    def get(self, property: str, species: str | Sequence[str] | None = None) -> Estimate:
        """The Estimate of ``property`` for ``species`` (a name, or a pair in either order).

        Raises ValueError for an unknown property name and KeyError when this
        state has no such estimate (its runs lacked the table or the species).
        """
        properties.get(property)  # ValueError for a name no property has
        key = (property, _species_key(species))
        try:
            return self.estimates[key]
        except KeyError:
            have = [self.labels.get(s, "") or "-" for p, s in self.estimates if p == property]
            what = f" for {species!r}" if species is not None else ""
            if have:
                found = f"it has {property} for {', '.join(have)}"
            else:  # say what the state does have, or that nothing gave it a value
                others = sorted({p for p, _ in self.estimates})
                found = f"it has {', '.join(others)}" if others else "nothing was analysed"
            raise KeyError(f"state {self.name!r} has no {property}{what}: {found}") from None

    def properties(self) -> list[tuple[str, Species]]:
        """The (property, species) keys of this state, in report order."""
        return list(self.estimates)

    def rows(self) -> list[dict[str, Any]]:
        """One tidy row per estimate: state, property, species, mean, std, sem, count, unit, per_run,
        ci95_low, ci95_high, per_run_sem, window_spread, fit_start, fit_p and flags (see :class:`Estimate`)."""
        rows = []
        for (prop, species), estimate in self.estimates.items():
            rows.append(
                {
                    "state": self.name,
                    "property": prop,
                    "species": self.labels.get(species, "") if species is not None else "",
                    "mean": estimate.mean,
                    "std": estimate.std,
                    "sem": estimate.sem,
                    "count": estimate.count,
                    "unit": estimate.unit,
                    "per_run": list(estimate.per_run),
                    "ci95_low": estimate.ci95[0],
                    "ci95_high": estimate.ci95[1],
                    "per_run_sem": list(estimate.per_run_sem),
                    "window_spread": list(estimate.window_spread),
                    "fit_start": list(estimate.fit_start),
                    "fit_p": list(estimate.fit_p),
                    "flags": " ".join(estimate.flags),
                }
            )
        return rows

    def __str__(self) -> str:
        """A table of every value in its display unit, rounded to its standard error: property, species,
        value ± standard error, unit, 95 % interval, runs and flags."""
        runs = len(self.runs)
        header = ("property", "species", "value ± standard error", "unit", "95 % interval", "runs", "flags")
        rows = [header]
        for (prop, species), estimate in self.estimates.items():
            value, error, interval, unit = shown(estimate.mean, estimate.sem, *estimate.ci95, estimate.unit)
            label = self.labels.get(species, "") if species is not None else ""
            number = value if error == "–" else f"{value} ± {error}"
            rows.append((prop, label, number, unit, interval, str(estimate.count), ", ".join(estimate.flags)))
        widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
        lines = [f"state {self.name}: {runs} run{'s' if runs != 1 else ''}"]
        lines += ["  " + "  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip() for row in rows]
        return "\n".join(lines)

    def to_frame(self) -> Any:
        """The rows as a pandas DataFrame (needs pandas)."""
        import pandas

        return pandas.DataFrame(self.rows())


def analyze(
    runs: Iterable[Run | RunAnalysis | str | os.PathLike[str]],
    *,
    charges: Mapping[str, float] | None = None,
    viscosity: float | None = None,
    window: WindowSpec = None,
    name: str | None = None,
    metadata: Mapping[str, Any] | None = None,
) -> StateResult:
    """Analyse the replica runs of one state point.

    ``runs`` are Run objects, run folders (read with :func:`zorv_pp.run.load_run`) or
    already fitted runs. ``charges`` (in units of e) enables the electrical
    conductivities; ``viscosity`` (Pa·s) replaces the state's shear viscosity
    in the Yeh–Hummer correction; ``window`` sets the fits.
    """
    fitted = []
    for run in runs:
        if isinstance(run, RunAnalysis):
            fitted.append(run)
        else:
            fitted.append(fit_run(run, window, charges) if isinstance(run, Run) else load_and_fit(run, window, charges))
    if not fitted:
        raise ZorvError("a state point needs at least one run")
    return combine(fitted, charges=charges, viscosity=viscosity, name=name, metadata=metadata)


def combine(
    fitted: Sequence[RunAnalysis],
    *,
    charges: Mapping[str, float] | None = None,
    viscosity: float | None = None,
    name: str | None = None,
    metadata: Mapping[str, Any] | None = None,
) -> StateResult:
    """Combine fitted replica runs into a StateResult (see :func:`analyze`).

    Each property's runs are combined by inverse-variance weighting of their
    own errors (:meth:`Estimate.from_runs`); a single-walker column is first
    refitted in every run from the start its replicas' mean curve shows
    (:mod:`.shared_start`). The Yeh–Hummer correction uses
    the state's shear viscosity (or ``viscosity``); its error, shared by every
    run, is added to the corrected values' error. A run whose tables are
    those of an earlier one (the same folder given twice, or a copy of it)
    counts once: it is left out, with a ``duplicate_run`` warning in
    ``warnings``; a single table the same in several runs gets a
    ``copied_table`` warning, on the first copy only. A value read off a grid
    (an RDF's shell) has its grid's floor on its error added once the runs
    are combined: every replica on that grid shares it, so it does not shrink
    with their number.
    """
    fitted, duplicates = distinct_runs(fitted)
    fitted = shared_starts(warn_copied_tables(fitted))
    _check_same_species(fitted)
    labels: dict[Species, str] = {}
    for run in fitted:
        labels.update(run.labels)
    eta = _shear_viscosity(fitted, viscosity)
    shared: dict[Key, float] = {}
    sources: dict[Key, tuple[Key, ...]] = {}
    runs = []
    for run in fitted:
        derived = derive(run, eta, charges)
        runs.append(derived.run)
        shared.update(derived.shared)
        for key, record in derived.run.records.items():
            if record.sources:
                sources[key] = tuple(dict.fromkeys(sources.get(key, ()) + record.sources))
    keys = list(dict.fromkeys(key for run in runs for key in run.records))
    keys.sort(key=lambda key: properties.order(key[0]))
    floors: dict[Key, float] = {}
    for run in fitted:
        for key, floor in run.floors.items():
            if math.isfinite(floor):
                floors[key] = max(floors.get(key, 0.0), floor)
    estimates = carry_flags(
        {key: _estimate(key, runs).widened(math.hypot(shared.get(key, 0.0), floors.get(key, 0.0))) for key in keys},
        sources,
    )
    state = name if name is not None else os.path.basename(os.path.dirname(os.path.abspath(fitted[0].run)))
    warnings = {run.run: tuple(run.warnings) for run in fitted}
    for run, warning in duplicates:
        warnings[run.run] = warnings.get(run.run, tuple(run.warnings)) + (warning,)
    return StateResult(
        state,
        tuple(run.run for run in fitted),
        estimates,
        labels,
        dict(metadata or {}),
        tuple(tuple(replace(c, run=index) for c in run.curves) for index, run in enumerate(fitted)),
        tuple(dict(run.counts) for run in fitted),
        warnings,
        dict(charges or {}),
        tuple(run.temperature for run in fitted),
        tuple(run.volume for run in fitted),
        tuple(run.run_length for run in fitted),
        tuple(run.run_length_from_lags for run in fitted),
        fitted[0].style,
        eta,
        viscosity is not None,
    )


def _estimate(key: Key, runs: Sequence[RunAnalysis]) -> Estimate:
    unit = runs[0].style.label(properties.get(key[0]).unit)
    codes = [w.code for run in runs for w in run.warnings if _concerns(w, key[0])]
    found = [run.records.get(key, _NONE) for run in runs]
    flags = merge_flags(*(record.flags for record in found), codes)
    per_run = [record.value for record in found]
    if not any(record.has_error for record in found):
        return Estimate.of(per_run, unit, flags)
    fitted = [run.records.get(spread_key(key), _NONE) for run in runs]
    estimate = Estimate.from_runs(
        per_run,
        [record.error if record.has_error else math.nan for record in found],
        unit,
        flags,
        [record.spread for record in fitted],
        [record.start for record in fitted],
        [record.noise for record in found],
    )
    return replace(estimate, fit_p=tuple(record.fit_p for record in fitted))


def _concerns(warning: RunWarning, prop: str) -> bool:
    """Whether a run warning bears on ``prop``: it concerns a file the property is computed from.

    A fit's own finding is already a flag of the curve it concerns, not of its neighbours.
    """
    if warning.code in (NO_DIFFUSIVE_REGIME, NOT_CONVERGED):
        return False
    if warning.file is None or warning.file.startswith("log"):
        return True
    declared = properties.get(prop)
    tables = {name for kind in declared.depends for name in TABLE_FILES[kind]}
    return warning.file in tables or warning.file in declared.state_files


def _shear_viscosity(fitted: Sequence[RunAnalysis], given: float | None) -> Estimate:
    if given is not None:
        if not (math.isfinite(given) and given > 0.0):
            raise ZorvError(f"the shear viscosity for the Yeh–Hummer correction must be positive (Pa·s), not {given!r}")
        return Estimate(float(given), 0.0, 0.0, 1, "Pa s")
    key: Key = ("shear_viscosity", None)
    return _estimate(key, fitted)


def _check_same_species(fitted: Sequence[RunAnalysis]) -> None:
    """Replicas that have a table must name the same species in it."""
    for prop in properties.of_kind("species", "onsager", "column", "rdf"):
        assert prop.table is not None
        having = [(run, {s for p, s in run.records if p == prop.name}) for run in fitted]
        having = [(run, species) for run, species in having if species]
        union = set().union(*(species for _, species in having))
        for run, species in having:
            for missing in union - species:
                label = missing if isinstance(missing, str) or missing is None else "-".join(missing)
                raise RunError(
                    run.run,
                    TABLE_FILES[prop.table][0],
                    f"species {label} of {prop.name} is missing here but present in other replicas",
                )
