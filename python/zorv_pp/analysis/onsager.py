"""The Onsager coefficients of a run, and the curves combined from them: the Maxwell–Stefan diffusivity of a
binary mixture and, with charges, the electrical conductivity."""

from __future__ import annotations

import bisect
import math
from collections.abc import Mapping, Sequence

from .. import properties
from ..errors import RunError
from ..run import split_pair
from .curve_fit import CurveFit, NoiseScale
from .fitter import RunFitter
from .keys import Key, pair_key
from .record import ValueRecord


def fit_onsager(fitter: RunFitter, charges: Mapping[str, float] | None) -> None:
    """Onsager coefficients, then the Maxwell–Stefan diffusivity and the conductivity from combined curves."""
    run = fitter.run
    onsager = properties.get("onsager")
    assert onsager.table is not None and onsager.column is not None
    if onsager.table not in run.tables:
        return
    columns = _pair_columns(fitter, onsager.table, onsager.column)
    everyone = fitter.conditions()
    time = next(iter(run.tables[onsager.table].values()))
    levels: dict[tuple[str, str], float] = {}
    starts: dict[tuple[str, str], float] = {}
    widened: set[tuple[str, str]] = set()  # diagonals whose error was widened for their start
    # Diagonal curves are squared displacements with a range of their own, searched no earlier than their
    # species' self-diffusion starts (and from there with the stricter comparisons such an anchor allows):
    # three walkers cannot see a bend that hundreds of molecules show. A cross curve, which may be small or
    # negative, is fitted over the later of its diagonals' ranges, and its noise follows from both
    # diagonals' levels and itself (Isserlis). A range taken from a fit still bending at the horizon is
    # one too.
    for key in sorted(columns, key=lambda k: k[0] != k[1]):
        first, second = key
        scale: NoiseScale = None
        start_at = None
        earliest = _self_start(fitter, first)
        anchors: tuple[Key, ...] = (("self_diffusion_pbc", first),)
        if first != second:
            start_at = max(starts.get((first, first), 0.0), starts.get((second, second), 0.0))
            b11, b22 = (
                levels[d] if d in levels else _chord(time, columns.get(d), start_at)
                for d in ((first, first), (second, second))
            )
            scale = lambda cross, b11=b11, b22=b22: (b11 * b22 + cross * cross) / 2.0  # noqa: E731
            anchors = (("onsager", (first, first)), ("onsager", (second, second)))
        found = fitter.fit(
            onsager,
            key,
            f"{first}-{second}",
            columns[key],
            everyone,
            scale,
            start_at,
            earliest,
            anchored=True,
            anchors=anchors,
            widen_cross=bool(widened & {(first, first), (second, second)}),
        )
        if first == second and math.isfinite(found.slope):
            levels[key] = _level(found, time, columns[key])
        if found.t_fit:
            starts[key] = found.t_fit[0]
        if first == second and found.widened > 0.0:
            widened.add(key)
    names = sorted({name for pair in columns for name in pair})
    if not names:
        return
    earliest = _latest(*starts.values())
    # The combined curves start no earlier than the latest coefficient's range.
    anchors = tuple(("onsager", key) for key in starts)
    if len(names) == 2 and all(pair_key(a, b) in columns for a in names for b in names):
        first, second = names
        n1, n2 = run.counts[first], run.counts[second]
        x1, x2 = n1 / (n1 + n2), n2 / (n1 + n2)
        combined = _combine({(first, first): x2 / x1, (second, second): x1 / x2, (first, second): -2.0}, columns)
        fitter.fit(
            properties.get("maxwell_stefan"),
            (first, second),
            f"{first}-{second}",
            combined,
            everyone,
            earliest=earliest,
            anchored=True,
            anchors=anchors,
        )
    if charges is not None and all(name in charges for name in names):
        _conductivity(fitter, charges, names, columns, earliest, list(starts))


