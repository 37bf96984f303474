"""What a LAMMPS log says about a run: its unit style and the order-n sampling of its tables.

LAMMPS echoes an input line once as written and once more after each
substitution of a ``${variable}``, so only a line without ``$`` is the
command that ran. The sampling of a table comes from its ``fix ... ordern``
line, the timestep in force when the runs after it started and the steps of
those runs ("Loop time of ... for N steps").
"""

from __future__ import annotations

import math
import re
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path

from ..sampling import Sampling

# The commands a log is read for, found in one scan: units, fix, unfix, timestep, variable, Loop time,
# and what tells the system's mass: mass, include, read_data, atom_style, create_atoms.
_LINE = re.compile(
    r"^[ \t]*(units|fix|unfix|timestep|variable|Loop time of|Step|mass|include|read_data|atom_style"
    r"|create_atoms)[ \t]([^\n]*)",
    re.MULTILINE,
)
_LOOP = re.compile(r" for (\d+) steps")
_LOOP_ATOMS = re.compile(r" with (\d+) atoms")
_CREATED = re.compile(r"^[ \t]*Created (\d+) atoms", re.MULTILINE)
# The box LAMMPS prints when it is made, read or changed: "orthogonal box = (xlo ylo zlo) to (xhi yhi zhi)".
_BOX = re.compile(r"(?:orthogonal|triclinic) box = \(([^)]*)\) to \(([^)]*)\)")
# Fix styles that change the box: barostats and deformation.
_BAROSTAT = re.compile(r"(?:^|/)(?:npt|nph)(?:/|$)|^press/|^box/relax$|^deform$")
_AVE_DENSITY = re.compile(r"\S+[ \t]+\S+[ \t]+ave/time[ \t](.*)\bfile[ \t]+density\.dat")

#: Table kinds that each order-n style writes, and its sampling interval in NEVERY.
STYLE_TABLES: dict[str, tuple[tuple[str, ...], int]] = {
    "diffusivity": (("diffself", "diffonsag"), 1),
    # The flux styles integrate over two NEVERY intervals per sample.
    "viscosity": (("viscosity",), 2),
    "thermalconductivity": (("tconductivity",), 2),
}


@dataclass(frozen=True)
class OrderN:
    """One substituted ``fix ID GROUP ordern STYLE NEVERY NWRITE ... nb NB nbe NBE`` line."""

    fix_id: str
    style: str
    nevery: int
    nb: int | None
    nbe: int | None
    position: int


