"""The tables of a run folder, read by the native readers with their damage made visible.

``_zorv_analysis.read_table`` gives the rows ``_zorv_pp``'s readers give, as
contiguous float64 arrays, less a last line cut mid-write, and in the same pass
the lines it stepped over, the header's repeats and the values that are not
finite. The time series (temperature, volume, density) are summarised by
``summarize_column`` without building a column at all.
"""

from __future__ import annotations

import math
import os
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any, cast

import numpy as np

import _zorv_analysis

from ..diagnostics import RunWarning
from ..errors import RunError
from .sampling import Sampling

# The columns are read-only float64 arrays lent by the native reader; typed as
# the sequences of floats every consumer takes them as.
Table = dict[str, Sequence[float]]

#: File names of each table kind, the first one present is read.
TABLE_FILES: dict[str, tuple[str, ...]] = {
    "diffself": ("diffself.dat",),
    "diffonsag": ("diffonsag.dat",),
    "viscosity": ("viscosity.dat",),
    "tconductivity": ("tconductivity.dat", "thermconductivity.dat"),
    "rdf": ("rdf.dat",),
}

#: The layouts of the native readers: a transport table (header the last "#Time" line) and a fix ave/time series.
ZORV = "transport"
THERMO = "thermo"


def first_file(folder: Path, names: tuple[str, ...], patterns: tuple[str, ...] = ()) -> Path | None:
    """The first of ``names`` in ``folder``, else the first match of ``patterns``."""
    for name in names:
        if (folder / name).is_file():
            return folder / name
    for pattern in patterns:
        found = sorted(p for p in folder.glob(pattern) if p.is_file())
        if found:
            return found[0]
    return None


def _is_blank(file: Path) -> bool:
    try:
        return file.read_bytes().isspace() or file.stat().st_size == 0
    except OSError:
        return False


def read_table(folder: Path, file: Path, layout: str, warnings: list[RunWarning]) -> Table:
    """The columns of ``file``, less a partial last row and a restart's repeated rows; its damage appended to
    ``warnings``.

    An empty file reads as a table without columns.
    """
    try:
        columns, damage = _zorv_analysis.read_table(os.fspath(file), layout)
    except (OSError, ValueError) as error:
        if isinstance(error, ValueError) and _is_blank(file):
            return {}
        raise RunError(folder, file.name, str(error)) from None
    table = {name: cast(Sequence[float], np.asarray(column)) for name, column in columns.items()}
    _report_damage(file.name, damage, warnings)
    for name, count, line in damage["nonfinite"]:
        warnings.append(
            RunWarning(
                "nonfinite_values",
                file.name,
                f"column {name}: {count} value(s) are not finite, the first at line {line}; the fits leave them out",
            )
        )
    if layout == ZORV and table:
        table = last_sequence(file.name, table, damage["first_row_line"], warnings)
    return table


def _report_damage(name: str, damage: Mapping[str, Any], warnings: list[RunWarning]) -> None:
    if damage["cut_line"]:
        warnings.append(
            RunWarning(
                "partial_last_row",
                name,
                f"the file does not end with a newline, so it was "
                f"cut while being written: its last line ({damage['cut_line']}) is dropped",
            )
        )
    if damage["skipped_lines"]:
        warnings.append(
            RunWarning(
                "skipped_rows",
                name,
                f"{damage['skipped_lines']} line(s) are no row and were "
                f"skipped, the first at line {damage['first_skipped']}",
            )
        )
    if damage["headers"] > 1:
        warnings.append(
            RunWarning(
                "repeated_header",
                name,
                f"the header appears {damage['headers']} times (a "
                f"restarted run?): only the rows after the last one, at line "
                f"{damage['header_line']}, are read",
            )
        )


def last_sequence(name: str, table: Table, first_line: int, warnings: list[RunWarning]) -> Table:
    """The table from the start of its last complete run of increasing times.

    A run restarted into the same file writes its rows again: the first
    column falls back. Each fall starts a new sequence; the last of the
    longest sequences is kept (a restart that was itself cut leaves an
    earlier, complete one), with a ``repeated_rows`` warning. Equal times in a
    row are an order-n block boundary, not a restart.
    """
    time = np.asarray(next(iter(table.values())))
    falls = np.flatnonzero(time[1:] < time[:-1]) + 1
    if falls.size == 0:
        return table
    bounds = np.concatenate(([0], falls, [time.size]))
    lengths = np.diff(bounds)
    best = int(np.flatnonzero(lengths == lengths.max())[-1])
    start, stop = int(bounds[best]), int(bounds[best + 1])
    where = f"rows {start + 1}-{stop}" + (f" (from line {first_line + start})" if first_line else "")
    warnings.append(
        RunWarning(
            "repeated_rows",
            name,
            f"the times fall back {falls.size} time(s), as when a "
            f"restarted run writes its rows again: {len(bounds) - 1} sequences, of which "
            f"the last complete one, {where}, is kept",
        )
    )
    return {column: values[start:stop] for column, values in table.items()}


def rows_of(table: Table) -> int:
    """The number of rows of a table."""
    return len(next(iter(table.values()))) if table else 0


def expected_rows(sampling: Sampling) -> int:
    """Rows an order-n table of this sampling holds at the end of its run.

    Every block writes the lags that have at least one time origin: element e
    of block b has origins(b, 1) - e + 1 of them, so the block writes
    min(nbe, origins(b, 1)) rows. A block at a time, never a row at a time.
    """
    rows = 0
    block = 0
    while sampling.blocks is None or block < sampling.blocks:
        written = min(sampling.nbe, sampling.origins(block, 1))
        if written <= 0:
            break
        rows += written
        block += 1
    return rows


def column_mean(folder: Path, file: Path, warnings: list[RunWarning]) -> tuple[float, int] | None:
    """Mean and count of the finite values of the second column of a time series, None when it has none.

    The series is summarised in one native pass; no column is built.
    """
    try:
        summary = _zorv_analysis.summarize_column(os.fspath(file), 1, THERMO)
    except (OSError, ValueError) as error:
        if isinstance(error, ValueError) and _is_blank(file):
            return None
        raise RunError(folder, file.name, str(error)) from None
    _report_damage(file.name, summary["damage"], warnings)
    rows, count, mean = summary["rows"], summary["count"], summary["mean"]
    if rows == 0 or count == 0 or not math.isfinite(mean):
        return None
    if count < rows:
        first = summary["damage"]["nonfinite"][0][2]
        warnings.append(
            RunWarning(
                "nonfinite_values",
                file.name,
                f"{rows - count} of {rows} values are not "
                f"finite (the first at line {first}) and were left out of the mean",
            )
        )
    return float(mean), int(count)
