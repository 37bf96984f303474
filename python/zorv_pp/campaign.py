"""Campaign files: the species, state points and settings of a study, in TOML.

    units = "real"                 # optional: else each run's log
    viscosity = 8.9e-4             # optional, Pa·s: replaces the mean shear viscosity in Yeh–Hummer
    [species.K]
    group = "K"                    # log group counted (default: the species name)
    atoms_per_molecule = 1         # atoms of the group per molecule (default 1)
    charge = 1                     # in e (needed for the electrical conductivities)
    molar_mass = 39.0983           # g/mol
    [window]                       # fit settings of every curve, see zorv_pp.Window
    margin = 0.1
    [window.shear_viscosity]       # ...and of one fit group
    max_error = 0.2
    [[state]]
    name = "m2.0_T298"             # default: the folder holding the first run
    runs = ["m2.0_T298/rep*"]      # globs relative to this file
    temperature = 298.15           # K, for runs without temperature.dat; kept as metadata
    molality = 2.0                 # any other key is kept as the state's metadata

Every error names the file, the line and the key.
"""
from __future__ import annotations

import glob
import math
import os
import re
import tomllib
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from .errors import CampaignError
from .run import GroupSpec
from .units import UnitStyleError, unit_style
from .window import FIT_GROUPS, Window, windows_for

_HEADER = re.compile(r"^\s*(\[\[?)\s*([^\]]+?)\s*\]\]?")
_KEY = re.compile(r"^\s*([A-Za-z0-9_\-\"']+)\s*=")


class _Lines:
    """Line numbers of the keys of a TOML text, by table path and key."""

    def __init__(self, text: str) -> None:
        self.lines: dict[tuple[tuple[str, ...], str], int] = {}
        self.tables: dict[tuple[str, ...], int] = {}
        table: tuple[str, ...] = ()
        arrays: dict[str, int] = {}
        for number, line in enumerate(text.splitlines(), start=1):
            header = _HEADER.match(line)
            if header:
                name = header.group(2).replace('"', "").replace("'", "")
                if header.group(1) == "[[":
                    arrays[name] = arrays.get(name, -1) + 1
                    table = (name, str(arrays[name]))
                else:
                    table = tuple(part.strip() for part in name.split("."))
                self.tables.setdefault(table, number)
                continue
            key = _KEY.match(line)
            if key:
                self.lines.setdefault((table, key.group(1).strip("\"'")), number)

    def of(self, table: tuple[str, ...], key: str | None = None) -> int | None:
        if key is not None and (table, key) in self.lines:
            return self.lines[(table, key)]
        return self.tables.get(table)


@dataclass(frozen=True)
class Species:
    """A species of the campaign: its log group, charge (e) and molar mass (g/mol)."""

    name: str
    group: str
    atoms_per_molecule: int = 1
    charge: float | None = None
    molar_mass: float | None = None


@dataclass(frozen=True)
class StatePoint:
    """A state point: its name, run folders, temperature (K) and other metadata."""

    name: str
    runs: tuple[Path, ...]
    temperature: float | None
    viscosity: float | None
    metadata: Mapping[str, Any]
    line: int | None = None


@dataclass(frozen=True)
class Campaign:
    """A parsed campaign file (see the module's documentation for the format)."""

    path: Path
    units: str | None
    species: Mapping[str, Species]
    states: tuple[StatePoint, ...]
    windows: Mapping[str, Window]
    viscosity: float | None = None
    raw: Mapping[str, Any] = field(default_factory=dict, repr=False)
    text: str = field(default="", repr=False)

    @property
    def charges(self) -> dict[str, float] | None:
        """Charges of every species, or None when some species has none."""
        if not self.species or any(s.charge is None for s in self.species.values()):
            return None
        return {name: float(s.charge) for name, s in self.species.items() if s.charge is not None}

    @property
    def groups(self) -> dict[str, GroupSpec]:
        """Log group of every species, as :meth:`zorv_pp.Run.load` takes them."""
        return {name: (s.group, s.atoms_per_molecule) for name, s in self.species.items()}

    def error(self, table: tuple[str, ...], key: str | None, message: str) -> CampaignError:
        """A CampaignError naming this file, the line of ``key`` in ``table`` and the key."""
        return campaign_error(self.path, _Lines(self.text).of(table, key), _dotted(table, key), message)

    def state_error(self, index: int, key: str | None, message: str) -> CampaignError:
        """A CampaignError about key ``key`` of the ``index``-th [[state]] table."""
        return self.error(("state", str(index)), key, message)


def campaign_error(path: Path, line: int | None, key: str, message: str) -> CampaignError:
    where = f"{path}:{line}" if line else str(path)
    return CampaignError(f"{where}: {key}: {message}")


def _dotted(table: tuple[str, ...], key: str | None) -> str:
    if len(table) == 2 and table[1].isdigit():
        name = f"{table[0]}[{int(table[1]) + 1}]"
    else:
        name = ".".join(table)
    return ".".join(part for part in (name, key) if part)