def _level(found: CurveFit, time: Sequence[float], values: Sequence[float]) -> float:
    """A diagonal's noise root as its cross terms see it: the larger of its slope and of its chord m(t)/t to
    its start. A row's noise follows the curve's level, and three walkers' slope can come out low: weighed
    by the diagonals' slopes alone, the cross terms of simulated runs held their truth in 93-95 % of runs."""
    start = found.t_fit[0] if found.t_fit else math.nan
    if not start > 0.0:
        return abs(found.slope)
    return max(abs(found.slope), _chord(time, values, start))


def _chord(time: Sequence[float], values: Sequence[float] | None, start: float) -> float:
    """A column's chord m(t)/t at its first row at or after ``start`` with t > 0 (0 past its rows): the level
    of a diagonal with no slope of its own, which its cross terms' noise still follows."""
    if values is None:
        return math.nan
    row = bisect.bisect_left(time, start * (1.0 - 1e-9))
    while row < len(time) and not time[row] > 0.0:
        row += 1
    return abs(values[row] / time[row]) if row < len(values) else 0.0


def _self_start(fitter: RunFitter, species: str) -> float | None:
    """Where ``species``' self-diffusion fit starts, in the file's time unit; None without one."""
    record = fitter.records.get(("self_diffusion_pbc", species))
    start = math.nan if record is None else record.start
    return start / fitter.run.units.time if math.isfinite(start) else None


def _pair_columns(fitter: RunFitter, table: str, prefix: str) -> dict[tuple[str, str], Sequence[float]]:
    run = fitter.run
    columns: dict[tuple[str, str], Sequence[float]] = {}
    for column, values in run.tables[table].items():
        if column.startswith(prefix):
            first, second = split_pair(column[len(prefix) :], set(run.counts))
            key = pair_key(first, second)
            if key in columns:
                raise RunError(run.path, run.files[table], f"the pair {first}-{second} appears twice")
            columns[key] = values
    return columns


def _conductivity(
    fitter: RunFitter,
    charges: Mapping[str, float],
    names: Sequence[str],
    columns: Mapping[tuple[str, str], Sequence[float]],
    earliest: float | None,
    ranged: Sequence[tuple[str, str]],
) -> None:
    """σ fitted on the charge-weighted sum Σ qᵢqⱼ MSDᵢⱼ, the MSD of the charge displacement, no earlier
    than ``earliest``; ``ranged`` are the pairs whose fitted ranges set it."""
    key = ("electrical_conductivity", None)
    weights = {(a, b): charges[a] * charges[b] * (1.0 if a == b else 2.0) for a, b in columns}
    if all(charges[name] == 0.0 for name in names):
        # Neutral species: the charge displacement is zero at every lag, so σ is zero exactly.
        fitter.records[key] = ValueRecord(0.0, 0.0)
    elif all(pair_key(a, b) in columns for a in names for b in names if charges[a] * charges[b] != 0.0):
        # A neutral species' curves are not in the charge displacement: their bends are not its bends.
        charged = tuple(("onsager", pair) for pair in ranged if weights.get(pair, 0.0) != 0.0)
        fitter.fit(
            properties.get("electrical_conductivity"),
            None,
            "charge",
            _combine(weights, columns),
            fitter.conditions(),
            earliest=earliest,
            anchored=True,
            anchors=charged,
        )


def _latest(*times: float | None) -> float | None:
    """The latest of the finite ``times``, or None."""
    found = [t for t in times if t is not None and math.isfinite(t)]
    return max(found) if found else None


def _combine(
    weights: Mapping[tuple[str, str], float], columns: Mapping[tuple[str, str], Sequence[float]]
) -> list[float]:
    """Σ weight × column, row by row, over the weighted columns."""
    used = [(w, columns[key]) for key, w in weights.items() if w != 0.0]
    return [math.fsum(w * column[row] for w, column in used) for row in range(len(used[0][1]))]
