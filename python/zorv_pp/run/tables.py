"""The tables of a run folder, read by the extension's readers with their damage made visible.

The C++ readers skip every line that is not a row and read a last line cut
mid-number as a valid row. A cheap pass over the file's bytes finds both: the
common intact file costs a newline count, and only a file whose row count
disagrees is classified line by line, with the readers' own rules.
"""
from __future__ import annotations

import math
import os
import re
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path
from typing import TypeVar

import _zorv_pp
import numpy as np

from ..diagnostics import RunWarning
from ..errors import RunError
from ..sampling import Sampling

Table = dict[str, list[float]]
_T = TypeVar("_T")

#: File names of each table kind, the first one present is read.
TABLE_FILES: dict[str, tuple[str, ...]] = {
    "diffself": ("diffself.dat",),
    "diffonsag": ("diffonsag.dat",),
    "viscosity": ("viscosity.dat",),
    "tconductivity": ("tconductivity.dat", "thermconductivity.dat"),
    "rdf": ("rdf.dat",),
}

# A number as the readers take it: a decimal with optional sign and exponent, inf, infinity or nan.
_NUMBER = re.compile(r"[+-]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|inf(?:inity)?|nan)\Z", re.IGNORECASE)
# A line that is blank or a comment: never a row, never a loss.
_NOT_DATA = re.compile(rb"^[ \t\r\f\v]*(?:#|$)", re.MULTILINE)


@dataclass(frozen=True)
class _Layout:
    """Where a reader's header is and how it reads a data line."""

    name: str
    strips_hash: bool  # parse_zorv_file removes every '#' before it reads a line

    def header_end(self, data: bytes) -> int:
        """Offset of the first byte after the header line."""
        if self.strips_hash:
            start = _last_time_header(data)
        else:  # parse_thermoprop: line 0 a title, line 1 the header
            first = data.find(b"\n")
            start = first + 1 if first >= 0 else len(data)
        end = data.find(b"\n", start)
        return len(data) if end < 0 else end + 1

    def is_row(self, line: str, columns: int) -> bool:
        tokens = (line.replace("#", "") if self.strips_hash else line).split()
        return len(tokens) >= columns > 0 and all(_NUMBER.match(token) for token in tokens[:columns])


def _last_time_header(data: bytes) -> int:
    """Start of the last line that begins with "#Time" after white space, else 0."""
    end = len(data)
    while (found := data.rfind(b"#Time", 0, end)) >= 0:
        line = data.rfind(b"\n", 0, found) + 1
        if not data[line:found].strip():
            return line
        end = found
    return 0


ZORV = _Layout("zorv", True)
THERMO = _Layout("thermo", False)


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


def call_reader(folder: Path, file: Path, reader: Callable[[str], _T]) -> _T:
    """``reader(file)``, its errors turned into a :class:`RunError` naming the file."""
    try:
        return reader(os.fspath(file))
    except (OSError, ValueError) as error:
        raise RunError(folder, file.name, str(error)) from None


def read_table(folder: Path, file: Path, layout: _Layout, warnings: list[RunWarning]) -> Table:
    """The columns of ``file``, less a partial last row; its damage appended to ``warnings``.

    An empty file reads as a table without columns.
    """
    try:
        data = file.read_bytes()
    except OSError as error:
        raise RunError(folder, file.name, str(error)) from None
    if not data or data.isspace():
        return {}
    reader = _zorv_pp.parse_zorv_file if layout.strips_hash else _zorv_pp.parse_thermoprop
    table = call_reader(folder, file, reader)
    _check_rows(file.name, data, layout, table, warnings)
    return table


def _check_rows(name: str, data: bytes, layout: _Layout, table: Table, warnings: list[RunWarning]) -> None:
    rows = rows_of(table)
    start = layout.header_end(data)
    cut = not data.endswith(b"\n") and start < len(data)
    skipped: list[int]
    last_is_row: bool
    newlines = _newlines(data, start)
    lines = newlines + (1 if cut else 0)
    if lines == rows:  # every line a row: the intact file's fast path
        skipped, last_is_row = [], cut
    else:
        candidates = newlines + 1 - len(_NOT_DATA.findall(data, start))
        if candidates == rows:
            skipped, last_is_row = [], cut and not _NOT_DATA.match(data, data.rfind(b"\n") + 1)
        else:
            skipped, last_is_row = _classify(data, start, layout, cut)
    if cut:
        line = data.count(b"\n") + 1
        if last_is_row:
            for column in table.values():
                column.pop()
        skipped = [n for n in skipped if n != line]
        warnings.append(RunWarning("partial_last_row", name, f"the file does not end with a newline, so it was "
                                   f"cut while being written: its last line ({line}) is dropped"))
    if skipped:
        warnings.append(RunWarning("skipped_rows", name, f"{len(skipped)} line(s) are no row and were skipped, "
                                   f"the first at line {skipped[0]}"))


def _newlines(data: bytes, start: int) -> int:
    if len(data) - start < 1 << 16:
        return data.count(b"\n", start)
    # Ten times faster than bytes.count on a long time series.
    return int(np.count_nonzero(np.frombuffer(data, np.uint8, offset=start) == 10))


def _classify(data: bytes, start: int, layout: _Layout, cut: bool) -> tuple[list[int], bool]:
    """Line numbers (from 1) of the data lines that are no row, and whether the last line is a row."""
    header = data[:start].decode("utf-8", "replace").split("\n")
    columns = len(header[-2].replace("#", "").split()) if len(header) >= 2 else 0
    skipped: list[int] = []
    is_row = False
    body = data[start:].decode("utf-8", "replace").split("\n")
    for number, line in enumerate(body, start=len(header)):
        is_row = layout.is_row(line, columns)
        stripped = line.strip()
        if not is_row and stripped and not stripped.startswith("#"):
            skipped.append(number)
    return skipped, cut and is_row


def rows_of(table: Table) -> int:
    """The number of rows of a table."""
    return len(next(iter(table.values()))) if table else 0


def expected_rows(sampling: Sampling) -> int:
    """Rows an order-n table of this sampling holds at the end of its run.

    Every block writes the lags that have at least one time origin.
    """
    rows = 0
    block = 0
    while sampling.blocks is None or block < sampling.blocks:
        written = sum(1 for element in range(1, sampling.nbe + 1) if sampling.origins(block, element) >= 1)
        if written == 0:
            break
        rows += written
        block += 1
    return rows


def column_mean(folder: Path, file: Path, warnings: list[RunWarning]) -> tuple[float, int] | None:
    """Mean and count of the finite values of the second column of a time series, None when it has none."""
    table = read_table(folder, file, THERMO, warnings)
    columns = list(table.values())
    if len(columns) < 2 or not columns[1]:
        return None
    mean, _, count = _zorv_pp.repacking_results(columns[1])
    if count == 0 or not math.isfinite(mean):
        return None
    if count < len(columns[1]):
        warnings.append(RunWarning("nonfinite_values", file.name, f"{len(columns[1]) - count} of "
                                   f"{len(columns[1])} values are not finite and were left out of the mean"))
    return float(mean), int(count)
