"""One MD run folder: its tables, unit style, molecule counts, sampling and state."""

from __future__ import annotations

import dataclasses
import math
import os
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path

from ..diagnostics import RunWarning
from ..errors import RunError
from ..units import UnitStyle, UnitStyleError, unit_style
from .density import check_density, density_unit_name, read_density, read_volume
from .grid import table_sampling
from .logfile import STYLE_TABLES, LogInfo, parse_log
from .masses import system_mass
from .sampling import SAMPLED_TABLES, Sampling
from .species import SELF_PREFIX, GroupChoice, count_species, named_species
from .tables import TABLE_FILES, ZORV, Table, column_mean, expected_rows, first_file, read_table, rows_of

TEMPERATURE_FILES = ("temperature.dat",)
LOG_FILES = ("log.lammps",)
LOG_PATTERNS = ("log*.lammps", "*.log")
SHORT = 0.9
"""A table with fewer rows than this share of what its sampling writes was cut."""


@dataclass(frozen=True)
class Run:
    """The outputs of one MD run, read and checked, ready for analysis.

    ``counts`` holds the molecule count of every species the tables name;
    ``temperature`` is in K, ``volume`` in m³, ``density`` in kg/m³ (all
    reduced for lj), each None when the run has no source for it. ``tables``
    maps a table kind ("diffself", "diffonsag", "viscosity", "tconductivity",
    "rdf") to its columns in the file's own units, and ``files`` the kind to
    the file read. ``warnings`` are the doubtful findings of the reading;
    ``sampling`` maps an MSD table kind to its order-n sampling, for the kinds
    whose sampling the log or the caller gave.
    """

    path: Path
    units: UnitStyle
    counts: Mapping[str, int]
    temperature: float | None
    volume: float | None
    density: float | None
    tables: Mapping[str, Table] = field(repr=False)
    files: Mapping[str, str] = field(repr=False)
    warnings: tuple[RunWarning, ...] = ()
    sampling: Mapping[str, Sampling] = field(default_factory=dict)
    _decided: dict[str, Sampling | None] = field(default_factory=dict, init=False, repr=False, compare=False)

    def table_sampling(self, kind: str) -> Sampling | None:
        """The order-n sampling the table ``kind`` is fitted under, decided once: the given one (``sampling``)
        when the table's lags fit it, else the one its time column shows (assumed), else None."""
        if kind not in self._decided:
            time = next(iter(self.tables[kind].values()))
            self._decided[kind] = table_sampling(self.sampling.get(kind), time)
        return self._decided[kind]

    @property
    def species(self) -> list[str]:
        """Species of the self-diffusion table, in column order (else those counted)."""
        table = self.tables.get("diffself")
        if table is None:
            return list(self.counts)
        return [name[len(SELF_PREFIX) :] for name in table if name.startswith(SELF_PREFIX)]

    @classmethod
    def load(
        cls,
        path: str | os.PathLike[str],
        *,
        units: str | UnitStyle | None = None,
        counts: Mapping[str, int] | None = None,
        temperature: float | None = None,
        groups: Mapping[str, GroupChoice] | None = None,
        run_length: float | None = None,
        sampling: Sampling | Mapping[str, Sampling] | None = None,
        density_unit: str | None = None,
        molar_masses: Mapping[str, float] | None = None,
    ) -> Run:
        """Read the run folder ``path``.

        ``units`` is the LAMMPS unit style ("real", "metal" or "lj"), else the
        log's ``units`` line. ``counts`` maps species to molecule counts; each
        species it leaves out is counted by the log group of its name (or of
        ``groups[name]``; the group holds one atom per molecule unless given as
        (name, atoms per molecule)); a species in ``counts`` that the tables do
        not name is left out. ``temperature`` (K) is else the mean of
        temperature.dat, else of the Temp column the log shows for the
        production runs. The sampling of each MSD table comes from the log's
        ``fix ... ordern`` lines; ``run_length`` (time units) replaces the
        production length for every table, ``sampling`` (one Sampling for
        every MSD table, or a mapping kind -> Sampling) replaces the log's.
        ``density_unit`` ("kg/m3" or "g/cm3") states the unit of density.dat,
        else it is decided as :func:`zorv_pp.run.density.read_density` says;
        ``molar_masses`` (g/mol) let the density be checked against volume
        and counts; without them it is checked against the mass of the atoms
        when the run tells it (see :mod:`zorv_pp.run.masses`). The volume is
        the mean of volume.dat, else the production box of the log (its
        Volume or Lx, Ly, Lz columns, else the box it printed last when no
        barostat changes it).

        A missing table leaves its properties out; damage that can be read
        around (a cut last row, skipped lines, a short or empty table) becomes
        a warning. A run without a usable table, a file that cannot be read,
        species without counts (all named), a zero count or an unknown unit
        style raises :class:`RunError` naming the run, the file and the reason.
        """
        folder = Path(path)
        if not folder.is_dir():
            raise RunError(folder, None, "no such run folder")
        warnings: list[RunWarning] = []
        tables, files = _tables(folder, warnings)
        log_file = first_file(folder, LOG_FILES, LOG_PATTERNS)
        log = _parse_log(folder, log_file) if log_file is not None else None
        style = _style(folder, units, log)
        required, rdf_only = named_species(folder, tables, files, set(counts or ()) | set(groups or ()))
        # The diffusion tables cannot be used without every count; an RDF pair
        # whose species has none only loses its coordination number.
        run_counts = count_species(folder, required, counts, groups or {}, log_file)
        for name in rdf_only:
            if name not in run_counts:
                try:
                    run_counts.update(count_species(folder, [name], counts, groups or {}, log_file))
                except RunError:
                    pass
        if temperature is None:
            temperature = _mean_temperature(folder, warnings)
        if temperature is None and log is not None:
            temperature = log.thermo_mean("Temp")
        elif not (isinstance(temperature, (int, float)) and math.isfinite(temperature) and temperature > 0):
            raise RunError(folder, None, f"the temperature must be a positive number of kelvin, not {temperature!r}")
        unit = None
        if density_unit is not None:
            unit = density_unit_name(density_unit)
            if unit is None:
                raise RunError(folder, None, f"the density unit must be 'kg/m3' or 'g/cm3', not {density_unit!r}")
        volume = read_volume(folder, style, warnings)
        if volume is None and log is not None:
            box = log.box_volume()
            volume = None if box is None else box * style.volume
        density = read_density(folder, style, unit, log.density_expression if log else None, warnings)
        if density is not None and volume is not None:
            check_density(density, volume, run_counts, molar_masses, style, warnings, system_mass(folder, log))
        samplings = _samplings(folder, tables, files, style, log, run_length, sampling, warnings)
        return cls(
            folder,
            style,
            run_counts,
            None if temperature is None else float(temperature),
            volume,
            density,
            tables,
            files,
            tuple(warnings),
            samplings,
        )


