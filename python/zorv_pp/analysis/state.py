"""A state point: replica runs of one system combined into estimates with uncertainty."""
from __future__ import annotations

import math
import os
from collections.abc import Iterable, Mapping, Sequence
from dataclasses import dataclass, field, replace
from typing import Any

from .curve_fit import Curve
from ..diagnostics import RunWarning
from ..errors import RunError, ZorvError
from .estimate import Estimate, merge_flags
from ..flags import NO_DIFFUSIVE_REGIME, NO_VOLUME, NOT_CONVERGED, WINDOW_SENSITIVE
from ..run import TABLE_FILES, Run
from .run_fit import (DEPENDS, PROPERTIES, SOURCE_TABLE, STATE_FILES, UNITS, Key, RunAnalysis, Species, fit_run,
                           pair_key)
from ..units import YEH_HUMMER_XI
from ..msdfit.window import WindowSpec


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
    by run path.
    """

    name: str
    runs: tuple[str, ...]
    estimates: Mapping[Key, Estimate]
    labels: Mapping[Species, str]
    metadata: Mapping[str, Any] = field(default_factory=dict)
    curves: tuple[tuple[Curve, ...], ...] = field(default=(), repr=False)
    counts: tuple[Mapping[str, int], ...] = field(default=(), repr=False)
    warnings: Mapping[str, tuple[RunWarning, ...]] = field(default_factory=dict, repr=False)

    def get(self, property: str, species: str | Sequence[str] | None = None) -> Estimate:
        """The Estimate of ``property`` for ``species`` (a name, or a pair in either order).

        Raises ValueError for an unknown property name and KeyError when this
        state has no such estimate (its runs lacked the table or the species).
        """
        if property not in UNITS:
            raise ValueError(f"unknown property {property!r} (known: {', '.join(PROPERTIES)})")
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
        ci95_low, ci95_high, per_run_sem, window_spread, fit_start and flags (see :class:`Estimate`)."""
        rows = []
        for (prop, species), estimate in self.estimates.items():
            rows.append({"state": self.name, "property": prop,
                         "species": self.labels.get(species, "") if species is not None else "",
                         "mean": estimate.mean, "std": estimate.std, "sem": estimate.sem,
                         "count": estimate.count, "unit": estimate.unit, "per_run": list(estimate.per_run),
                         "ci95_low": estimate.ci95[0], "ci95_high": estimate.ci95[1],
                         "per_run_sem": list(estimate.per_run_sem), "window_spread": list(estimate.window_spread),
                         "fit_start": list(estimate.fit_start),
                         "flags": " ".join(estimate.flags)})
        return rows

    def __str__(self) -> str:
        """A table of every value: property, species, value ± error, unit, 95 % interval, count and flags."""
        runs = len(self.runs)
        lines = [f"state {self.name}: {runs} run{'s' if runs != 1 else ''}"]
        names = [(prop, self.labels.get(species, "") if species is not None else "")
                 for prop, species in self.estimates]
        width = max((len(prop) for prop, _ in names), default=0)
        pair = max((len(label) for _, label in names), default=0)
        for (prop, label), estimate in zip(names, self.estimates.values()):
            if math.isfinite(estimate.sem):
                value = format(estimate)
            else:  # a value without an error: no interval to show
                unit = f" {estimate.unit}" if estimate.unit != "1" else ""
                flags = f" [{', '.join(estimate.flags)}]" if estimate.flags else ""
                value = f"{estimate.mean:.4g}{unit} (no interval, n={estimate.count}){flags}"
            lines.append(f"  {prop:<{width}}  {label:<{pair}}  {value}")
        return "\n".join(lines)

    def to_frame(self) -> Any:
        """The rows as a pandas DataFrame (needs pandas)."""
        import pandas

        return pandas.DataFrame(self.rows())


