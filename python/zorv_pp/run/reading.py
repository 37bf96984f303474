"""A run folder read the same whatever wrote it: its tables, its state series and the checks of its sampling.

What only the folder's source tells (unit style, counts, sampling, and the
state when no series gives it) comes from the source the folder is
recognised as (:mod:`zorv_pp.run.sources`); what the caller states overrides
both.
"""

from __future__ import annotations

import dataclasses
import math
from collections.abc import Mapping
from dataclasses import dataclass
from pathlib import Path

from ..diagnostics import RunWarning
from ..errors import RunError
from ..units import UnitStyle, UnitStyleError, unit_style
from .options import LoadOptions
from .sampling import SAMPLED_TABLES, Sampling
from .series import read_temperature, read_volume
from .source import SourceReading
from .sources import reading_of
from .species import count_species, named_species
from .tables import TABLE_FILES, ZORV, Table, expected_rows, first_file, read_table, rows_of

SHORT = 0.9
"""A table with fewer rows than this share of what its sampling writes was cut."""


@dataclass(frozen=True)
class FolderContents:
    """What a run folder holds, as :class:`zorv_pp.run.Run` keeps it."""

    units: UnitStyle
    counts: dict[str, int]
    temperature: float | None
    volume: float | None
    density: float | None
    tables: dict[str, Table]
    files: dict[str, str]
    warnings: tuple[RunWarning, ...]
    sampling: dict[str, Sampling]


def read_folder(folder: Path, options: LoadOptions) -> FolderContents:
    """Read the run folder ``folder`` under ``options`` (see :class:`LoadOptions`).

    A missing table leaves its properties out; damage that can be read
    around (a cut last row, skipped lines, a short or empty table) becomes
    a warning. A run without a usable table, a file that cannot be read,
    species without counts (all named), a zero count or an unknown unit
    style raises :class:`RunError` naming the run, the file and the reason.
    """
    if not folder.is_dir():
        raise RunError(folder, None, "no such run folder")
    warnings: list[RunWarning] = []
    tables, files = _tables(folder, warnings)
    source = reading_of(folder, options)
    style = _style(folder, options.get("units"), source)
    counts = _counts(folder, tables, files, options, source)
    temperature = _temperature(folder, options.get("temperature"), source, warnings)
    volume = read_volume(folder, style, warnings)
    if volume is None:
        own = source.volume(style)
        volume = None if own is None else own * style.volume
    density = source.density(style, counts, volume, warnings)
    samplings = _samplings(folder, tables, files, style, source, options, warnings)
    return FolderContents(style, counts, temperature, volume, density, tables, files, tuple(warnings), samplings)


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


def _style(folder: Path, units: str | UnitStyle | None, source: SourceReading) -> UnitStyle:
    origin = None
    if units is None:
        units, origin = source.unit_style()
    try:
        return unit_style(units)
    except UnitStyleError as error:
        raise RunError(folder, origin, str(error)) from None


def _counts(
    folder: Path, tables: dict[str, Table], files: dict[str, str], options: LoadOptions, source: SourceReading
) -> dict[str, int]:
    counts, groups = options.get("counts"), options.get("groups")
    required, rdf_only = named_species(folder, tables, files, set(counts or ()) | set(groups or ()))
    # The diffusion tables cannot be used without every count; an RDF pair
    # whose species has none only loses its coordination number.
    found = count_species(folder, required, counts, source.count)
    for name in rdf_only:
        if name not in found:
            try:
                found.update(count_species(folder, [name], counts, source.count))
            except RunError:
                pass
    return found


def _temperature(folder: Path, given: float | None, source: SourceReading, warnings: list[RunWarning]) -> float | None:
    if given is None:
        found = read_temperature(folder, warnings)
        return found if found is not None else source.temperature()
    if not (isinstance(given, (int, float)) and math.isfinite(given) and given > 0):
        raise RunError(folder, None, f"the temperature must be a positive number of kelvin, not {given!r}")
    return float(given)


def _samplings(
    folder: Path,
    tables: Mapping[str, Table],
    files: Mapping[str, str],
    style: UnitStyle,
    source: SourceReading,
    options: LoadOptions,
    warnings: list[RunWarning],
) -> dict[str, Sampling]:
    run_length, given = options.get("run_length"), options.get("sampling")
    if run_length is not None and not (
        isinstance(run_length, (int, float)) and math.isfinite(run_length) and run_length > 0
    ):
        raise RunError(folder, None, f"the run length must be a positive number of time units, not {run_length!r}")
    present = [kind for kind in SAMPLED_TABLES if kind in tables]
    found = source.samplings(present, style, run_length, warnings) if present else {}
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
