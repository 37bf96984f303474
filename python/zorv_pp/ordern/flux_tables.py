"""viscosity.dat and tconductivity.dat of pressure-tensor and heat-flux series, and what else a series
tells (its temperature and volume columns)."""

from __future__ import annotations

import os
from collections.abc import Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from ..run.sampling import Sampling
from ..units import METAL, UnitStyle
from .errors import SourceError
from .fluxes import heat_columns, heat_sums, pressure_columns, pressure_sums, spacing
from .write import write_conductivity_table, write_viscosity_table

TEMPERATURE_NAMES = ("Temperature", "temp", "c_thermo_temp", "T")
VOLUME_NAMES = ("Volume", "vol", "V")
#: The pressure unit of each style, for the log.
PRESSURE_UNITS = {"real": "atm", "metal": "bar", "lj": "reduced"}
NM3 = 1000.0
"""Å³ in a GROMACS nm³."""


def read(path: str | os.PathLike[str]) -> Any:
    """The series of ``path`` (a LAMMPS fix ave/time file or a GROMACS xvg)."""
    from .series import read_series

    if not Path(path).is_file():
        raise SourceError(f"no series file {os.fspath(path)}")
    return read_series(path)


@dataclass(frozen=True)
class SeriesUnits:
    """How a series' rows become the style's units: ``to_time`` turns its first column into times."""

    style: UnitStyle
    to_time: float
    exact: bool
    text: str


def series_units(series: Any, style: UnitStyle | None, timestep: float | None) -> SeriesUnits:
    if series.engine == "gromacs":
        if style is not None and style.name != "metal":
            raise SourceError(f"{series.path.name} is GROMACS's (bar, ps), which becomes metal, not {style.name}")
        return SeriesUnits(METAL, 1.0, False, "GROMACS ps, bar, kJ/mol, converted to metal (Å, ps, bar, eV)")
    if style is None:
        raise SourceError(f"{series.path.name} does not say its LAMMPS unit style: give units (real, metal or lj)")
    if timestep is None:
        raise SourceError(f"{series.path.name} holds steps, not times: give the timestep (the style's time unit)")
    return SeriesUnits(
        style,
        timestep,
        True,
        f"LAMMPS {style.name} ({PRESSURE_UNITS[style.name]}, {style.time_name}); steps × timestep {timestep:g} "
        f"{style.time_name}",
    )


@dataclass(frozen=True)
class FluxTables:
    """The tables written from series: their samplings, the mean pressure and where it came from."""

    sampling: dict[str, Sampling]
    mean_pressure: tuple[float, str] | None
    columns: dict[str, tuple[str, ...]]


def write_flux_tables(
    out: Path,
    pressure: Any | None,
    heat: Any | None,
    units: SeriesUnits,
    volume: float,
    settings: tuple[int, int, float | None],
    names: tuple[Sequence[str] | None, Sequence[str] | None],
) -> FluxTables:
    """viscosity.dat of ``pressure`` and tconductivity.dat of ``heat`` (either may be None) in ``out``."""
    nb, nbe, mean_pressure = settings
    sampling: dict[str, Sampling] = {}
    columns: dict[str, tuple[str, ...]] = {}
    mean = None
    if pressure is not None:
        chosen = pressure_columns(pressure.names, names[0])
        timing = spacing(pressure.time, units.to_time, units.exact, f"pressure series {pressure.path.name}")
        accumulator, value = pressure_sums(
            [pressure.columns[c] for c in chosen], nb, nbe, timing.interval, mean_pressure
        )
        write_viscosity_table(out, accumulator, volume, units.style)
        sampling["viscosity"] = _sampling(timing.interval, nbe, accumulator.frames, nb)
        columns["pressure"] = chosen
        mean = (value, "given" if mean_pressure is not None else "the run's own mean")
    if heat is not None:
        chosen = heat_columns(heat.names, names[1])
        timing = spacing(heat.time, units.to_time, units.exact, f"heat-flux series {heat.path.name}")
        accumulator = heat_sums([heat.columns[c] for c in chosen], nb, nbe, timing.interval)
        write_conductivity_table(out, accumulator, volume, units.style)
        sampling["tconductivity"] = _sampling(timing.interval, nbe, accumulator.frames, nb)
        columns["heat flux"] = chosen
    return FluxTables(sampling, mean, columns)


def _sampling(interval: float, nbe: int, frames: int, nb: int) -> Sampling:
    return Sampling(interval, nbe, (frames - 1) * interval, nb)
