"""The ``ordern.log`` a sampling after the run writes beside its tables.

Its first line is ``zorv_pp order-n sampling after the run``; each other line
is ``key: value``. The keys read are ``units`` (real, metal or lj: the style
the tables are written in), ``species`` (``name count, ...``), ``frames``
(``used (every Nth of read)``), ``sampling KIND`` (``interval Δ0 nbe NBE
blocks NB run_length T``, times in the style's unit) and the state's means
``mean pressure``, ``temperature`` and ``volume`` (a number, then its origin
in parentheses); ``source`` and ``engine units`` are free text. Other keys
are left for later writers; a line the reader cannot take raises
:class:`RunError` naming the file, the line and what was expected.
"""

from __future__ import annotations

import math
import re
from dataclasses import dataclass, field
from pathlib import Path

from ...errors import RunError
from ..sampling import SAMPLED_TABLES, Sampling

LOG_NAME = "ordern.log"
HEADER = "zorv_pp order-n sampling after the run"
STYLES = ("real", "metal", "lj")

_NUMBER = r"([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)"
_SAMPLING = re.compile(rf"interval {_NUMBER} nbe (\d+) blocks (\d+) run_length {_NUMBER}")
_FRAMES = re.compile(r"(\d+) \(every (\d+)(?:st|nd|rd|th) of (\d+)\)")
_MEAN = re.compile(rf"{_NUMBER}(?: \((.*)\))?")
_SPECIES = re.compile(r"(\S+) (\d+)")


@dataclass
class OrdernLog:
    """What an ``ordern.log`` says; each fact None (or empty) when the log leaves it out."""

    units: str | None = None
    species: dict[str, int] = field(default_factory=dict)
    frames: tuple[int, int, int] | None = None
    """Frames used, the stride, and frames read."""
    sampling: dict[str, Sampling] = field(default_factory=dict)
    pressure: float | None = None
    temperature: float | None = None
    volume: float | None = None


def read_ordern_log(folder: Path) -> OrdernLog:
    """Read ``folder``/ordern.log; RunError when it cannot be read or a line is malformed."""
    try:
        lines = (folder / LOG_NAME).read_text(encoding="utf-8", errors="replace").splitlines()
    except OSError as error:
        raise RunError(folder, LOG_NAME, str(error)) from None
    if not lines or lines[0].strip() != HEADER:
        raise _Malformed(repr(HEADER)).error(folder, 1, lines[0] if lines else "")
    log = OrdernLog()
    for number, line in enumerate(lines[1:], start=2):
        if not line.strip():
            continue
        key, colon, value = line.partition(":")
        try:
            if not colon:
                raise _Malformed("'key: value'")
            _take(log, " ".join(key.split()), " ".join(value.split()))
        except _Malformed as malformed:
            raise malformed.error(folder, number, line) from None
    return log


class _Malformed(Exception):
    """A line that is not what its key needs; ``expected`` says what would be."""

    def __init__(self, expected: str) -> None:
        super().__init__(expected)
        self.expected = expected

    def error(self, folder: Path, number: int, line: str) -> RunError:
        return RunError(folder, LOG_NAME, f"line {number}: expected {self.expected}, not {line.strip()!r}")


def _take(log: OrdernLog, key: str, value: str) -> None:
    """Set the fact of one ``key: value`` line; keys the reader does not know are left alone."""
    if key == "units":
        if value not in STYLES:
            raise _Malformed(f"'units: ' and one of {', '.join(STYLES)}")
        log.units = value
    elif key == "species":
        log.species = _species(value)
    elif key == "frames":
        found = _FRAMES.fullmatch(value)
        if found is None:
            raise _Malformed("'frames: USED (every Nth of READ)'")
        log.frames = (int(found[1]), int(found[2]), int(found[3]))
    elif key.startswith("sampling "):
        log.sampling[_kind(key)] = _sampling(value)
    elif key == "mean pressure":
        log.pressure = _mean(value, "'mean pressure: VALUE (ORIGIN)'", positive=False)
    elif key in ("temperature", "volume"):
        setattr(log, key, _mean(value, f"'{key}: MEAN (ORIGIN)' with a positive mean", positive=True))


def _species(value: str) -> dict[str, int]:
    species: dict[str, int] = {}
    for part in value.split(","):
        found = _SPECIES.fullmatch(part.strip())
        if found is None or int(found[2]) <= 0 or found[1] in species:
            raise _Malformed("'species: NAME COUNT, NAME COUNT, ...', each name once with a positive count")
        species[found[1]] = int(found[2])
    return species


def _kind(key: str) -> str:
    kind = key.removeprefix("sampling ")
    if kind not in SAMPLED_TABLES:
        raise _Malformed(f"'sampling KIND:' with KIND one of {', '.join(SAMPLED_TABLES)}")
    return kind


def _sampling(value: str) -> Sampling:
    found = _SAMPLING.fullmatch(value)
    expected = "'interval DT nbe NBE blocks NB run_length T', DT and T positive, NBE at least 2, NB at least 1"
    if found is None:
        raise _Malformed(expected)
    interval, nbe, blocks, run_length = float(found[1]), int(found[2]), int(found[3]), float(found[4])
    if not (interval > 0.0 and run_length > 0.0 and math.isfinite(run_length) and nbe >= 2 and blocks >= 1):
        raise _Malformed(expected)
    return Sampling(interval=interval, nbe=nbe, run_length=run_length, blocks=blocks)


def _mean(value: str, expected: str, positive: bool) -> float:
    found = _MEAN.fullmatch(value)
    mean = float(found[1]) if found else math.nan
    if not math.isfinite(mean) or (positive and mean <= 0.0):
        raise _Malformed(expected)
    return mean