def analyze(runs: Iterable[Run | RunAnalysis | str | os.PathLike[str]], *,
            charges: Mapping[str, float] | None = None, viscosity: float | None = None,
            window: WindowSpec = None, name: str | None = None,
            metadata: Mapping[str, Any] | None = None) -> StateResult:
    """Analyse the replica runs of one state point.

    ``runs`` are Run objects, run folders (loaded with :meth:`Run.load`) or
    already fitted runs. ``charges`` (in units of e) enables the electrical
    conductivities; ``viscosity`` (Pa·s) replaces the state's shear viscosity
    in the Yeh–Hummer correction; ``window`` sets the fits.
    """
    fitted = []
    for run in runs:
        if isinstance(run, RunAnalysis):
            fitted.append(run)
        else:
            fitted.append(fit_run(run if isinstance(run, Run) else Run.load(run), window, charges))
    if not fitted:
        raise ZorvError("a state point needs at least one run")
    return combine(fitted, charges=charges, viscosity=viscosity, name=name, metadata=metadata)


def combine(fitted: Sequence[RunAnalysis], *, charges: Mapping[str, float] | None = None,
            viscosity: float | None = None, name: str | None = None,
            metadata: Mapping[str, Any] | None = None) -> StateResult:
    """Combine fitted replica runs into a StateResult (see :func:`analyze`).

    Each property's runs are combined by inverse-variance weighting of their
    own errors (:meth:`Estimate.from_runs`). The Yeh–Hummer correction uses
    the state's shear viscosity (or ``viscosity``); its error, shared by every
    run, is added to the corrected values' error. A run whose tables are
    those of an earlier one (the same folder given twice, or a copy of it)
    counts once: it is left out, with a ``duplicate_run`` warning in
    ``warnings``.
    """
    fitted, duplicates = _distinct(fitted)
    _check_same_species(fitted)
    values = [dict(run.values) for run in fitted]
    errors = [dict(run.errors) for run in fitted]
    labels: dict[Species, str] = {}
    for run in fitted:
        labels.update(run.labels)
    eta = _shear_viscosity(fitted, viscosity)
    shared: dict[Key, float] = {}
    for run, run_values, run_errors in zip(fitted, values, errors):
        shared.update(_derived(run, run_values, run_errors, eta, charges))
    keys = list(dict.fromkeys(key for run_values in values for key in run_values))
    keys.sort(key=lambda key: PROPERTIES.index(key[0]))
    estimates = _window_sensitivity({key: _estimate(key, fitted, values, errors).widened(shared.get(key, 0.0))
                                     for key in keys}, charges)
    state = name if name is not None else os.path.basename(os.path.dirname(os.path.abspath(fitted[0].run)))
    warnings = {run.run: tuple(run.warnings) for run in fitted}
    for run, warning in duplicates:
        warnings[run.run] = warnings.get(run.run, tuple(run.warnings)) + (warning,)
    return StateResult(state, tuple(run.run for run in fitted), estimates, labels, dict(metadata or {}),
                       tuple(tuple(replace(c, run=index) for c in run.curves) for index, run in enumerate(fitted)),
                       tuple(dict(run.counts) for run in fitted), warnings)


def _window_sensitivity(estimates: dict[Key, Estimate], charges: Mapping[str, float] | None) -> dict[Key, Estimate]:
    """Flag ``window_sensitive`` by one rule: a value whose largest window spread (over its runs) exceeds
    the width of its 95 % interval, and every value derived from a flagged one (the Yeh–Hummer D from
    its periodic-box D, σ_NE from the D of its charged species, the Haven ratio from σ and σ_NE)."""
    def sources(key: Key) -> list[Key]:
        prop, species = key
        if prop == "self_diffusion":
            return [("self_diffusion_pbc", species)]
        if prop == "electrical_conductivity_ne":
            return [("self_diffusion", name) for name, charge in (charges or {}).items() if charge != 0.0]
        if prop == "haven_ratio":
            return [("electrical_conductivity", None), ("electrical_conductivity_ne", None)]
        return []

    flagged: dict[Key, bool] = {}

    def sensitive(key: Key) -> bool:
        if key not in flagged:
            estimate = estimates.get(key)
            if estimate is None:
                return False
            spread = max((s for s in estimate.window_spread if math.isfinite(s)), default=math.nan)
            own = spread > estimate.ci95[1] - estimate.ci95[0]  # False when either is NaN
            flagged[key] = own or any(sensitive(source) for source in sources(key))
        return flagged[key]

    result = {}
    for key, estimate in estimates.items():
        flags = tuple(flag for flag in estimate.flags if flag != WINDOW_SENSITIVE)
        result[key] = replace(estimate, flags=flags + ((WINDOW_SENSITIVE,) if sensitive(key) else ()))
    return result


