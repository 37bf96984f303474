"""A run folder from an engine's raw output: order-n tables of a trajectory and of pressure and heat-flux
series, with volume.dat, temperature.dat and ordern.log beside them."""

from __future__ import annotations

import math
import os
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from ..run import LogInfo, parse_log, type_masses
from ..run.sampling import Sampling
from ..units import UnitStyle, UnitStyleError, unit_style
from .conditions import Conditions
from .diffusion import accumulate_trajectory, describe
from .errors import SourceError
from .flux_tables import SeriesUnits, read, series_units, write_flux_tables
from .log_entries import Entries
from .run_files import write_log
from .trajectory import MAX_JUMP, open_trajectory
from .trajectory.lammps_dump import is_dump, read_first_frame
from .write import write_diffusion_tables

#: Every file the folder may get; an earlier folder's are refused unless overwritten.
WRITTEN = (
    "diffself.dat",
    "diffonsag.dat",
    "viscosity.dat",
    "tconductivity.dat",
    "volume.dat",
    "temperature.dat",
    "ordern.log",
)


@dataclass(frozen=True)
class OrderNFolder:
    """The folder written: its path, the molecule counts, each table's sampling, the log's entries and the
    warnings."""

    path: Path
    counts: Mapping[str, int]
    sampling: Mapping[str, Sampling]
    log: Mapping[str, str] = field(repr=False)
    warnings: tuple[str, ...] = ()
    """The damage the series readers stepped over, as ``FILE: MESSAGE [CODE]``."""


def _settings(
    units: str | UnitStyle | None, log: str | os.PathLike[str] | None, timestep: float | None
) -> tuple[UnitStyle | None, float | None, list[tuple[str, str]], LogInfo | None]:
    """The unit style and timestep: as given, else the LAMMPS log's (its production timestep); and the log."""
    if log is not None and not Path(log).is_file():
        raise SourceError(f"no LAMMPS log {os.fspath(log)}")
    info = parse_log(Path(log)) if log is not None else None
    notes = []
    if units is None and info is not None and info.units is not None:
        units = info.units
        notes.append(("units from", os.fspath(log or "")))
    try:
        style = unit_style(units) if units is not None else None
    except UnitStyleError as error:
        raise SourceError(str(error)) from None
    if timestep is None and info is not None and style is not None:
        # The production run is the last; a log that sets no timestep ran LAMMPS's default for the style.
        if info.runs:
            timestep = info.timestep_at(info.runs[-1][0], style.default_timestep)
        else:
            timestep = info.timesteps[-1][1] if info.timesteps else style.default_timestep
        notes.append(("timestep from", f"{os.fspath(log or '')} (in force at its last run)"))
    if timestep is not None and not (math.isfinite(timestep) and timestep > 0.0):
        raise SourceError(f"the timestep must be a positive number, not {timestep!r}")
    return style, timestep, notes, info


def _log_masses(
    trajectory: str | os.PathLike[str] | None, log: str | os.PathLike[str] | None, info: LogInfo | None
) -> dict[str, float] | None:
    """A LAMMPS dump's masses per atom type from its run's log (and the data and included files beside it),
    when they set every type of the dump; else None. Equal masses would bias the centres, the kinetic
    temperature and so every property divided by it."""
    if trajectory is None or log is None or info is None or not is_dump(trajectory):
        return None
    types = set(read_first_frame(trajectory).types)
    found = type_masses(Path(log).parent, info, types)
    return found if types and set(found) == types else None


def _out_folder(out: str | os.PathLike[str], overwrite: bool) -> Path:
    folder = Path(out)
    if folder.exists() and not folder.is_dir():
        raise SourceError(f"cannot write the run folder {folder}: it is a file")
    folder.mkdir(parents=True, exist_ok=True)
    old = [name for name in WRITTEN if (folder / name).exists()]
    if old and not overwrite:
        raise SourceError(
            f"{folder} already holds {', '.join(old)}: give a new folder, or overwrite them (--overwrite)"
        )
    for name in old:
        (folder / name).unlink()
    return folder


def _check_counts(nb: int, nbe: int, every: int) -> None:
    for name, value, least in (("nb", nb, 1), ("nbe", nbe, 2), ("every", every, 1)):
        if not isinstance(value, int) or value < least:
            raise SourceError(f"{name} must be a whole number of at least {least}, not {value!r}")


