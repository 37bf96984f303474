"""One MD run folder: its tables, unit style, molecule counts and state."""
from __future__ import annotations

import math
import os
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path
from typing import Union

import _zorv_pp

from .errors import RunError
from .units import UnitStyle, UnitStyleError, unit_style

Table = dict[str, list[float]]
GroupSpec = Union[str, tuple[str, int]]
"""A species' log group: its name, or (name, atoms per molecule) for a group of whole molecules."""

#: File names of each table kind, the first one present is read.
TABLE_FILES: dict[str, tuple[str, ...]] = {
    "diffself": ("diffself.dat",),
    "diffonsag": ("diffonsag.dat",),
    "viscosity": ("viscosity.dat",),
    "tconductivity": ("tconductivity.dat", "thermconductivity.dat"),
    "rdf": ("rdf.dat",),
}
TEMPERATURE_FILES = ("temperature.dat",)
LOG_FILES = ("log.lammps",)
LOG_PATTERNS = ("log*.lammps", "*.log")

SELF_PREFIX = "MSD__"
RDF_PREFIX = "rdf__"
FINITE_RDF_PREFIX = "finiterdf__"


def _first_file(folder: Path, names: tuple[str, ...], patterns: tuple[str, ...] = ()) -> Path | None:
    for name in names:
        if (folder / name).is_file():
            return folder / name
    for pattern in patterns:
        found = sorted(p for p in folder.glob(pattern) if p.is_file())
        if found:
            return found[0]
    return None


def split_pair(label: str, species: set[str]) -> tuple[str, str]:
    """The two species of a pair label such as ``K_OH``.

    Names may hold underscores themselves, so the split chosen is the one whose
    halves are both known species; with no known species, the only underscore.
    """
    cuts = [i for i, char in enumerate(label) if char == "_"]
    known = [(label[:i], label[i + 1:]) for i in cuts if label[:i] in species and label[i + 1:] in species]
    if len(known) == 1:
        return known[0]
    if not known and len(cuts) == 1:
        return label[:cuts[0]], label[cuts[0] + 1:]
    raise ValueError(f"cannot tell the two species of the pair {label!r}")


def read_units_line(log: Path) -> str | None:
    """The style of the first ``units`` command of a LAMMPS log, or None."""
    with open(log, encoding="utf-8", errors="replace") as stream:
        for line in stream:
            words = line.split()
            if len(words) >= 2 and words[0] == "units":
                return words[1]
    return None


@dataclass(frozen=True)
class Run:
    """The outputs of one MD run, read and checked, ready for analysis.

    ``counts`` holds the molecule count of every species the tables name;
    ``temperature`` is in K, ``volume`` in m³, ``density`` in kg/m³, each None
    when the run has no source for it. ``tables`` maps a table kind
    ("diffself", "diffonsag", "viscosity", "tconductivity", "rdf") to its
    columns in the file's own units, and ``files`` the kind to the file read.
    """

    path: Path
    units: UnitStyle
    counts: Mapping[str, int]
    temperature: float | None
    volume: float | None
    density: float | None
    tables: Mapping[str, Table] = field(repr=False)
    files: Mapping[str, str] = field(repr=False)

    @property
    def species(self) -> list[str]:
        """Species of the self-diffusion table, in column order (else those counted)."""
        table = self.tables.get("diffself")
        if table is None:
            return list(self.counts)
        return [name[len(SELF_PREFIX):] for name in table if name.startswith(SELF_PREFIX)]

    @classmethod
    def load(cls, path: str | os.PathLike[str], *, units: str | UnitStyle | None = None,
             counts: Mapping[str, int] | None = None, temperature: float | None = None,
             groups: Mapping[str, GroupSpec] | None = None) -> Run:
        """Read the run folder ``path``.

        ``units`` is the LAMMPS unit style ("real" or "metal"), else the log's
        ``units`` line. ``counts`` maps species to molecule counts, else each
        species is counted by the log group of its name (or of ``groups[name]``;
        the group holds one atom per molecule unless given as (name, atoms per
        molecule)). ``temperature`` (K) is else the mean of temperature.dat.
        A missing table leaves its properties out; any file that cannot be
        read, a species without a count, a zero count or an unknown unit style
        raises :class:`RunError` naming the run, the file and the reason.
        """
        folder = Path(path)
        if not folder.is_dir():
            raise RunError(folder, None, "no such run folder")
        tables: dict[str, Table] = {}
        files: dict[str, str] = {}
        for kind, names in TABLE_FILES.items():
            file = _first_file(folder, names)
            if file is not None:
                tables[kind] = _read(folder, file, _zorv_pp.parse_zorv_file)
                files[kind] = file.name
        log = _first_file(folder, LOG_FILES, LOG_PATTERNS)
        style = _style(folder, units, log)
        required, rdf_only = _named_species(folder, tables, files, set(counts or ()) | set(groups or ()))
        # The diffusion tables cannot be used without every count; an RDF pair
        # whose species has none only loses its coordination number.
        run_counts = _counts(folder, required, counts, groups or {}, log)
        for name in rdf_only:
            if name not in run_counts:
                try:
                    run_counts.update(_counts(folder, [name], counts, groups or {}, log))
                except RunError:
                    pass
        if temperature is None:
            temperature = _mean_temperature(folder)
        elif not (isinstance(temperature, (int, float)) and math.isfinite(temperature) and temperature > 0):
            raise RunError(folder, None, f"the temperature must be a positive number of kelvin, not {temperature!r}")
        volume = _single_value(folder, "volume.dat", style.volume)
        density = _single_value(folder, "density.dat", style.density)
        return cls(folder, style, run_counts, None if temperature is None else float(temperature),
                   volume, density, tables, files)