def _distinct(fitted: Sequence[RunAnalysis]) -> tuple[list[RunAnalysis], list[tuple[RunAnalysis, RunWarning]]]:
    """The runs with distinct tables, and each left-out copy with its ``duplicate_run`` warning.

    A copy would count as an independent replica and shrink the error by the square root of two.
    """
    first: dict[str, str] = {}
    kept: list[RunAnalysis] = []
    duplicates: list[tuple[RunAnalysis, RunWarning]] = []
    for run in fitted:
        original = first.get(run.fingerprint) if run.fingerprint else None
        if original is None:
            first.setdefault(run.fingerprint, run.run)
            kept.append(run)
            continue
        what = "the same run folder given twice" if original == run.run else f"the same tables as {original}"
        duplicates.append((run, RunWarning("duplicate_run", None, f"{what}: a copy is no independent replica, "
                                           f"so it is counted once")))
    return kept, duplicates


def _estimate(key: Key, fitted: Sequence[RunAnalysis], values: Sequence[Mapping[Key, float]],
              errors: Sequence[Mapping[Key, float]]) -> Estimate:
    unit = fitted[0].style.label(UNITS[key[0]])
    codes = [w.code for run in fitted for w in run.warnings if _concerns(w, key[0])]
    flags = merge_flags(*(run.flags.get(key, ()) for run in fitted), codes)
    per_run = [v.get(key, math.nan) for v in values]
    if not any(key in e for e in errors):
        return Estimate.of(per_run, unit, flags)
    # The Yeh–Hummer value moves with its uncorrected value under another window.
    spread_key = ("self_diffusion_pbc", key[1]) if key[0] == "self_diffusion" else key
    return Estimate.from_runs(per_run, [e.get(key, math.nan) for e in errors], unit, flags,
                              [run.spread.get(spread_key, math.nan) for run in fitted],
                              [run.starts.get(spread_key, math.nan) for run in fitted])


def _concerns(warning: RunWarning, prop: str) -> bool:
    """Whether a run warning bears on ``prop``: it concerns a file the property is computed from.

    A fit's own finding is already a flag of the curve it concerns, not of its neighbours.
    """
    if warning.code in (NO_DIFFUSIVE_REGIME, NOT_CONVERGED):
        return False
    if warning.file is None or warning.file.startswith("log"):
        return True
    tables = {name for kind in DEPENDS[prop] for name in TABLE_FILES[kind]}
    return warning.file in tables or prop in STATE_FILES.get(warning.file, ())


def _shear_viscosity(fitted: Sequence[RunAnalysis], given: float | None) -> Estimate:
    if given is not None:
        return Estimate(float(given), 0.0, 0.0, 1, "Pa s")
    key: Key = ("shear_viscosity", None)
    return _estimate(key, fitted, [run.values for run in fitted], [run.errors for run in fitted])


def _check_same_species(fitted: Sequence[RunAnalysis]) -> None:
    """Replicas that have a table must name the same species in it."""
    for prop, table in SOURCE_TABLE.items():
        having = [(run, {s for p, s in run.values if p == prop}) for run in fitted]
        having = [(run, species) for run, species in having if species]
        union = set().union(*(species for _, species in having))
        for run, species in having:
            for missing in union - species:
                label = missing if isinstance(missing, str) or missing is None else "-".join(missing)
                raise RunError(run.run, TABLE_FILES[table][0],
                               f"species {label} of {prop} is missing here but present in other replicas")


