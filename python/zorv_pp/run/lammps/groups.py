"""Molecule counts from the groups a LAMMPS log reports."""

from __future__ import annotations

from collections.abc import Mapping
from pathlib import Path

from ..._native import group_atom_count
from ...errors import RunError
from ..species import GroupChoice, check_count, quoted


def count_groups(
    folder: Path, species: list[str], groups: Mapping[str, GroupChoice], log: Path | None, counted: bool
) -> dict[str, int]:
    """The molecule count of every one of ``species`` from the log's group of its name (or ``groups[name]``).

    Every species the log does not count is named at once, in the error's
    message and in its ``missing_species``; ``counted`` tells that the caller
    gave counts for others, which changes the advice.
    """
    if log is None:
        if counted:
            raise RunError(folder, None, f"no molecule count given for species {quoted(species)}", species)
        raise RunError(
            folder,
            None,
            f"no molecule count for species {quoted(species)}: give counts= or add the LAMMPS log",
            species,
        )
    found: dict[str, int] = {}
    missing = []
    for name in species:
        group, per_molecule = _group(groups.get(name, name))
        try:
            atoms = group_atom_count(str(log), group)
        except ValueError:  # no such group in the log
            missing.append(name)
            continue
        except OSError as error:
            raise RunError(folder, log.name, str(error)) from None
        if atoms % per_molecule:
            raise RunError(
                folder,
                log.name,
                f"group {group!r} holds {atoms} atoms, not a whole number of molecules of {per_molecule} atoms",
            )
        found[name] = atoms // per_molecule
        check_count(folder, log.name, name, found[name])
    if missing:
        raise RunError(
            folder, log.name, f"the log counts no group of species {quoted(missing)}: give counts= or groups=", missing
        )
    return found


def _group(choice: GroupChoice) -> tuple[str, int]:
    if isinstance(choice, str):
        return choice, 1
    name, per_molecule = choice
    return name, int(per_molecule)
