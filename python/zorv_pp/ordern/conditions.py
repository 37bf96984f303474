"""The run's volume and temperature: given, else from the trajectory (boxes, velocities), else from a series'
columns; written as volume.dat and temperature.dat."""

from __future__ import annotations

import math
from collections.abc import Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np

from ..units import UnitStyle
from .diffusion import TrajectorySums
from .errors import SourceError
from .flux_tables import NM3, TEMPERATURE_NAMES, VOLUME_NAMES, SeriesUnits
from .fluxes import named_columns
from .run_files import BlockAverages, write_series

KINETIC = (
    "kinetic, from the trajectory's velocities with 3N-3 degrees of freedom; constraints are not counted, "
    "give the engine's temperature if the run had any"
)


@dataclass
class Condition:
    """A value's block averages and where they came from."""

    averages: BlockAverages
    source: str

    @property
    def mean(self) -> float:
        return self.averages.mean


def _given(value: float | None, what: str) -> Condition | None:
    if value is None:
        return None
    if not (isinstance(value, (int, float)) and math.isfinite(value) and value > 0.0):
        raise SourceError(f"the {what} must be a positive number, not {value!r}")
    averages = BlockAverages(1)
    averages.add(0.0, float(value))
    return Condition(averages.finish(), "given")


def _from_series(series: Any, names: Sequence[str], scale: float, units: SeriesUnits) -> Condition | None:
    for name in names:
        found = named_columns(series.names[1:], [name])
        if found:
            values = np.asarray(series.columns[found[0]], dtype=np.float64) * scale
            averages = BlockAverages.of(values.size)
            for time, value in zip(np.asarray(series.time) * units.to_time, values):
                averages.add(float(time), float(value))
            converted = f", nm³ × {scale:g} to Å³" if scale != 1.0 else ""
            return Condition(averages.finish(), f"{series.path.name} column {found[0]}{converted}")
    return None


class Conditions:
    """Volume (the style's volume unit) and temperature (K, reduced for lj) of the folder being written.

    The volume is the one given, else the trajectory's boxes, else a series' Volume column. The temperature is
    the one given, else the engine's own (a series' Temperature column), else the kinetic temperature of the
    trajectory's velocities: the engine counts the constraints (rigid water, bonds to hydrogen) that a
    trajectory does not show.
    """

    def __init__(self, sums: TrajectorySums | None, temperature: float | None, volume: float | None) -> None:
        self.volume = _given(volume, "volume")
        self._temperature = _given(temperature, "temperature")
        self._kinetic = None
        if sums is not None:
            self.volume = self.volume or Condition(sums.volume, "the trajectory's boxes")
            if sums.temperature is not None:
                self._kinetic = Condition(sums.temperature, KINETIC)

    @property
    def temperature(self) -> Condition | None:
        return self._temperature or self._kinetic

    def add_series(self, series: Sequence[Any], units: SeriesUnits) -> None:
        """Fill what is still unknown from the series' Volume and Temperature columns (a series of one column
        given for the temperature is taken whatever its name)."""
        for one in series:
            scale = NM3 if one.engine == "gromacs" else 1.0
            self.volume = self.volume or _from_series(one, VOLUME_NAMES, scale, units)
            self._temperature = self._temperature or _from_series(one, TEMPERATURE_NAMES, 1.0, units)

    def add_temperature_series(self, series: Any, units: SeriesUnits) -> None:
        if self._temperature is not None:
            raise SourceError("give the temperature once: a number or a series file")
        names = TEMPERATURE_NAMES + ((series.names[1],) if len(series.names) == 2 else ())
        self._temperature = _from_series(series, names, 1.0, units)
        if self._temperature is None:
            raise SourceError(f"{series.path.name} has no temperature column ({', '.join(series.names[1:])})")

    def required_volume(self) -> float:
        if self.volume is None:
            raise SourceError(
                "the flux tables need the volume: give a trajectory, a series with a Volume column, or the volume"
            )
        return self.volume.mean

    def write(self, folder: Path, style: UnitStyle) -> None:
        for name, condition in (("volume", self.volume), ("temperature", self.temperature)):
            if condition is not None:
                write_series(folder / f"{name}.dat", name, condition.averages.rows, style.time_name)
