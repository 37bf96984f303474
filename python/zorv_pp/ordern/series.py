"""Pressure-tensor and heat-flux series as any MD engine writes them, read by the native readers.

Two formats are told apart by their content: a LAMMPS ``fix ave/time`` file
(title ``# Time-averaged data for fix ID``, a comment naming the columns, then
one row per step; in vector mode a block of indexed rows per step, read as a
column ``v[r]`` per vector and row) and a GROMACS ``gmx energy`` xvg file (``#``
comments, ``@`` settings whose ``sN legend`` lines name the sets, then rows of a
time and one value per set). The damage a reader steps over is reported as the
run tables report it.
"""

from __future__ import annotations

import os
from collections.abc import Mapping
from dataclasses import dataclass
from pathlib import Path
from typing import Any, cast

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from ..diagnostics import RunWarning
from ..errors import RunError
from ..run.tables import Table, last_sequence

FloatArray = npt.NDArray[np.float64]

#: The first comment of a LAMMPS fix ave/time file.
AVE_TIME_TITLE = "# Time-averaged data for fix"
#: Bytes looked at to tell the format: every header of either format fits.
_HEAD_BYTES = 1 << 16


@dataclass(frozen=True)
class Series:
    """A series file's columns in file order, the step or time first under its own name.

    The columns are read-only float64 arrays lent by the native reader.
    ``engine`` is ``"lammps"`` or ``"gromacs"``; ``time_name`` is ``"TimeStep"``
    or ``"Time"``; ``units`` holds what the file states (nothing for LAMMPS, the
    axis labels' units for xvg).
    """

    path: Path
    engine: str
    names: tuple[str, ...]
    columns: Mapping[str, FloatArray]
    time_name: str
    units: Mapping[str, str]
    warnings: tuple[RunWarning, ...]

    @property
    def time(self) -> FloatArray:
        return self.columns[self.time_name]


def _format_of(path: Path) -> str:
    try:
        with path.open("rb") as file:
            head = file.read(_HEAD_BYTES).decode("utf-8", "replace")
    except OSError as error:
        raise RunError(path.parent, path.name, error.strerror or str(error)) from None
    lines = [line.lstrip() for line in head.splitlines()]
    if path.suffix.lower() == ".xvg" or any(line.startswith("@") for line in lines):
        return "xvg"
    if any(line.startswith(AVE_TIME_TITLE) for line in lines):
        return "lammps"
    raise RunError(
        path.parent,
        path.name,
        "neither a LAMMPS fix ave/time file (no '# Time-averaged data for fix' title) "
        "nor a GROMACS xvg file (no '@' lines, no .xvg suffix)",
    )


def _unique(names: list[str]) -> list[str]:
    """Names made distinct: a repeated one gets ``.2``, ``.3``… so every column keeps its values."""
    seen: dict[str, int] = {}
    out = []
    for name in names:
        seen[name] = seen.get(name, 0) + 1
        out.append(name if seen[name] == 1 else f"{name}.{seen[name]}")
    return out


def _damage_warnings(name: str, read: Mapping[str, Any]) -> list[RunWarning]:
    damage = read["damage"]
    found: list[RunWarning] = []
    if damage["cut_line"]:
        found.append(
            RunWarning(
                "partial_last_row",
                name,
                f"the file does not end with a newline, so it was cut while being written: "
                f"its last line ({damage['cut_line']}) is dropped",
            )
        )
    if damage["skipped_lines"]:
        found.append(
            RunWarning(
                "skipped_rows",
                name,
                f"{damage['skipped_lines']} line(s) are no complete row and were skipped, "
                f"the first at line {damage['first_skipped']}",
            )
        )
    if damage["headers"] > 1:
        found.append(
            RunWarning(
                "repeated_header",
                name,
                f"the header appears {damage['headers']} times (a run appending after a restart?): "
                "the rows after each are read as one series",
            )
        )
    if read["unmatched_legends"]:
        found.append(
            RunWarning(
                "unmatched_legends",
                name,
                f"{read['unmatched_legends']} legend(s) name sets past the {len(read['names']) - 1} "
                "value column(s) of the rows and were left out",
            )
        )
    for column, count, line in damage["nonfinite"]:
        found.append(
            RunWarning(
                "nonfinite_values",
                name,
                f"column {column}: {count} value(s) are not finite, the first at line {line}",
            )
        )
    return found


def read_series(path: str | os.PathLike[str]) -> Series:
    """The series in ``path``, less a last row cut mid-write, lines that are no row, and a restart's repeated
    rows (each with a warning); :class:`RunError` naming the file when it holds no series."""
    path = Path(path)
    kind = _format_of(path)
    try:
        read = _zorv_analysis.read_series(os.fspath(path), kind)
    except (OSError, ValueError) as error:
        message = str(error).removeprefix(f"{os.fspath(path)}: ")
        raise RunError(path.parent, path.name, message) from None
    names = _unique(list(read["names"]))
    warnings = _damage_warnings(path.name, read)
    read_columns = {name: np.asarray(column) for name, column in zip(names, read["columns"], strict=True)}
    # A restarted run that wrote its rows again keeps its last complete sequence, as the run tables do.
    kept = last_sequence(path.name, cast(Table, read_columns), read["damage"]["first_row_line"], warnings)
    columns = {name: np.asarray(values, dtype=np.float64) for name, values in kept.items()}
    return Series(
        path=path,
        engine="lammps" if kind == "lammps" else "gromacs",
        names=tuple(names),
        columns=columns,
        time_name=names[0],
        units={name: unit for name, unit in zip(names, read["units"], strict=True) if unit},
        warnings=tuple(warnings),
    )
