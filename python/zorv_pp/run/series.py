"""The state series a run folder may hold (temperature.dat, volume.dat, density.dat): the mean of their values.

Every source writes them in the layout of LAMMPS's ``fix ave/time``: rows of a
timestep and a value.
"""

from __future__ import annotations

from pathlib import Path

from ..diagnostics import RunWarning
from ..errors import RunError
from ..units import UnitStyle
from .tables import column_mean


def series_mean(folder: Path, name: str, warnings: list[RunWarning]) -> float | None:
    """The mean of the series ``name`` in ``folder``, None without the file; RunError unless it is positive."""
    file = folder / name
    if not file.is_file():
        return None
    found = column_mean(folder, file, warnings)
    if found is None:
        raise RunError(folder, name, f"no {name[:-4]} values (expected rows of a timestep and a value)")
    value = found[0]
    if not value > 0.0:
        raise RunError(folder, name, f"the {name[:-4]} must be a positive number, not {value!r}")
    return value


def read_volume(folder: Path, style: UnitStyle, warnings: list[RunWarning]) -> float | None:
    """The mean of the block averages of volume.dat in m³ (σ³ for lj), None without the file."""
    value = series_mean(folder, "volume.dat", warnings)
    return None if value is None else value * style.volume


def read_temperature(folder: Path, warnings: list[RunWarning]) -> float | None:
    """The mean of temperature.dat in K (reduced for lj), None without the file."""
    return series_mean(folder, "temperature.dat", warnings)