def load_campaign(path: str | os.PathLike[str]) -> Campaign:
    """Read and check a campaign file; raises :class:`CampaignError` naming line and key."""
    file = Path(path)
    try:
        text = file.read_text(encoding="utf-8")
        raw = tomllib.loads(text)
    except (OSError, UnicodeDecodeError) as error:
        raise CampaignError(f"{file}: {error}") from None
    except tomllib.TOMLDecodeError as error:
        raise CampaignError(f"{file}: not valid TOML: {error}") from None
    lines = _Lines(text)

    def fail(table: tuple[str, ...], key: str | None, message: str) -> CampaignError:
        return campaign_error(file, lines.of(table, key), _dotted(table, key), message)

    units = raw.get("units")
    if units is not None:
        try:
            unit_style(units)
        except UnitStyleError as error:
            raise fail((), "units", str(error)) from None
    viscosity = _number(raw, "viscosity", (), fail, required=False)
    species = _species(raw.get("species", {}), fail)
    windows = _windows(raw.get("window", {}), fail)
    states = raw.get("state")
    if not isinstance(states, list) or not states:
        raise fail((), "state", "a campaign needs at least one [[state]] table")
    points = tuple(_state(index, entry, file.parent, fail, lines) for index, entry in enumerate(states))
    names = [point.name for point in points]
    for index, point in enumerate(points):
        if names.index(point.name) != index:
            raise fail(("state", str(index)), "name", f"state name {point.name!r} is used twice")
    return Campaign(file, units, species, points, windows, viscosity, raw, text)


def _number(table: Mapping[str, Any], key: str, where: tuple[str, ...], fail: Any,
            required: bool = True) -> float | None:
    if key not in table:
        if required:
            raise fail(where, key, "missing")
        return None
    value = table[key]
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        raise fail(where, key, f"must be a number, not {value!r}")
    return float(value)


def _species(table: Any, fail: Any) -> dict[str, Species]:
    if not isinstance(table, dict):
        raise fail((), "species", "must be a table of species")
    found = {}
    known = {"group", "atoms_per_molecule", "charge", "molar_mass"}
    for name, entry in table.items():
        where = ("species", name)
        if not isinstance(entry, dict):
            raise fail(("species",), name, "must be a table")
        for key in entry:
            if key not in known:
                raise fail(where, key, f"unknown key (known: {', '.join(sorted(known))})")
        group = entry.get("group", name)
        if not isinstance(group, str) or not group:
            raise fail(where, "group", f"must be a group name, not {group!r}")
        per_molecule = entry.get("atoms_per_molecule", 1)
        if isinstance(per_molecule, bool) or not isinstance(per_molecule, int) or per_molecule < 1:
            raise fail(where, "atoms_per_molecule", f"must be a positive whole number, not {per_molecule!r}")
        found[name] = Species(name, group, per_molecule, _number(entry, "charge", where, fail, False),
                              _number(entry, "molar_mass", where, fail, False))
    return found


def _windows(table: Any, fail: Any) -> dict[str, Window]:
    if not isinstance(table, dict):
        raise fail((), "window", "must be a table of fit settings")
    flat = {k: v for k, v in table.items() if not isinstance(v, dict)}
    try:
        base = Window.from_mapping(flat)
    except ValueError as error:
        raise fail(("window",), next(iter(flat), None), str(error)) from None
    result = {"default": base}
    for group, settings in table.items():
        if not isinstance(settings, dict):
            continue
        if group not in FIT_GROUPS:
            raise fail(("window",), None, f"unknown fit group [window.{group}] (known: {', '.join(FIT_GROUPS)})")
        try:
            result[group] = Window.from_mapping(settings, base)
        except ValueError as error:
            raise fail(("window", group), next(iter(settings), None), str(error)) from None
    return windows_for(result)


def _state(index: int, entry: Any, base: Path, fail: Any, lines: _Lines) -> StatePoint:
    where = ("state", str(index))
    if not isinstance(entry, dict):
        raise fail(where, None, "must be a table")
    patterns = entry.get("runs")
    if isinstance(patterns, str):
        patterns = [patterns]
    if not isinstance(patterns, list) or not patterns or not all(isinstance(p, str) for p in patterns):
        raise fail(where, "runs", "must be a list of run folder globs")
    runs: list[Path] = []
    for pattern in patterns:
        matched = sorted(Path(p) for p in glob.glob(os.path.join(base, pattern)) if os.path.isdir(p))
        if not matched:
            raise fail(where, "runs", f"no run folder matches {pattern!r}")
        runs.extend(matched)
    name = entry.get("name", runs[0].parent.name)
    if not isinstance(name, str) or not name:
        raise fail(where, "name", f"must be a text, not {name!r}")
    temperature = _number(entry, "temperature", where, fail, required=False)
    viscosity = _number(entry, "viscosity", where, fail, required=False)
    metadata = {k: v for k, v in entry.items() if k not in ("name", "runs", "viscosity")}
    return StatePoint(name, tuple(dict.fromkeys(runs)), temperature, viscosity, metadata, lines.of(where))