def ordern(
    trajectory: str | os.PathLike[str] | None = None,
    topology: str | os.PathLike[str] | None = None,
    *,
    out: str | os.PathLike[str],
    species: Mapping[str, str] | None = None,
    pressure: str | os.PathLike[str] | None = None,
    heat_flux: str | os.PathLike[str] | None = None,
    nb: int = 10,
    nbe: int = 20,
    every: int = 1,
    units: str | UnitStyle | None = None,
    mean_pressure: float | None = None,
    temperature: float | str | os.PathLike[str] | None = None,
    volume: float | None = None,
    timestep: float | None = None,
    log: str | os.PathLike[str] | None = None,
    masses: Mapping[str, float] | None = None,
    pressure_columns: Sequence[str] | None = None,
    heat_flux_columns: Sequence[str] | None = None,
    max_jump: float = MAX_JUMP,
    overwrite: bool = False,
    progress: bool = False,
) -> OrderNFolder:
    """Write the run folder ``out`` that ``zorv_pp.Run.load`` reads, from an engine's raw output.

    ``trajectory`` (a LAMMPS text dump; GROMACS .xtc/.trr with ``topology``
    .tpr or .gro; a DCD with its topology) gives diffself.dat and
    diffonsag.dat of its molecules' centres of mass, every ``every``-th
    frame; ``species`` maps names to MDAnalysis selections (default: the
    topology's molecule or residue names, a LAMMPS dump's atom-type makeup of
    each ``mol``). ``pressure`` and ``heat_flux`` are series files (LAMMPS
    fix ave/time, GROMACS xvg) giving viscosity.dat and tconductivity.dat;
    their columns are found by name unless ``pressure_columns`` (xx yy zz xy
    xz yz) or ``heat_flux_columns`` (x y z, energy × velocity) name them.
    ``units`` is the LAMMPS style of LAMMPS files (else ``log``'s), GROMACS
    output becomes metal; ``timestep`` (style's time unit, else ``log``'s)
    turns LAMMPS steps into times; ``masses`` maps a dump's atom types to
    masses. The bulk viscosity's pressure is less ``mean_pressure``, else the
    run's own mean. ``temperature`` (K, or a series file of the engine's
    temperature) and ``volume`` (the style's volume unit) replace what the
    files give; else the temperature is a series' Temperature column, else
    the kinetic one of the trajectory's velocities (which cannot count
    constraints). Raises :class:`SourceError` on input that cannot be used.
    """
    _check_counts(nb, nbe, every)
    if trajectory is None and pressure is None and heat_flux is None:
        raise SourceError("nothing to sample: give a trajectory, a pressure series or a heat-flux series")
    style, timestep, notes, info = _settings(units, log, timestep)
    if masses is None:
        masses = _log_masses(trajectory, log, info)
        if masses is not None:
            notes.append(("masses from", f"{os.fspath(log or '')} and the files it read"))
    series = _read_series(pressure, heat_flux)
    number = temperature is None or isinstance(temperature, (int, float))
    temperature_series = None if number else read(temperature)  # type: ignore[arg-type]
    opened = open_trajectory(trajectory, topology, style, timestep, masses) if trajectory is not None else None
    folder = _out_folder(out, overwrite)
    sums, entries = None, Entries()
    if opened is not None and trajectory is not None:
        style = opened.style
        sums = accumulate_trajectory(opened, species, nb, nbe, every, max_jump, progress)
        write_diffusion_tables(folder, sums.positions)
        entries.trajectory(describe(opened, trajectory, topology), opened, sums, every)
    conditions = Conditions(sums, temperature if number else None, volume)  # type: ignore[arg-type]
    if temperature_series is not None:
        style = _same_style(style, series_units(temperature_series, style, timestep))
        conditions.add_temperature_series(temperature_series, series_units(temperature_series, style, timestep))
    fluxes = None
    if series:
        flux_units = series_units(next(iter(series.values())), style, timestep)
        style = _same_style(style, flux_units)
        conditions.add_series(list(series.values()), flux_units)
        fluxes = write_flux_tables(
            folder,
            series.get("pressure"),
            series.get("heat"),
            flux_units,
            conditions.required_volume(),
            (nb, nbe, mean_pressure),
            (pressure_columns, heat_flux_columns),
        )
        entries.series(series, flux_units, fluxes)
    assert style is not None
    conditions.write(folder, style)
    log_entries = entries.finish(style, conditions, notes)
    write_log(folder / "ordern.log", log_entries)
    sampling = {**(sums.sampling_of_tables() if sums else {}), **(fluxes.sampling if fluxes else {})}
    files = [*series.values(), *([temperature_series] if temperature_series is not None else [])]
    warnings = tuple(dict.fromkeys(f"{w.file}: {w.message} [{w.code}]" for one in files for w in one.warnings))
    return OrderNFolder(folder, dict(sums.counts) if sums else {}, sampling, dict(log_entries), warnings)


def _same_style(style: UnitStyle | None, units: SeriesUnits) -> UnitStyle:
    """The series' style, refused when the trajectory's is another."""
    if style is not None and units.style != style:
        raise SourceError(
            f"the trajectory is in {style.name} units and a series in {units.style.name}: give files of one run"
        )
    return units.style


def _read_series(pressure: Any, heat_flux: Any) -> dict[str, Any]:
    series = {}
    if pressure is not None:
        series["pressure"] = read(pressure)
    if heat_flux is not None:
        same = pressure is not None and Path(heat_flux).resolve() == Path(pressure).resolve()
        series["heat"] = series["pressure"] if same else read(heat_flux)
    if len({s.engine for s in series.values()}) > 1:
        raise SourceError("the pressure and heat-flux series come from different engines: give files of one run")
    return series
