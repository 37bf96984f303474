"""The lines of ordern.log: what was read, in which units, and how each table was sampled.

Numbers are written bare (the unit is the style's, named by ``units``), each
followed by where it came from in parentheses; sampling times are in the
style's time unit, ``run_length`` the time from the first frame used to the
last, as :class:`zorv_pp.run.sampling.Sampling` takes it.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any

from ..units import UnitStyle
from .conditions import Conditions
from .diffusion import TrajectorySums
from .flux_tables import FluxTables, SeriesUnits
from .run_files import sampling_line
from .trajectory import Opened


class Entries:
    """The log's entries, gathered as the folder is written."""

    def __init__(self) -> None:
        self.sources: list[str] = []
        self.engine_units: list[str] = []
        self.main: dict[str, str] = {}
        self.extra: list[tuple[str, str]] = []

    def trajectory(self, source: str, opened: Opened, sums: TrajectorySums, every: int) -> None:
        self.sources.append(source)
        self.engine_units.append(f"trajectory {opened.engine_units}")
        self.main["species"] = ", ".join(f"{name} {count}" for name, count in sums.counts.items())
        self.main["frames"] = f"{sums.frames_used} (every {_ordinal(every)} of {sums.frames_read})"
        for table in ("diffself", "diffonsag"):
            self.main[f"sampling {table}"] = sampling_line(sums.sampling)
        self.extra += [("note", note) for note in opened.notes]

    def series(self, series: Mapping[str, Any], units: SeriesUnits, fluxes: FluxTables) -> None:
        for what, columns in fluxes.columns.items():
            one = series["pressure" if what == "pressure" else "heat"]
            kind = " (energy × velocity, the flux times the volume)" if what == "heat flux" else ""
            self.sources.append(f"{what} series {one.path} columns {' '.join(columns)}{kind}")
        # Said per kind of file: the trajectory's and the series' units are different lists.
        if f"series {units.text}" not in self.engine_units:
            self.engine_units.append(f"series {units.text}")
        for table, sampling in fluxes.sampling.items():
            self.main[f"sampling {table}"] = sampling_line(sampling)
        if fluxes.mean_pressure is not None:
            value, source = fluxes.mean_pressure
            self.main["mean pressure"] = f"{float(value)!r} ({source})"
        self.extra += [("warning", f"{w.file}: {w.message}") for one in series.values() for w in one.warnings]

    def finish(
        self, style: UnitStyle, conditions: Conditions, notes: Sequence[tuple[str, str]]
    ) -> list[tuple[str, str]]:
        """Every entry in the log's order: the fixed keys first, then the notes."""
        main = dict(self.main)
        for name, condition in (("temperature", conditions.temperature), ("volume", conditions.volume)):
            if condition is not None:
                main[name] = f"{float(condition.mean)!r} ({condition.source})"
        order = [
            "species",
            "frames",
            *(f"sampling {t}" for t in ("diffself", "diffonsag", "viscosity", "tconductivity")),
            "mean pressure",
            "temperature",
            "volume",
        ]
        return [
            ("source", "; ".join(self.sources)),
            ("units", style.name),
            ("engine units", "; ".join(self.engine_units)),
            *((key, main[key]) for key in order if key in main),
            *notes,
            *self.extra,
        ]


def _ordinal(n: int) -> str:
    """1st, 2nd, 3rd, 4th, 11th, 12th, 13th, 21st ..."""
    last = "th" if n % 100 in (11, 12, 13) else {1: "st", 2: "nd", 3: "rd"}.get(n % 10, "th")
    return f"{n}{last}"