@dataclass(frozen=True)
class LogInfo:
    """The facts of one log, each with its offset in the log for ordering."""

    name: str
    units: str | None
    fixes: Mapping[str, OrderN]
    timesteps: tuple[tuple[int, float], ...]
    runs: tuple[tuple[int, int], ...]
    unfixes: tuple[tuple[int, str], ...]
    density_expression: str | None
    thermo: tuple[tuple[int, tuple[str, ...]], ...] = ()
    """Offset of the first row of each thermo block, and its column names."""
    text: str = field(default="", repr=False)
    fix_styles: tuple[tuple[int, str, str], ...] = ()
    """Offset, ID and style of every fix command."""
    boxes: tuple[tuple[int, float], ...] = ()
    """Offset and volume of every box the log prints, in the style's volume unit."""
    masses: tuple[tuple[str, float], ...] = ()
    """Every ``mass TYPES VALUE`` command, in order (TYPES may hold a wildcard)."""
    includes: tuple[str, ...] = ()
    """The files of ``include`` commands."""
    data_files: tuple[str, ...] = ()
    """The files of ``read_data`` commands."""
    atom_style: str | None = None
    created: tuple[tuple[str, int], ...] = ()
    """(atom type, atoms) of every ``create_atoms TYPE ...`` followed by "Created N atoms" (type "" when
    the atoms are of several types)."""
    atoms: int | None = None
    """The number of atoms of the last finished run."""

    def production_start(self) -> int | None:
        """The offset of the first order-n fix: where the production runs begin; None without one."""
        return min((fix.position for fix in self.fixes.values()), default=None)

    def box_volume(self) -> float | None:
        """The volume of the box during the production runs, in the style's volume unit; None when unknown.

        The mean of the thermo column Volume (else of Lx·Ly·Lz) over the production runs, else the
        box the log printed last before them, unless a barostat or a deformation is active then.
        """
        volume = self.thermo_mean("Volume")
        if volume is not None and volume > 0.0:
            return volume
        sides = [self.thermo_mean(name) for name in ("Lx", "Ly", "Lz")]
        if all(side is not None and side > 0.0 for side in sides):
            return float(math.prod(side for side in sides if side is not None))
        start = self.production_start()
        end = len(self.text) if start is None else start
        before = [volume for where, volume in self.boxes if where < end]
        if not before or self._box_changes(end):
            return None
        return before[-1]

    def _box_changes(self, start: int) -> bool:
        """Whether a fix that changes the box is active at ``start`` or defined after it."""
        latest: dict[str, tuple[int, str]] = {}
        for where, fix_id, style in self.fix_styles:
            if where >= start:
                if _BAROSTAT.search(style):
                    return True
            else:
                latest[fix_id] = (where, style)
        for fix_id, (where, style) in latest.items():
            removed = any(name == fix_id and where < at < start for at, name in self.unfixes)
            if not removed and _BAROSTAT.search(style):
                return True
        return False

    def thermo_mean(self, column: str) -> float | None:
        """Mean of a thermo column over the production runs, None when the log has none.

        The production runs are those after the first order-n fix (else the
        last run); each block's first row, the state its run starts from, is
        left out.
        """
        start = self.production_start()
        blocks = [b for b in self.thermo if start is None or b[0] > start]
        if start is None:
            blocks = blocks[-1:]
        values: list[float] = []
        for offset, names in blocks:
            if column not in names:
                continue
            index, text = names.index(column), self.text
            block: list[float] = []
            while offset < len(text):
                end = text.find("\n", offset)
                end = len(text) if end < 0 else end
                words, offset = text[offset:end].split(), end + 1
                if len(words) != len(names):
                    break
                try:
                    block.append(float(words[index]))
                    float(words[0])
                except ValueError:
                    break
            values += block[1:] if len(block) > 1 else block
        finite = [v for v in values if math.isfinite(v)]
        return sum(finite) / len(finite) if finite else None

    def timestep_at(self, position: int, default: float) -> float:
        """The timestep in force at ``position`` of the log."""
        value = default
        for where, step in self.timesteps:
            if where > position:
                break
            value = step
        return value

    def sampling(
        self, style: str, default_timestep: float, run_length: float | None
    ) -> tuple[Sampling | None, tuple[str, str] | None]:
        """The sampling of ``style``'s tables, or None and why (a warning code and a message).

        ``run_length`` (time units) stands in for the runs the log shows.
        """
        fix = self.fixes.get(style)
        if fix is None:
            return None, None
        if fix.nbe is None or fix.nbe < 1:
            return None, ("sampling_unknown", f"fix {fix.fix_id} (ordern {style}) names no nbe")
        end = min((where for where, name in self.unfixes if name == fix.fix_id and where > fix.position), default=None)
        runs = [(where, steps) for where, steps in self.runs if where > fix.position and (end is None or where < end)]
        # The first run after the fix starts with the timestep of the fix line or a later one.
        timestep = self.timestep_at(runs[0][0] if runs else fix.position, default_timestep)
        if run_length is None:
            if not runs:
                return None, (
                    "no_run_length",
                    f"the log shows no finished run after fix {fix.fix_id} "
                    f"(ordern {style}), so the run length is unknown; give run_length=",
                )
            run_length = sum(steps * self.timestep_at(where, default_timestep) for where, steps in runs)
        interval = fix.nevery * STYLE_TABLES[style][1] * timestep
        return Sampling(interval=interval, nbe=fix.nbe, run_length=run_length, blocks=fix.nb), None


def read_units_line(log: Path) -> str | None:
    """The style of the first ``units`` command of a LAMMPS log, or None."""
    with open(log, encoding="utf-8", errors="replace") as stream:
        for line in stream:
            words = line.split()
            if len(words) >= 2 and words[0] == "units":
                return words[1]
    return None


def _int_after(tokens: list[str], keyword: str) -> int | None:
    try:
        return int(tokens[tokens.index(keyword) + 1])
    except (ValueError, IndexError):
        return None