def _tables(folder: Path, warnings: list[RunWarning]) -> tuple[dict[str, Table], dict[str, str]]:
    tables: dict[str, Table] = {}
    files: dict[str, str] = {}
    looked: list[str] = []
    for kind, names in TABLE_FILES.items():
        looked.append("/".join(names))
        file = first_file(folder, names)
        if file is None:
            continue
        table = read_table(folder, file, ZORV, warnings)
        if rows_of(table) == 0:
            warnings.append(RunWarning("empty_table", file.name, "the table holds no data row; it is left out"))
            continue
        tables[kind], files[kind] = table, file.name
    if not tables:
        raise RunError(folder, None, f"no table that can be analysed (looked for {', '.join(looked)})")
    return tables, files


def _parse_log(folder: Path, log: Path) -> LogInfo:
    try:
        return parse_log(log)
    except OSError as error:
        raise RunError(folder, log.name, str(error)) from None


def _style(folder: Path, units: str | UnitStyle | None, log: LogInfo | None) -> UnitStyle:
    source = None
    if units is None:
        if log is None:
            raise RunError(folder, None, "no unit style: give units= or add the LAMMPS log")
        if log.units is None:
            raise RunError(folder, log.name, "the log has no units line; give units=")
        units, source = log.units, log.name
    try:
        return unit_style(units)
    except UnitStyleError as error:
        raise RunError(folder, source, str(error)) from None


def _samplings(
    folder: Path,
    tables: Mapping[str, Table],
    files: Mapping[str, str],
    style: UnitStyle,
    log: LogInfo | None,
    run_length: float | None,
    given: Sampling | Mapping[str, Sampling] | None,
    warnings: list[RunWarning],
) -> dict[str, Sampling]:
    if run_length is not None and not (
        isinstance(run_length, (int, float)) and math.isfinite(run_length) and run_length > 0
    ):
        raise RunError(folder, None, f"the run length must be a positive number of time units, not {run_length!r}")
    present = [kind for kind in SAMPLED_TABLES if kind in tables]
    found: dict[str, Sampling] = {}
    for log_style, (kinds, _) in STYLE_TABLES.items():
        if log is None or not any(kind in present for kind in kinds):
            continue
        sampling, problem = log.sampling(log_style, style.default_timestep, run_length)
        if problem is not None:
            warnings.append(RunWarning(problem[0], log.name, problem[1]))
        for kind in kinds:
            if sampling is not None and kind in present:
                found[kind] = sampling
    if isinstance(given, Sampling):
        given = {kind: given for kind in present}
    for kind, sampling in (given or {}).items():
        if kind not in SAMPLED_TABLES or not isinstance(sampling, Sampling):
            raise RunError(
                folder,
                None,
                f"sampling= maps the MSD tables ({', '.join(SAMPLED_TABLES)}) to a Sampling, "
                f"not {kind!r} to {sampling!r}",
            )
        if kind in present:
            found[kind] = dataclasses.replace(sampling, run_length=run_length) if run_length else sampling
    for kind, sampling in found.items():
        _check_against_sampling(files[kind], tables[kind], sampling, style, warnings)
    return found


def _check_against_sampling(
    name: str, table: Table, sampling: Sampling, style: UnitStyle, warnings: list[RunWarning]
) -> None:
    rows, expected = rows_of(table), expected_rows(sampling)
    if rows < SHORT * expected:
        warnings.append(
            RunWarning(
                "short_table",
                name,
                f"{rows} rows where the sampling (every {sampling.interval:g} "
                f"{style.time_name} over {sampling.run_length:g}) writes {expected}: the table "
                f"was cut",
            )
        )
    first = next(iter(table.values()))[0]
    if not math.isclose(first, sampling.interval, rel_tol=1e-6):
        warnings.append(
            RunWarning(
                "sampling_mismatch",
                name,
                f"the first time {first:g} is not the sampling "
                f"interval {sampling.interval:g} {style.time_name}: the log or the sampling "
                f"given may belong to another run",
            )
        )


def _mean_temperature(folder: Path, warnings: list[RunWarning]) -> float | None:
    file = first_file(folder, TEMPERATURE_FILES)
    if file is None:
        return None
    found = column_mean(folder, file, warnings)
    if found is None:
        raise RunError(folder, file.name, "no temperature values (expected rows of a timestep and a value)")
    if not found[0] > 0.0:
        raise RunError(folder, file.name, f"the mean temperature must be positive, not {found[0]!r} K")
    return found[0]
