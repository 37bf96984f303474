"""Per-run fits: every MSD curve of a run turned into a coefficient with its standard error."""

from __future__ import annotations

import hashlib
import math
import os
from collections.abc import Mapping
from dataclasses import dataclass, field, replace

import numpy as np

from .. import properties
from ..diagnostics import RunWarning
from ..flags import ANISOTROPIC
from ..msdfit.window import WindowSpec, windows_for
from ..properties import Property
from ..run import Run
from ..run.sampling import SAMPLED_TABLES
from ..units import REAL, UnitStyle
from .curve_fit import Curve
from .fitter import RunFitter
from .keys import Key, Species
from .onsager import fit_onsager
from .record import ValueRecord
from .shells import fit_shells

# Components agreeing by chance fail this χ² (2 degrees of freedom) 1 time in 100.
ANISOTROPY_CHI2 = -2.0 * math.log(0.01)


@dataclass(frozen=True)
class RunAnalysis:
    """What one run gives, every value in SI (reduced units for ``units lj``).

    ``records`` maps (property, species) to the run's value with its error,
    flags, fit start, window spread, noise root and the values it was formed
    from (see :class:`ValueRecord`); ``values``, ``errors`` (only the values
    with an error of their own), ``flags``, ``spread``, ``starts`` and
    ``noise`` are each of those by key. ``warnings`` are the run's file
    warnings and what its fits found (a curve with no diffusive range, one
    still bending at its longest usable lags); ``style`` its unit style;
    ``fingerprint`` a digest of its tables, equal for two folders that hold
    the same run; ``run_length`` the production length its MSD tables were
    sampled over, in seconds (reduced time; NaN when no table is sampled),
    with ``run_length_from_lags`` True when neither the log nor the caller
    gave it and it is the longest lag of a table, a lower bound; ``floors``
    the least error a value read off a grid can have, the same for every
    replica on that grid; ``table_fingerprints`` a digest of each table by
    kind; ``single_walker`` the curves of single-walker columns, kept even
    without ``curves`` for replicas to refit from their common start.
    """

    run: str
    records: dict[Key, ValueRecord]
    labels: dict[Species, str]
    counts: dict[str, int]
    temperature: float
    volume: float
    curves: list[Curve] = field(repr=False)
    warnings: tuple[RunWarning, ...] = ()
    style: UnitStyle = REAL
    fingerprint: str = ""
    run_length: float = math.nan
    run_length_from_lags: bool = False
    floors: dict[Key, float] = field(default_factory=dict, repr=False)
    table_fingerprints: dict[str, str] = field(default_factory=dict, repr=False)
    single_walker: tuple[Curve, ...] = field(default=(), repr=False)

    @property
    def values(self) -> dict[Key, float]:
        """Each value by key."""
        return {key: record.value for key, record in self.records.items()}

    @property
    def errors(self) -> dict[Key, float]:
        """The standard error of each value that has one of its own (NaN where its fit could not size it)."""
        return {key: record.error for key, record in self.records.items() if record.has_error}

    @property
    def flags(self) -> dict[Key, tuple[str, ...]]:
        """The flags of each value."""
        return {key: record.flags for key, record in self.records.items()}

    @property
    def spread(self) -> dict[Key, float]:
        """The window spread of each value (NaN where not known)."""
        return {key: record.spread for key, record in self.records.items()}

    @property
    def starts(self) -> dict[Key, float]:
        """The time each value's fitted range starts at, in seconds (reduced time; NaN where not fitted)."""
        return {key: record.start for key, record in self.records.items()}

    @property
    def noise(self) -> dict[Key, float]:
        """The root of the noise scale each value's error was sized by, in the value's unit (the fitted slope
        for a squared displacement; NaN where not fitted)."""
        return {key: record.noise for key, record in self.records.items()}


