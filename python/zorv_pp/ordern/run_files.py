"""The files beside the tables: volume.dat and temperature.dat as a LAMMPS ``fix ave/time`` writes them
(block averages), and ordern.log, which says how the tables were sampled."""

from __future__ import annotations

import math
from collections.abc import Sequence
from pathlib import Path

from ..run.sampling import Sampling

MAX_ROWS = 1000
"""Rows of a series file at most: frames are averaged in blocks of as many as that takes."""
LOG_TITLE = "zorv_pp order-n sampling after the run"


class BlockAverages:
    """Block averages of a value over frames, ``block`` frames each (the last block may be shorter), and the
    mean of all of them."""

    def __init__(self, block: int) -> None:
        self.block = max(1, block)
        self.rows: list[tuple[float, float]] = []
        self._sum, self._count = 0.0, 0
        self._total, self.frames = 0.0, 0

    def add(self, time: float, value: float) -> None:
        self._sum += value
        self._count += 1
        self._total += value
        self.frames += 1
        if self._count == self.block:
            self._close(time)
        self._time = time

    def _close(self, time: float) -> None:
        self.rows.append((time, self._sum / self._count))
        self._sum, self._count = 0.0, 0

    def finish(self) -> BlockAverages:
        if self._count:
            self._close(self._time)
        return self

    @property
    def mean(self) -> float:
        return self._total / self.frames if self.frames else math.nan

    @classmethod
    def of(cls, frames: int) -> BlockAverages:
        return cls(-(-frames // MAX_ROWS))


def write_series(path: Path, name: str, rows: Sequence[tuple[float, float]], time_unit: str) -> None:
    """``rows`` of (time at a block's end, block average) in the layout of a fix ave/time file."""
    lines = [
        f"# Time-averaged data for fix {name} (first column: the time in {time_unit} at each block's end)",
        f"# TimeStep v_{name}",
        # Python floats: numpy 2 scalars would write their type into the file.
        *(f"{float(time)!r} {float(value)!r}" for time, value in rows),
    ]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def sampling_line(sampling: Sampling) -> str:
    return (
        f"interval {float(sampling.interval)!r} nbe {sampling.nbe} blocks {sampling.blocks} "
        f"run_length {float(sampling.run_length)!r}"
    )


def write_log(path: Path, entries: Sequence[tuple[str, str]]) -> None:
    """ordern.log: the title, then a ``key: value`` line per entry."""
    path.write_text("\n".join([LOG_TITLE, *(f"{key}: {value}" for key, value in entries)]) + "\n", encoding="utf-8")
