"""A state point: replica runs of one system combined into estimates with uncertainty."""
from __future__ import annotations

import math
import os
from collections.abc import Iterable, Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

from .errors import RunError, ZorvError
from .estimate import Estimate
from .run import TABLE_FILES, Run
from .run_analysis import PROPERTIES, SOURCE_TABLE, UNITS, Curve, Key, RunAnalysis, Species, fit_run, pair_key
from .units import BOLTZMANN, ELEMENTARY_CHARGE, YEH_HUMMER_XI
from .window import WindowSpec

E2 = ELEMENTARY_CHARGE * ELEMENTARY_CHARGE


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
    molecule counts of every run.
    """

    name: str
    runs: tuple[str, ...]
    estimates: Mapping[Key, Estimate]
    labels: Mapping[Species, str]
    metadata: Mapping[str, Any] = field(default_factory=dict)
    curves: tuple[tuple[Curve, ...], ...] = field(default=(), repr=False)
    counts: tuple[Mapping[str, int], ...] = field(default=(), repr=False)

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
            raise KeyError(f"state {self.name!r} has no {property}{what}"
                           f" (available: {', '.join(have) if have else 'none'})") from None

    def properties(self) -> list[tuple[str, Species]]:
        """The (property, species) keys of this state, in report order."""
        return list(self.estimates)

    def rows(self) -> list[dict[str, Any]]:
        """One tidy row per estimate: state, property, species, mean, std, sem, count, unit, per_run."""
        rows = []
        for (prop, species), estimate in self.estimates.items():
            rows.append({"state": self.name, "property": prop,
                         "species": self.labels.get(species, "") if species is not None else "",
                         "mean": estimate.mean, "std": estimate.std, "sem": estimate.sem,
                         "count": estimate.count, "unit": estimate.unit, "per_run": list(estimate.per_run)})
        return rows

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
    conductivities; ``viscosity`` (Pa·s) replaces the state's mean shear
    viscosity in the Yeh–Hummer correction; ``window`` sets the fits.
    """
    fitted = []
    for run in runs:
        if isinstance(run, RunAnalysis):
            fitted.append(run)
        else:
            fitted.append(fit_run(run if isinstance(run, Run) else Run.load(run), window))
    if not fitted:
        raise ZorvError("a state point needs at least one run")
    return combine(fitted, charges=charges, viscosity=viscosity, name=name, metadata=metadata)


def combine(fitted: Sequence[RunAnalysis], *, charges: Mapping[str, float] | None = None,
            viscosity: float | None = None, name: str | None = None,
            metadata: Mapping[str, Any] | None = None) -> StateResult:
    """Combine fitted replica runs into a StateResult (see :func:`analyze`)."""
    _check_same_species(fitted)
    values = [dict(run.values) for run in fitted]
    labels: dict[Species, str] = {}
    for run in fitted:
        labels.update(run.labels)
    eta = viscosity
    if eta is None:
        eta = Estimate.of([v.get(("shear_viscosity", None), math.nan) for v in values], "Pa s").mean
    for run, run_values in zip(fitted, values):
        _derived(run, run_values, float(eta), charges)
    keys = list(dict.fromkeys(key for run_values in values for key in run_values))
    keys.sort(key=lambda key: PROPERTIES.index(key[0]))
    estimates = {key: Estimate.of([v.get(key, math.nan) for v in values], UNITS[key[0]]) for key in keys}
    state = name if name is not None else os.path.basename(os.path.dirname(os.path.abspath(fitted[0].run)))
    return StateResult(state, tuple(run.run for run in fitted), estimates, labels, dict(metadata or {}),
                       tuple(tuple(run.curves) for run in fitted), tuple(dict(run.counts) for run in fitted))


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


def _derived(run: RunAnalysis, values: dict[Key, float], eta: float,
             charges: Mapping[str, float] | None) -> None:
    """Yeh–Hummer, Maxwell–Stefan and electrical conductivities of one run."""
    temperature, volume = run.temperature, run.volume
    box = volume ** (1.0 / 3.0)
    correction = YEH_HUMMER_XI * BOLTZMANN * temperature / (6.0 * math.pi * eta * box)
    diffusion = {s: v for (p, s), v in values.items() if p == "self_diffusion_pbc" and isinstance(s, str)}
    for species, value in diffusion.items():
        values[("self_diffusion", species)] = value + correction
    onsager = {s: v for (p, s), v in values.items() if p == "onsager" and isinstance(s, tuple)}
    onsager_species = sorted({name for pair in onsager for name in pair})
    if len(onsager_species) == 2:
        first, second = onsager_species
        n1, n2 = run.counts[first], run.counts[second]
        x1, x2 = n1 / (n1 + n2), n2 / (n1 + n2)
        l11, l22 = onsager.get((first, first), math.nan), onsager.get((second, second), math.nan)
        l12 = onsager.get((first, second), math.nan)
        values[("maxwell_stefan", (first, second))] = (x2 / x1) * l11 + (x1 / x2) * l22 - 2.0 * l12
    if charges is None:
        return
    total = float(sum(run.counts.values()))
    prefactor = E2 / (volume * BOLTZMANN * temperature)
    if onsager:
        _require_charges(run, onsager_species, charges)
        total_sum = 0.0
        for i in onsager_species:
            for j in onsager_species:
                product = charges[i] * charges[j]
                if product != 0.0:
                    total_sum += product * onsager.get(pair_key(i, j), math.nan)
        values[("electrical_conductivity", None)] = prefactor * total * total_sum
    if diffusion:
        _require_charges(run, list(diffusion), charges)
        ne_sum = sum(run.counts[s] * charges[s] * charges[s] * values[("self_diffusion", s)]
                     for s in diffusion if charges[s] != 0.0)
        values[("electrical_conductivity_ne", None)] = prefactor * ne_sum


def _require_charges(run: RunAnalysis, species: Iterable[str], charges: Mapping[str, float]) -> None:
    for name in species:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
