"""The mass of a run's atoms, from the run itself, to check its density without molar masses.

The masses of the atom types come from the ``Masses`` section of the data
file that ``read_data`` names (when that file is in the run folder), then
from the ``mass`` commands of the files that ``include`` names and of the
log, in that order, as LAMMPS applies them. The atoms of each type come from
the data file's ``Atoms`` section and the atoms ``create_atoms`` made; their
total must be the atoms the log's last run reports, when it reports them
("Loop time ... with N atoms"). When every type has the
same mass (``mass * M``), the log's atom count is enough.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path

from .logfile import LogInfo

#: The column of the atom type in a line of the Atoms section, by atom style.
TYPE_COLUMN = {"atomic": 1, "charge": 1, "dipole": 1, "bond": 2, "angle": 2, "molecular": 2, "full": 2}
_MASS = re.compile(r"^[ \t]*mass[ \t]+(\S+)[ \t]+(\S+)", re.MULTILINE)


@dataclass(frozen=True)
class SystemMass:
    """The mass of every atom of a run, in the style's mass unit (g/mol in real and metal), and its source."""

    mass: float
    source: str


def system_mass(folder: Path, log: LogInfo | None) -> SystemMass | None:
    """The mass of the run's atoms, None when the run does not tell it completely."""
    if log is None:
        return None
    masses: dict[str, float] = {}
    counts: dict[str, int] = {}
    sources: list[str] = []
    data = _in_folder(folder, log.data_files)
    if data is not None:
        read = _read_data(data, log.atom_style)
        if read is None:
            return None
        masses, counts = read
        sources.append(data.name)
    commands: list[tuple[str, float]] = []
    for name in log.includes:
        included = _in_folder(folder, (name,))
        if included is not None:
            commands += _mass_commands(included.read_text(encoding="utf-8", errors="replace"))
    commands += list(log.masses)
    if commands:
        sources.append("mass commands")
    for kind, atoms in log.created:
        counts[kind] = counts.get(kind, 0) + atoms
    if log.created:
        sources.append("create_atoms")
    uniform = _uniform(commands)
    if counts and "" not in counts:
        for types, value in commands:
            for kind in counts:
                if _matches(types, kind):
                    masses[kind] = value
        if any(kind not in masses for kind in counts):
            return None
        if log.atoms is not None and sum(counts.values()) != log.atoms:  # atoms added or deleted since
            return None
        return SystemMass(sum(n * masses[kind] for kind, n in counts.items()), ", ".join(sources))
    if uniform is not None and log.atoms:
        return SystemMass(log.atoms * uniform, f"the log's {log.atoms} atoms of mass {uniform:g}")
    return None


def type_masses(folder: Path, log: LogInfo, types: set[str]) -> dict[str, float]:
    """The mass of each of ``types`` that the run sets, as LAMMPS applies them: the data file's ``Masses``
    section, then the ``mass`` commands of the included files and of the log; a type none sets is left out."""
    masses: dict[str, float] = {}
    data = _in_folder(folder, log.data_files)
    read = _read_data(data, log.atom_style) if data is not None else None
    if read is not None:
        masses.update((kind, value) for kind, value in read[0].items() if kind in types)
    commands: list[tuple[str, float]] = []
    for name in log.includes:
        included = _in_folder(folder, (name,))
        if included is not None:
            commands += _mass_commands(included.read_text(encoding="utf-8", errors="replace"))
    for kind_range, value in [*commands, *log.masses]:
        masses.update((kind, value) for kind in types if _matches(kind_range, kind))
    return masses


def _in_folder(folder: Path, names: tuple[str, ...] | list[str]) -> Path | None:
    """The first of the files ``names`` that lies in ``folder`` (as named, or by its base name)."""
    for name in names:
        for candidate in (folder / name, folder / Path(name).name):
            if candidate.is_file():
                return candidate
    return None


def _mass_commands(text: str) -> list[tuple[str, float]]:
    found = []
    for types, value in _MASS.findall(text):
        if "$" in types or "$" in value:
            continue
        try:
            found.append((types, float(value)))
        except ValueError:
            pass
    return found


def _matches(types: str, kind: str) -> bool:
    """Whether the type ``kind`` is one of ``types``: a type, or a range such as ``*``, ``2*`` or ``1*3``."""
    if "*" not in types:
        return types == kind
    low, _, high = types.partition("*")
    try:
        number = int(kind)
        return (not low or number >= int(low)) and (not high or number <= int(high))
    except ValueError:
        return False


def _uniform(commands: list[tuple[str, float]]) -> float | None:
    """The mass of every type when a ``mass *`` command set it and no later command changed one."""
    last = max((k for k, (types, _) in enumerate(commands) if types == "*"), default=None)
    if last is None:
        return None
    value = commands[last][1]
    return value if all(v == value for _, v in commands[last:]) else None


def _read_data(path: Path, atom_style: str | None) -> tuple[dict[str, float], dict[str, int]] | None:
    """The masses of the Masses section and the atoms of each type of the Atoms section of a data file."""
    try:
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
    except OSError:
        return None
    masses: dict[str, float] = {}
    counts: dict[str, int] = {}
    section, column = None, None
    for line in lines[1:]:  # the first line is a title
        words = line.split("#")[0].split()
        if not words:
            continue
        if words[0][0].isalpha():  # a section's name: its lines follow
            section = words[0] if len(words) == 1 else " ".join(words)
            if section == "Atoms":
                style = line.partition("#")[2].strip() or atom_style
                column = TYPE_COLUMN.get(style or "")
                if column is None:
                    return None
            continue
        if section == "Masses" and len(words) >= 2:
            try:
                masses[words[0]] = float(words[1])
            except ValueError:
                return None
        elif section == "Atoms" and column is not None:
            if len(words) <= column:
                return None
            counts[words[column]] = counts.get(words[column], 0) + 1
    if not counts:
        return None
    return masses, counts
