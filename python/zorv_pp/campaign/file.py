"""Campaign files: the species, state points and settings of a study, in TOML.

    units = "real"                 # optional: else each run's log
    viscosity = 8.9e-4             # optional, Pa·s: replaces the mean shear viscosity in Yeh–Hummer
    run_length = 1.0e6             # optional: production length, in the runs' time unit (else the log)
    density_unit = "g/cm3"         # optional: unit of density.dat (else decided from the run)
    [species.K]
    group = "K"                    # log group counted (default: the species name)
    atoms_per_molecule = 1         # atoms of the group per molecule (default 1)
    charge = 1                     # in e (needed for the electrical conductivities)
    molar_mass = 39.0983           # g/mol (checks the density against volume and counts)
    [window]                       # fit settings of every curve, see zorv_pp.Window
    margin = 0.1
    [window.shear_viscosity]       # ...and of one fit group
    max_error = 0.2
    [sampling]                     # order-n sampling of every MSD table (else the log)
    interval = 1000.0              # needs interval and nbe; blocks optional; run_length here
    nbe = 20                       # unless given above (which wins); time unit of the tables
    [sampling.viscosity]           # ...and of one table kind (diffself, diffonsag, viscosity,
    interval = 10.0                # tconductivity)
    [[state]]
    name = "m2.0_T298"             # default: the folder holding the first run
    runs = ["m2.0_T298/rep*"]      # globs relative to this file
    temperature = 298.15           # K, for runs without temperature.dat; kept as metadata
    viscosity = 8.9e-4             # Pa·s, this state's own (wins over the top-level one)
    run_length = 1.0e6             # this state's own production length
    [state.metadata]               # free keys of this state, kept with its results
    molality = 2.0

Any other key, anywhere, is an error: a typo can never pass for a setting
or for metadata. Every error names the file, the line and the key.
"""

from __future__ import annotations

import glob
import math
import os
import tomllib
from collections.abc import Callable, Mapping
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from ..errors import CampaignError
from ..msdfit.window import Window, windows_for
from ..properties import fit_groups
from ..run import DENSITY_UNITS, GroupChoice, density_unit_name
from ..run.sampling import SAMPLED_TABLES, Sampling
from ..units import UnitStyleError, unit_style
from .toml_lines import Lines, Table, dotted

#: Top-level tables that studies built over a campaign read and check themselves.
STUDY_TABLES = ("koh",)
TOP_KEYS = ("units", "viscosity", "run_length", "density_unit", "species", "window", "sampling", "state", *STUDY_TABLES)
STATE_KEYS = ("name", "runs", "temperature", "viscosity", "run_length", "metadata")
SPECIES_KEYS = ("atoms_per_molecule", "charge", "group", "molar_mass")
SAMPLING_KEYS = ("interval", "nbe", "blocks", "run_length")
#: Table kinds whose rows the order-n computation samples.

Fail = Callable[[Table, str | None, str], CampaignError]


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
    """A state point: its name, run folders, temperature (K) and metadata.

    ``metadata`` holds the keys of its ``[state.metadata]`` table, and the
    temperature when one is given.
    """

    name: str
    runs: tuple[Path, ...]
    temperature: float | None
    viscosity: float | None
    metadata: Mapping[str, Any]
    line: int | None = None
    run_length: float | None = None