def _derived(run: RunAnalysis, values: dict[Key, float], errors: dict[Key, float], eta: Estimate,
             charges: Mapping[str, float] | None) -> dict[Key, float]:
    """Yeh–Hummer, Nernst–Einstein and Haven values of one run, with their errors.

    Returns the error each derived value shares with every other run (from
    the state's viscosity), to be added once the runs are combined.
    """
    style, temperature, volume = run.style, run.temperature, run.volume
    box = volume ** (1.0 / 3.0)
    correction = YEH_HUMMER_XI * style.boltzmann * temperature / (6.0 * math.pi * eta.mean * box)
    relative_eta = eta.sem / eta.mean if eta.mean != 0.0 else math.nan
    shared: dict[Key, float] = {}
    diffusion = {s: v for (p, s), v in values.items() if p == "self_diffusion_pbc" and isinstance(s, str)}
    for species, value in diffusion.items():
        values[("self_diffusion", species)] = value + correction
        if not math.isfinite(volume):
            run.flags[("self_diffusion", species)] = (NO_VOLUME,)
        errors[("self_diffusion", species)] = errors.get(("self_diffusion_pbc", species), math.nan)
        shared[("self_diffusion", species)] = correction * relative_eta
    if charges is None:
        return shared
    if ("electrical_conductivity", None) not in values:
        _conductivity_from_onsager(run, values, charges)
    if not diffusion:
        return shared
    for name in diffusion:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
    prefactor = style.charge ** 2 / (volume * style.boltzmann * temperature)
    weights = {s: prefactor * run.counts[s] * charges[s] * charges[s] for s in diffusion if charges[s] != 0.0}
    ne = math.fsum(w * values[("self_diffusion", s)] for s, w in weights.items())
    values[("electrical_conductivity_ne", None)] = ne
    errors[("electrical_conductivity_ne", None)] = math.sqrt(math.fsum(
        (w * errors[("self_diffusion", s)]) ** 2 for s, w in weights.items()))
    shared[("electrical_conductivity_ne", None)] = math.fsum(weights.values()) * correction * relative_eta
    # How far the window choice alone moves σ_NE and the Haven ratio: their D's (and σ's) spreads, added.
    ne_spread = math.fsum(abs(w) * run.spread.get(("self_diffusion_pbc", s), math.nan) for s, w in weights.items())
    run.spread[("electrical_conductivity_ne", None)] = ne_spread
    sigma = values.get(("electrical_conductivity", None))
    if sigma is not None and ne != 0.0:
        ratio = sigma / ne
        values[("haven_ratio", None)] = ratio
        errors[("haven_ratio", None)] = abs(ratio) * math.hypot(
            errors.get(("electrical_conductivity", None), math.nan) / sigma,
            errors[("electrical_conductivity_ne", None)] / ne)
        sigma_spread = run.spread.get(("electrical_conductivity", None), math.nan)
        run.spread[("haven_ratio", None)] = abs(ratio) * (
            (sigma_spread / abs(sigma) if sigma != 0.0 else math.nan) + ne_spread / abs(ne))
    return shared


def _conductivity_from_onsager(run: RunAnalysis, values: dict[Key, float], charges: Mapping[str, float]) -> None:
    """σ from the sum of separately fitted Onsager coefficients, for runs fitted without charges (no error)."""
    onsager = {s: v for (p, s), v in values.items() if p == "onsager" and isinstance(s, tuple)}
    names = sorted({name for pair in onsager for name in pair})
    if not onsager:
        return
    for name in names:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
    style = run.style
    prefactor = style.charge ** 2 / (run.volume * style.boltzmann * run.temperature)
    total = float(sum(run.counts.values()))
    products = [(charges[i] * charges[j], pair_key(i, j)) for i in names for j in names]
    values[("electrical_conductivity", None)] = prefactor * total * math.fsum(
        q * onsager.get(key, math.nan) for q, key in products if q != 0.0)