def _fix(position: int, words: list[str]) -> OrderN | None:
    """The order-n fix of the words after ``fix``, None for any other fix."""
    if len(words) < 5 or words[2] != "ordern" or words[3] not in STYLE_TABLES:
        return None
    fix_id, words = words[0], words[3:]
    # The keywords end where a title, a file list or a comment begins.
    for stop in ("title", "file"):
        if stop in words:
            words = words[: words.index(stop)]
    words = [w for w in words if not w.startswith("#")]
    try:
        nevery = int(words[1])
    except ValueError:
        return None
    return OrderN(fix_id, words[0], nevery, _int_after(words, "nb"), _int_after(words, "nbe"), position)


def parse_log(log: Path) -> LogInfo:
    """Read ``log``; raises OSError when it cannot be read."""
    text = log.read_text(encoding="utf-8", errors="replace")
    units: str | None = None
    fixes: dict[str, OrderN] = {}
    timesteps: list[tuple[int, float]] = []
    runs: list[tuple[int, int]] = []
    unfixes: list[tuple[int, str]] = []
    variables: dict[str, str] = {}
    density: str | None = None
    thermo: list[tuple[int, tuple[str, ...]]] = []
    fix_styles: list[tuple[int, str, str]] = []
    masses: list[tuple[str, float]] = []
    includes: list[str] = []
    data_files: list[str] = []
    atom_style: str | None = None
    created: list[tuple[str, int]] = []
    atoms: int | None = None
    for match in _LINE.finditer(text):
        command, rest = match.group(1), match.group(2)
        if command == "Step":
            thermo.append((match.end() + 1, ("Step", *rest.split())))
            continue
        if command == "Loop time of":
            steps = _LOOP.search(rest)
            if steps:
                runs.append((match.start(), int(steps.group(1))))
            count = _LOOP_ATOMS.search(rest)
            if count:
                atoms = int(count.group(1))
            continue
        if "$" in rest:  # an echo before substitution
            continue
        words = rest.split("#")[0].split() if command != "fix" else rest.split()
        if not words:
            continue
        if command == "units":
            units = units or words[0]
        elif command == "mass" and len(words) >= 2:
            try:
                masses.append((words[0], float(words[1])))
            except ValueError:
                pass
        elif command == "include":
            includes.append(words[0])
        elif command == "read_data":
            data_files.append(words[0])
        elif command == "atom_style":
            atom_style = words[0]
        elif command == "create_atoms":
            made = _CREATED.search(text, match.end())
            nearby = made is not None and _LINE.search(text, match.end(), made.start()) is None
            if made is not None and nearby:  # this command's own report, not a later one's
                # Atoms of a basis or of a molecule template hold several types: their split is unknown.
                mixed = "basis" in words or "mol" in words or words[0] == "0"
                created.append(("" if mixed else words[0], int(made.group(1))))
        elif command == "fix":
            if len(words) >= 3:
                fix_styles.append((match.start(), words[0], words[2]))
            fix = _fix(match.start(), words)
            if fix is not None:
                fixes[fix.style] = fix
            averaged = _AVE_DENSITY.match(rest.split("#")[0])
            if averaged:
                names = [word[2:] for word in averaged.group(1).split() if word.startswith("v_")]
                density = variables.get(names[0]) if len(names) == 1 else None
        elif command == "unfix":
            unfixes.append((match.start(), words[0]))
        elif command == "timestep":
            try:
                timesteps.append((match.start(), float(words[0])))
            except ValueError:
                pass
        elif len(words) >= 3 and words[1] == "equal":  # variable NAME equal EXPR
            variables[words[0]] = " ".join(rest.split("#")[0].split()[2:])
    boxes = [(box.start(), _box_volume(box.group(1), box.group(2))) for box in _BOX.finditer(text)]
    return LogInfo(
        log.name,
        units,
        fixes,
        tuple(timesteps),
        tuple(runs),
        tuple(unfixes),
        density,
        tuple(thermo),
        text,
        tuple(fix_styles),
        tuple((w, v) for w, v in boxes if v is not None),
        tuple(masses),
        tuple(includes),
        tuple(data_files),
        atom_style,
        tuple(created),
        atoms,
    )


def _box_volume(low: str, high: str) -> float | None:
    """The volume of the box from (xlo ylo zlo) to (xhi yhi zhi), None unless it is a positive number."""
    try:
        lows, highs = [float(v) for v in low.split()], [float(v) for v in high.split()]
    except ValueError:
        return None
    if len(lows) != 3 or len(highs) != 3:
        return None
    volume = math.prod(h - lo for lo, h in zip(lows, highs))
    return volume if math.isfinite(volume) and volume > 0.0 else None