@dataclass(frozen=True)
class Campaign:
    """A parsed campaign file (see the module's documentation for the format).

    ``sampling`` maps a table kind to its order-n settings (the ``[sampling]``
    table merged with the kind's own), only kinds with some setting.
    """

    path: Path
    units: str | None
    species: Mapping[str, Species]
    states: tuple[StatePoint, ...]
    windows: Mapping[str, Window]
    viscosity: float | None = None
    raw: Mapping[str, Any] = field(default_factory=dict, repr=False)
    text: str = field(default="", repr=False)
    run_length: float | None = None
    density_unit: str | None = None
    sampling: Mapping[str, Mapping[str, float | int]] = field(default_factory=dict)

    @property
    def charges(self) -> dict[str, float] | None:
        """Charges of every species, or None when some species has none."""
        if not self.species or any(s.charge is None for s in self.species.values()):
            return None
        return {name: float(s.charge) for name, s in self.species.items() if s.charge is not None}

    @property
    def groups(self) -> dict[str, GroupChoice]:
        """Log group of every species, as :meth:`zorv_pp.Run.load` takes them."""
        return {name: (s.group, s.atoms_per_molecule) for name, s in self.species.items()}

    @property
    def molar_masses(self) -> dict[str, float]:
        """Molar mass (g/mol) of every species that gives one."""
        return {name: s.molar_mass for name, s in self.species.items() if s.molar_mass is not None}

    def error(self, table: Table, key: str | None, message: str) -> CampaignError:
        """A CampaignError naming this file, the line of ``key`` in ``table`` and the key."""
        return campaign_error(self.path, Lines(self.text).of(table, key), dotted(table, key), message)

    def state_error(self, index: int, key: str | None, message: str) -> CampaignError:
        """A CampaignError about key ``key`` of the ``index``-th [[state]] table."""
        return self.error(("state", str(index)), key, message)

    def samplings(self, point: StatePoint) -> dict[str, Sampling] | None:
        """The order-n sampling of each table kind the campaign sets, for the runs of ``point``."""
        length = point.run_length if point.run_length is not None else self.run_length
        found = {
            kind: Sampling(
                float(s["interval"]),
                int(s["nbe"]),
                float(s["run_length"]) if "run_length" in s else (length or 0.0),
                int(s["blocks"]) if "blocks" in s else None,
            )
            for kind, s in self.sampling.items()
        }
        return found or None

    def metadata_error(self, index: int, key: str | None, message: str) -> CampaignError:
        """A CampaignError about key ``key`` of the ``[state.metadata]`` of the ``index``-th state."""
        return self.error(("state", str(index), "metadata"), key, message)


def campaign_error(path: Path, line: int | None, key: str, message: str) -> CampaignError:
    where = f"{path}:{line}" if line else str(path)
    return CampaignError(f"{where}: {key}: {message}")


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
    lines = Lines(text)

    def fail(table: Table, key: str | None, message: str) -> CampaignError:
        return campaign_error(file, lines.of(table, key), dotted(table, key), message)

    _known(raw, (), TOP_KEYS, fail)
    units = raw.get("units")
    if units is not None:
        try:
            unit_style(units)
        except UnitStyleError as error:
            raise fail((), "units", str(error)) from None
    density_unit = raw.get("density_unit")
    if density_unit is not None and (not isinstance(density_unit, str) or density_unit_name(density_unit) is None):
        raise fail((), "density_unit", f"must be one of {', '.join(DENSITY_UNITS)}, not {density_unit!r}")
    viscosity = _number(raw, "viscosity", (), fail, required=False, positive=True)
    run_length = _number(raw, "run_length", (), fail, required=False, positive=True)
    species = _species(_table(raw, "species", (), fail), fail)
    windows = _windows(_table(raw, "window", (), fail), fail)
    sampling = _sampling(_table(raw, "sampling", (), fail), fail)
    states = raw.get("state")
    if not isinstance(states, list) or not states:
        raise fail((), "state", "a campaign needs at least one [[state]] table")
    points = tuple(_state(index, entry, file.parent, fail, lines) for index, entry in enumerate(states))
    names = [point.name for point in points]
    for index, point in enumerate(points):
        if names.index(point.name) != index:
            raise fail(("state", str(index)), "name", f"state name {point.name!r} is used twice")
        if run_length is None and point.run_length is None:
            for kind, settings in sampling.items():
                if "run_length" not in settings:
                    where = ("sampling", kind) if ("sampling", kind) in lines.tables else ("sampling",)
                    raise fail(
                        where,
                        "run_length",
                        f"missing for the {kind} tables of state {point.name!r}: "
                        "give it here, at the top level or in the [[state]]",
                    )
    return Campaign(file, units, species, points, windows, viscosity, raw, text, run_length, density_unit, sampling)


def _known(table: Mapping[str, Any], where: Table, known: tuple[str, ...], fail: Fail, hint: str = "") -> None:
    for key in table:
        if key not in known:
            raise fail(where, key, f"unknown key (known: {', '.join(known)}){hint}")


def _table(parent: Mapping[str, Any], key: str, where: Table, fail: Fail) -> dict[str, Any]:
    value = parent.get(key, {})
    if not isinstance(value, dict):
        raise fail(where, key, f"must be a table, not {value!r}")
    return value


def _number(
    table: Mapping[str, Any], key: str, where: Table, fail: Fail, required: bool = True, positive: bool = False
) -> float | None:
    if key not in table:
        if required:
            raise fail(where, key, "missing")
        return None
    value = table[key]
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        raise fail(where, key, f"must be a number, not {value!r}")
    if positive and not value > 0:
        raise fail(where, key, f"must be positive, not {value!r}")
    return float(value)