def _read(folder: Path, file: Path, reader):  # type: ignore[no-untyped-def]
    try:
        return reader(os.fspath(file))
    except (OSError, ValueError) as error:
        raise RunError(folder, file.name, str(error)) from None


def _style(folder: Path, units: str | UnitStyle | None, log: Path | None) -> UnitStyle:
    source = None
    if units is None:
        if log is None:
            raise RunError(folder, None, "no unit style: give units= or add the LAMMPS log")
        try:
            units = read_units_line(log)
        except OSError as error:
            raise RunError(folder, log.name, str(error)) from None
        if units is None:
            raise RunError(folder, log.name, "the log has no units line; give units=")
        source = log.name
    try:
        return unit_style(units)
    except UnitStyleError as error:
        raise RunError(folder, source, str(error)) from None


def _named_species(folder: Path, tables: Mapping[str, Table], files: Mapping[str, str],
                   known: set[str]) -> tuple[list[str], list[str]]:
    """The species the diffusion tables name, and those only the RDF names, in first-seen order."""
    names: list[str] = []
    diffusion = 0
    for column in tables.get("diffself", {}):
        if column.startswith(SELF_PREFIX):
            names.append(column[len(SELF_PREFIX):])
    known = known | set(names)
    for kind, prefixes in (("diffonsag", (SELF_PREFIX,)), ("rdf", (RDF_PREFIX, FINITE_RDF_PREFIX))):
        for column in tables.get(kind, {}):
            for prefix in prefixes:
                if column.startswith(prefix):
                    try:
                        pair = split_pair(column[len(prefix):], known)
                    except ValueError as error:
                        raise RunError(folder, files[kind], str(error)) from None
                    names.extend(pair)
        if kind == "diffonsag":
            diffusion = len(names)
    required = list(dict.fromkeys(names[:diffusion]))
    return required, [name for name in dict.fromkeys(names[diffusion:]) if name not in required]


def _counts(folder: Path, species: list[str], counts: Mapping[str, int] | None,
            groups: Mapping[str, GroupSpec], log: Path | None) -> dict[str, int]:
    if counts is not None:
        found = dict(counts)
        for name in species:
            if name not in found:
                raise RunError(folder, None, f"no molecule count given for species {name!r}")
        source = None
    else:
        found = {}
        for name in species:
            if log is None:
                raise RunError(folder, None, f"no molecule count for species {name!r}: give counts= or add the LAMMPS log")
            group, per_molecule = _group(groups.get(name, name))
            atoms = int(_read(folder, log, lambda p: _zorv_pp.read_group_count(p, group)))
            if atoms % per_molecule:
                raise RunError(folder, log.name, f"group {group!r} holds {atoms} atoms, not a whole number of "
                                                 f"molecules of {per_molecule} atoms")
            found[name] = atoms // per_molecule
        source = log.name if log else None
    for name, count in found.items():
        if isinstance(count, bool) or not isinstance(count, int) or count <= 0:
            raise RunError(folder, source, f"species {name!r} has a molecule count of {count!r}; it must be a positive integer")
    return found


def _group(spec: GroupSpec) -> tuple[str, int]:
    if isinstance(spec, str):
        return spec, 1
    name, per_molecule = spec
    return name, int(per_molecule)


def _mean_temperature(folder: Path) -> float | None:
    file = _first_file(folder, TEMPERATURE_FILES)
    if file is None:
        return None
    table = _read(folder, file, _zorv_pp.parse_thermoprop)
    columns = list(table.values())
    if len(columns) < 2 or not columns[1]:
        raise RunError(folder, file.name, "no temperature values (expected rows of a timestep and a value)")
    mean, _, count = _zorv_pp.repacking_results(columns[1])
    if count == 0:
        raise RunError(folder, file.name, "no finite temperature value")
    if not mean > 0.0:
        raise RunError(folder, file.name, f"the mean temperature must be positive, not {mean!r} K")
    return float(mean)


def _single_value(folder: Path, name: str, factor: float) -> float | None:
    file = folder / name
    if not file.is_file():
        return None
    value = float(_read(folder, file, _zorv_pp.parse_volume_density))
    if not (math.isfinite(value) and value > 0.0):
        raise RunError(folder, name, f"the {name[:-4]} must be a positive number, not {value!r}")
    return value * factor
