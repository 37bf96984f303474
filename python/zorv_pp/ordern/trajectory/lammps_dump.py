"""What the first frame of a LAMMPS text dump says about its atoms: ids, molecules, types, masses and the
columns each frame holds.

MDAnalysis reads a dump's frames but makes every atom one residue of unit mass;
the molecules (``mol``) and masses are taken from here instead.
"""

from __future__ import annotations

import gzip
import os
from collections.abc import Mapping
from dataclasses import dataclass
from pathlib import Path
from typing import IO

import numpy as np
import numpy.typing as npt

from ..errors import SourceError

IntArray = npt.NDArray[np.int64]
FloatArray = npt.NDArray[np.float64]


@dataclass(frozen=True)
class DumpAtoms:
    """The atoms of a dump sorted by id, as MDAnalysis orders them."""

    columns: tuple[str, ...]
    ids: IntArray
    types: tuple[str, ...]
    molecules: IntArray | None
    masses: FloatArray | None
    triclinic: bool

    def has(self, *names: str) -> bool:
        return all(name in self.columns for name in names)


def _open(path: Path) -> IO[str]:
    if path.suffix == ".gz":
        return gzip.open(path, "rt", encoding="utf-8", errors="replace")
    return path.open(encoding="utf-8", errors="replace")


def is_dump(path: str | os.PathLike[str]) -> bool:
    """Whether ``path`` starts like a LAMMPS text dump."""
    try:
        with _open(Path(path)) as f:
            return f.readline().startswith("ITEM: TIMESTEP")
    except (OSError, UnicodeError, EOFError):
        return False


def read_first_frame(path: str | os.PathLike[str]) -> DumpAtoms:
    """The atoms of the dump's first frame; a :class:`SourceError` when it is not one."""
    file = Path(path)
    with _open(file) as f:
        lines = {}
        while True:
            line = f.readline()
            if not line:
                raise SourceError(f"{file}: no 'ITEM: ATOMS' line in the first frame: not a LAMMPS dump")
            if line.startswith("ITEM: NUMBER OF ATOMS"):
                lines["atoms"] = f.readline()
            elif line.startswith("ITEM: BOX BOUNDS"):
                lines["box"] = line
            elif line.startswith("ITEM: ATOMS"):
                columns = tuple(line.split()[2:])
                break
        try:
            count = int(lines["atoms"])
            rows = [f.readline().split() for _ in range(count)]
        except (KeyError, ValueError):
            raise SourceError(f"{file}: the first frame has no number of atoms") from None
    if any(len(row) != len(columns) for row in rows):
        raise SourceError(f"{file}: the first frame's atom lines do not match its {len(columns)} columns")
    table = dict(zip(columns, zip(*rows))) if rows else {}
    if "id" not in table or "type" not in table:
        raise SourceError(f"{file}: the dump has no 'id' and 'type' columns, which tell the atoms apart")
    ids = np.array(table["id"], dtype=np.int64)
    order = np.argsort(ids, kind="stable")
    return DumpAtoms(
        columns,
        ids[order],
        tuple(table["type"][i] for i in order),
        np.array(table["mol"], dtype=np.int64)[order] if "mol" in table else None,
        np.array(table["mass"], dtype=np.float64)[order] if "mass" in table else None,
        len(lines.get("box", "").split()) > 6,
    )


def atom_masses(atoms: DumpAtoms, per_type: Mapping[str, float] | None) -> tuple[FloatArray, str]:
    """Masses of the atoms and where they came from: the dump's ``mass`` column, ``per_type``, else equal."""
    if atoms.masses is not None:
        return atoms.masses, "the dump's mass column"
    if per_type:
        missing = sorted(set(atoms.types) - set(per_type), key=str)
        if missing:
            raise SourceError(f"no mass for atom type(s) {', '.join(missing)}: give one for every type in the dump")
        return np.array([per_type[t] for t in atoms.types], dtype=np.float64), "given per atom type"
    return np.ones(len(atoms.types)), "equal masses (the dump has none and none were given per type)"


def composition_names(types: tuple[str, ...], molecules: IntArray) -> list[str]:
    """A species name per molecule from its atom types: "type1" for one atom, "mol1_2x2" for O + 2 H."""
    found: dict[int, list[str]] = {}
    for molecule, kind in zip(molecules.tolist(), types):
        found.setdefault(molecule, []).append(kind)
    names = []
    for molecule in sorted(found):
        kinds = found[molecule]
        if len(kinds) == 1:
            names.append(f"type{kinds[0]}")
            continue
        parts = [(t, kinds.count(t)) for t in sorted(set(kinds), key=lambda t: (len(t), t))]
        names.append("mol" + "_".join(t if n == 1 else f"{t}x{n}" for t, n in parts))
    return names