def _species(table: dict[str, Any], fail: Fail) -> dict[str, Species]:
    found = {}
    for name, entry in table.items():
        where = ("species", name)
        if not isinstance(entry, dict):
            raise fail(("species",), name, "must be a table")
        _known(entry, where, SPECIES_KEYS, fail)
        group = entry.get("group", name)
        if not isinstance(group, str) or not group:
            raise fail(where, "group", f"must be a group name, not {group!r}")
        per_molecule = entry.get("atoms_per_molecule", 1)
        if isinstance(per_molecule, bool) or not isinstance(per_molecule, int) or per_molecule < 1:
            raise fail(where, "atoms_per_molecule", f"must be a positive whole number, not {per_molecule!r}")
        found[name] = Species(
            name,
            group,
            per_molecule,
            _number(entry, "charge", where, fail, False),
            _number(entry, "molar_mass", where, fail, False, positive=True),
        )
    return found


def _windows(table: dict[str, Any], fail: Fail) -> dict[str, Window]:
    result: dict[str, Window] = {}
    groups = {"": {k: v for k, v in table.items() if not isinstance(v, dict)}}
    for group, settings in table.items():
        if isinstance(settings, dict):
            if group not in fit_groups():
                raise fail(("window",), group, f"unknown fit group (known: {', '.join(fit_groups())})")
            groups[group] = settings
    for group, settings in groups.items():
        where = ("window", group) if group else ("window",)
        for key, value in settings.items():  # one at a time, so that the error names its key
            try:
                Window.from_mapping({key: value})
            except ValueError as error:
                raise fail(where, key, str(error)) from None
        try:  # each key is sound; together (with the common settings) they may still form no range
            result[group or "default"] = Window.from_mapping(settings, result.get("default"))
        except ValueError as error:
            raise fail(where, "end" if "end" in settings else "start", str(error)) from None
    return windows_for(result)


def _sampling(table: dict[str, Any], fail: Fail) -> dict[str, dict[str, float | int]]:
    def settings(entry: dict[str, Any], where: Table) -> dict[str, float | int]:
        found: dict[str, float | int] = {}
        for key, value in entry.items():
            if key not in SAMPLING_KEYS:
                raise fail(where, key, f"unknown key (known: {', '.join(SAMPLING_KEYS)})")
            if key in ("nbe", "blocks"):
                least = 2 if key == "nbe" else 1
                if isinstance(value, bool) or not isinstance(value, int) or value < least:
                    raise fail(where, key, f"must be a whole number of at least {least}, not {value!r}")
                found[key] = value
            else:
                found[key] = _number(entry, key, where, fail, positive=True) or 0.0
        return found

    def complete(found: dict[str, float | int], where: Table) -> dict[str, float | int]:
        for key in ("interval", "nbe"):
            if key not in found:
                raise fail(where, key, "missing: a sampling needs interval and nbe")
        return found

    common = settings({k: v for k, v in table.items() if not isinstance(v, dict)}, ("sampling",))
    own: dict[str, dict[str, float | int]] = {}
    for kind, entry in table.items():
        if isinstance(entry, dict):
            if kind not in SAMPLED_TABLES:
                raise fail(("sampling",), kind, f"unknown table kind (known: {', '.join(SAMPLED_TABLES)})")
            own[kind] = settings(entry, ("sampling", kind))
    # The common settings hold for every kind; a kind's own table completes or overrides them.
    return {
        kind: complete({**common, **own.get(kind, {})}, ("sampling", kind) if kind in own else ("sampling",))
        for kind in SAMPLED_TABLES
        if common or kind in own
    }


def _state(index: int, entry: Any, base: Path, fail: Fail, lines: Lines) -> StatePoint:
    where = ("state", str(index))
    if not isinstance(entry, dict):
        raise fail(where, None, "must be a table")
    _known(entry, where, STATE_KEYS, fail, "; free keys belong in [state.metadata]")
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
    viscosity = _number(entry, "viscosity", where, fail, required=False, positive=True)
    run_length = _number(entry, "run_length", where, fail, required=False, positive=True)
    metadata = _table(entry, "metadata", where, fail)
    for key, value in metadata.items():
        if key in STATE_KEYS:
            # Keys after [state.metadata] belong to it: a state key there was meant for the state.
            raise fail(
                (*where, "metadata"), key, f"{key} is a key of [[state]] itself: write it above [state.metadata]"
            )
        if isinstance(value, dict) or not isinstance(value, (str, int, float, bool, list)):
            raise fail((*where, "metadata"), key, f"must be a text, a number, a boolean or a list, not {value!r}")
    kept = ({"temperature": temperature} if temperature is not None else {}) | metadata
    return StatePoint(name, tuple(dict.fromkeys(runs)), temperature, viscosity, kept, lines.of(where), run_length)