def fit_run(
    run: Run, window: WindowSpec = None, charges: Mapping[str, float] | None = None, *, curves: bool = True
) -> RunAnalysis:
    """Fit every curve of ``run`` and convert each coefficient to SI.

    Self-diffusion: slope / N_i; Onsager coefficients: slope / N (all
    molecules); viscosities: slope / T; thermal conductivity: slope / T², each
    times the unit style's factor (every property's factor is declared in
    :mod:`zorv_pp.properties`). With two species in the Onsager table the
    Maxwell–Stefan diffusivity is fitted on its own combination of the
    curves; with ``charges`` (e) the electrical conductivity on the
    charge-weighted sum Σ qᵢqⱼ MSDᵢⱼ, the MSD of the charge displacement. A
    fit that finds no diffusive range gives NaN. ``curves=False`` keeps no
    fitted curve (figures need them), which saves time and memory.
    """
    fitter = RunFitter(run, windows_for(window), curves=curves)
    # The whole-box columns first: a self-diffusion error needs the run's shear viscosity (its shared flow).
    for prop in properties.of_kind("column"):
        _fit_column(fitter, prop)
    for prop in properties.every():
        if prop.kind == "species":
            _fit_species(fitter, prop)
        elif prop.kind == "onsager":
            fit_onsager(fitter, charges)
    floors = fit_shells(fitter)
    for prop in properties.of_kind("state"):
        value = getattr(run, prop.name)
        if value is not None:
            fitter.records[(prop.name, None)] = ValueRecord(value, has_error=False)
    digests = table_fingerprints(run)
    return RunAnalysis(
        os.fspath(run.path),
        fitter.records,
        fitter.labels,
        dict(run.counts),
        fitter.temperature,
        fitter.volume,
        list(fitter.curves),
        tuple(run.warnings) + tuple(fitter.warnings),
        run.units,
        tables_fingerprint(digests),
        *_run_length(run),
        floors,
        digests,
        tuple(fitter.single_walker),
    )


def _run_length(run: Run) -> tuple[float, bool]:
    """The production length of the sampled tables (s; τ for lj), and whether only a table's lags imply it."""
    found = [s for kind in SAMPLED_TABLES if kind in run.tables and (s := run.table_sampling(kind)) is not None]
    known = [s.run_length for s in found if not s.assumed]
    if known:
        return max(known) * run.units.time, False
    if found:
        return max(s.run_length for s in found) * run.units.time, True
    return math.nan, False


def _fit_species(fitter: RunFitter, prop: Property) -> None:
    """One curve per species: the table's columns named by the property's prefix and a species."""
    assert prop.table is not None and prop.column is not None
    for column, values in fitter.run.tables.get(prop.table, {}).items():
        if column.startswith(prop.column):
            name = column[len(prop.column) :]
            conditions = fitter.conditions(name)
            fitter.fit(prop, name, name, values, conditions, walkers=fitter.shared_walkers(prop, values, conditions))


def _fit_column(fitter: RunFitter, prop: Property) -> None:
    """The property's one column, then its components' agreement."""
    assert prop.table is not None and prop.column is not None
    table = fitter.run.tables.get(prop.table, {})
    if prop.column in table:
        fitter.fit(prop, None, prop.column, table[prop.column], fitter.conditions())
        if prop.components:
            _flag_anisotropy(fitter, prop)


def _flag_anisotropy(fitter: RunFitter, prop: Property) -> None:
    """Flag the value when its x/y/z (or off-diagonal) components disagree beyond their errors."""
    key: Key = (prop.name, None)
    found = [(s, e) for s, e in fitter.component_slopes(prop) if math.isfinite(s) and math.isfinite(e) and e > 0.0]
    if len(found) < 3:
        return
    weights = [1.0 / (e * e) for _, e in found]
    mean = math.fsum(w * s for w, (s, _) in zip(weights, found)) / math.fsum(weights)
    chi2 = math.fsum(w * (s - mean) ** 2 for w, (s, _) in zip(weights, found))
    if chi2 > ANISOTROPY_CHI2:
        record = fitter.records[key]
        fitter.records[key] = replace(record, flags=record.flags + (ANISOTROPIC,))


def table_fingerprints(run: Run) -> dict[str, str]:
    """A digest of each table of ``run`` by kind, its column names and values: the same for a copied table."""
    found = {}
    for kind in sorted(run.tables):
        digest = hashlib.sha256()
        for column, values in run.tables[kind].items():
            digest.update(f"\0{column}\0".encode())
            digest.update(np.asarray(values, dtype=np.float64).tobytes())
        found[kind] = digest.hexdigest()
    return found


def tables_fingerprint(digests: Mapping[str, str]) -> str:
    """One digest of every table (``digests`` by kind, see :func:`table_fingerprints`): the same for a copied run."""
    whole = hashlib.sha256()
    for kind, digest in sorted(digests.items()):
        whole.update(f"\0{kind}\0{digest}".encode())
    return whole.hexdigest()
