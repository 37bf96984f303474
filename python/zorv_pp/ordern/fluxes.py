"""The pressure tensor and heat flux of a series file: which columns they are, their sampling interval, and
their order-n sums.

LAMMPS names the six values of a ``compute pressure`` ``c_ID[1]``..``c_ID[6]``
(xx, yy, zz, xy, xz, yz), or the input names variables ``v_pxx``..; GROMACS's
``gmx energy`` legends are ``Pres-XX``... A ``compute heat/flux`` gives three
(or six) values ``c_ID[1..3]`` in energy × velocity, the flux times the volume;
GROMACS writes none.
"""

from __future__ import annotations

import re
from collections.abc import Sequence
from dataclasses import dataclass

import numpy as np

from .accumulate import FloatArray, FluxOrderN
from .errors import SourceError

AXES = ("xx", "yy", "zz", "xy", "xz", "yz")
GROMACS_PRESSURE = tuple(f"Pres-{a.upper()}" for a in AXES)
_INDEXED = re.compile(r"^(c_.+)\[(\d+)\]$")
#: Relative spread of the spacing of a GROMACS series' times (xvg keeps few digits).
SPACING_TOLERANCE = 1e-4


def _indexed_groups(names: Sequence[str], size: int) -> dict[str, tuple[str, ...]]:
    """Computes whose values 1..size are all columns: their id and those columns."""
    found: dict[str, set[int]] = {}
    for name in names:
        match = _INDEXED.match(name)
        if match:
            found.setdefault(match[1], set()).add(int(match[2]))
    return {
        prefix: tuple(f"{prefix}[{i}]" for i in range(1, size + 1))
        for prefix, indices in found.items()
        if set(range(1, size + 1)) <= indices
    }


def named_columns(names: Sequence[str], wanted: Sequence[str]) -> tuple[str, ...] | None:
    """The columns whose names are ``wanted`` (any case, with or without LAMMPS's ``v_``), in that order."""
    by_key = {name.lower().removeprefix("v_"): name for name in names}
    columns = [by_key.get(w.lower()) for w in wanted]
    return tuple(c for c in columns if c is not None) if all(columns) else None


def _one(what: str, candidates: list[tuple[str, ...]], names: Sequence[str], option: str) -> tuple[str, ...]:
    unique = list(dict.fromkeys(candidates))
    if len(unique) == 1:
        return unique[0]
    listed = "; ".join(", ".join(c) for c in unique) if unique else ", ".join(names[1:])
    why = f"several column sets could be the {what} ({listed})" if unique else f"no column is the {what} ({listed})"
    raise SourceError(f"{why}: name its columns with {option}")


def pressure_columns(names: Sequence[str], given: Sequence[str] | None = None) -> tuple[str, ...]:
    """The xx, yy, zz, xy, xz, yz pressure columns: ``given``, else found by their names."""
    if given:
        return _given("pressure", names, given, 6)
    named = named_columns(names, GROMACS_PRESSURE) or named_columns(names, [f"p{a}" for a in AXES])
    if named:
        return named
    groups = _indexed_groups(names, 6)
    if len(groups) > 1:  # a heat/flux compute has six values too: the pressure is the one named so
        groups = {k: v for k, v in groups.items() if "press" in k.lower()} or groups
    return _one("pressure tensor", list(groups.values()), names, "the pressure column names (six, xx yy zz xy xz yz)")


def heat_columns(names: Sequence[str], given: Sequence[str] | None = None) -> tuple[str, ...]:
    """The x, y, z heat-flux columns (energy × velocity): ``given``, else found by their names."""
    if given:
        return _given("heat flux", names, given, 3)
    named = named_columns(names, ["jx", "jy", "jz"])
    if named:
        return named
    groups = {k: v for k, v in _indexed_groups(names, 3).items() if "press" not in k.lower()}
    if len(groups) > 1:
        groups = {k: v for k, v in groups.items() if re.search("flux|heat|j", k, re.I)} or groups
    return _one("heat flux", list(groups.values()), names, "the heat-flux column names (three, x y z)")


def _given(what: str, names: Sequence[str], given: Sequence[str], size: int) -> tuple[str, ...]:
    if len(given) != size:
        raise SourceError(f"the {what} needs {size} column names, not {len(given)}")
    missing = [g for g in given if g not in names]
    if missing:
        raise SourceError(f"no column {missing[0]!r} for the {what}; the file's columns are {', '.join(names[1:])}")
    return tuple(given)


@dataclass(frozen=True)
class Spacing:
    """A series' sampling: ``interval`` between rows in the style's time unit, and the rows' times."""

    interval: float
    times: FloatArray


def spacing(time: FloatArray, to_time: float, exact: bool, what: str) -> Spacing:
    """The equal spacing of ``time`` (steps when ``exact``, converted by ``to_time``); refuses another."""
    if time.size < 2:
        raise SourceError(f"the {what} has {time.size} row(s): order-n needs at least two")
    steps = np.diff(time)
    first = float(steps[0])
    slack = 0.0 if exact else SPACING_TOLERANCE * abs(first)
    bad = np.flatnonzero(np.abs(steps - first) > slack)
    if not first > 0.0 or bad.size:
        row = int(bad[0]) + 2 if bad.size else 2
        raise SourceError(
            f"the {what}'s rows are not equally spaced in time (row {row}): order-n needs one run sampled at "
            f"one interval"
        )
    return Spacing(rounded(first * to_time), time * to_time)


def rounded(interval: float, digits: int = 9) -> float:
    """An interval read from times, to the digits a decimal setting has: the difference of two times carries
    the noise of their arithmetic, or of float32 storage (7 digits) in XTC, TRR and DCD files."""
    return float(f"{interval:.{digits}g}")


def pressure_sums(
    columns: Sequence[FloatArray], nb: int, nbe: int, interval: float, mean_pressure: float | None
) -> tuple[FluxOrderN, float]:
    """The pressure tensor's order-n accumulator and the mean pressure subtracted (the run's own when None)."""
    tensor = np.column_stack(columns).astype(np.float64)
    if mean_pressure is None:
        mean_pressure = float(np.mean((tensor[:, 0] + tensor[:, 1] + tensor[:, 2]) / 3.0))
    accumulator = FluxOrderN.pressure(nb, nbe, interval, mean_pressure)
    accumulator.add(tensor)
    return accumulator, mean_pressure


def heat_sums(columns: Sequence[FloatArray], nb: int, nbe: int, interval: float) -> FluxOrderN:
    accumulator = FluxOrderN.heat(nb, nbe, interval)
    accumulator.add(np.column_stack(columns).astype(np.float64))
    return accumulator
