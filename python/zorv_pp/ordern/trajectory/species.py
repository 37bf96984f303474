"""Species of a trajectory: named MDAnalysis selections, or the topology's own molecule names, split into
molecules."""

from __future__ import annotations

from collections.abc import Mapping

import numpy as np

from ..errors import SourceError
from .centres import IntArray, Molecules
from .opening import Opened


def _selected(opened: Opened, name: str, selection: str) -> IntArray:
    from MDAnalysis.exceptions import SelectionError

    try:
        atoms = opened.universe.select_atoms(selection)
    except (SelectionError, ValueError, KeyError, AttributeError) as error:
        raise SourceError(f"species {name}: cannot select {selection!r}: {error}") from None
    if atoms.n_atoms == 0:
        raise SourceError(f"species {name}: the selection {selection!r} matches no atom")
    return np.asarray(atoms.indices, dtype=np.int64)


def species_atoms(opened: Opened, species: Mapping[str, str] | None) -> dict[str, IntArray]:
    """The atom indices of each species: the selections given, else the default name of every atom."""
    if not species:
        names = np.array(opened.default_names, dtype=object)
        return {str(n): np.flatnonzero(names == n).astype(np.int64) for n in dict.fromkeys(opened.default_names)}
    chosen: dict[str, IntArray] = {}
    owner = np.full(len(opened.default_names), -1)
    for index, (name, selection) in enumerate(species.items()):
        if not name or any(c.isspace() for c in name):
            raise SourceError(f"species name {name!r}: a name is one word (it heads a table column)")
        atoms = _selected(opened, name, selection)
        taken = atoms[owner[atoms] >= 0]
        if taken.size:
            other = list(species)[owner[taken[0]]]
            raise SourceError(
                f"species {name} and {other} both select atom index {taken[0]}: an atom is in one species"
            )
        owner[atoms] = index
        chosen[name] = atoms
    return chosen


def molecules_of(opened: Opened, chosen: Mapping[str, IntArray]) -> tuple[Molecules, IntArray, dict[str, int]]:
    """The species' atoms grouped by molecule (a molecule's selected atoms make its centre), each molecule's
    species index and the molecule count of each species."""
    atoms, starts, which = [], [], []
    total = 0
    for index, selected in enumerate(chosen.values()):
        keys = opened.molecule_keys[selected]
        order = np.lexsort((selected, keys))
        ordered, keys = selected[order], keys[order]
        firsts = np.flatnonzero(np.r_[True, keys[1:] != keys[:-1]])
        atoms.append(ordered)
        starts.append(firsts + total)
        which.append(np.full(firsts.size, index))
        total += ordered.size
    every, firsts = np.concatenate(atoms), np.concatenate(starts)
    if np.any(np.add.reduceat(opened.masses[every], firsts) <= 0.0):
        raise SourceError("a molecule has no mass (its atoms have none): give masses per atom type")
    molecules = Molecules(every, firsts, opened.masses[every])
    counts = {name: int(w.size) for name, w in zip(chosen, which)}
    return molecules, np.concatenate(which), counts
