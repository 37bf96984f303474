"""Opening a trajectory with MDAnalysis: the universe, how its coordinates are wrapped, its molecules and
masses, and the units its frames come in.

MDAnalysis gives lengths in Å and times in ps for every format it converts
(GROMACS nm and ps, a CHARMM/NAMD DCD's AKMA time); a LAMMPS text dump it
passes through unconverted (the style's length, velocity in length per the
style's time, and steps rather than times), and a LAMMPS DCD it converts from
the time unit named to it.
"""

from __future__ import annotations

import os
import warnings
from collections.abc import Callable, Mapping
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np
import numpy.typing as npt

from ...units import METAL, UnitStyle
from ..errors import MDANALYSIS_MISSING, SourceError
from .lammps_dump import DumpAtoms, atom_masses, composition_names, is_dump, read_first_frame

FloatArray = npt.NDArray[np.float64]
IntArray = npt.NDArray[np.int64]

GROMACS_TRAJECTORIES = (".xtc", ".trr")
GROMACS_TOPOLOGIES = (".tpr", ".gro")
#: MDAnalysis's name of each LAMMPS style's time unit, for a LAMMPS DCD.
DCD_TIME_UNITS = {"real": "fs", "metal": "ps", "lj": "ps"}
PS = 1e-12


@dataclass(frozen=True)
class Opened:
    """An opened trajectory, with all that the frames do not say themselves.

    ``coordinates`` is "unwrapped", "image flags" (unwrapped by them as read)
    or "wrapped"; ``molecule_keys`` groups atoms into molecules, and
    ``default_names`` names each atom's species when none are chosen;
    ``time_of`` turns a frame into its time in the style's time unit.
    ``velocity_factor`` turns a velocity as read into the style's length per
    time; ``fixed_box`` says the reader cannot follow a box that changes.
    A DCD without a LAMMPS style is taken for CHARMM's or NAMD's (AKMA time).
    """

    universe: Any
    engine: str
    style: UnitStyle
    engine_units: str
    coordinates: str
    molecule_keys: IntArray
    default_names: list[str]
    masses: FloatArray
    masses_source: str
    time_of: Callable[[Any], float]
    velocity_factor: float
    fixed_box: bool
    notes: tuple[str, ...] = ()
    time_digits: int = 7
    """Significant digits of the interval between frames: float32 times (XTC, TRR, DCD) hold seven."""


def mdanalysis() -> Any:
    """The MDAnalysis package, imported on first use; a :class:`SourceError` saying how to install it."""
    try:
        # Recorded, not shown: its notices on its own imports are not the user's (it sets its own filters).
        with warnings.catch_warnings(record=True):
            import MDAnalysis
    except ImportError:
        raise SourceError(MDANALYSIS_MISSING) from None
    return MDAnalysis


def universe(*files: Any, **options: Any) -> Any:
    """``MDAnalysis.Universe(*files, **options)``; its refusals become a :class:`SourceError`."""
    mda = mdanalysis()
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # its notes on guessed attributes: the log says what is used
            return mda.Universe(*files, **options)
    except (OSError, ValueError, TypeError, KeyError, IndexError, EOFError) as error:
        shown = ", ".join(os.fspath(f) for f in files if isinstance(f, (str, os.PathLike)))
        # Its messages may span lines; a usage error is one.
        said = " ".join(str(error).split())
        hint = ""
        if any(str(f).endswith(".tpr") for f in files):
            hint = " (a .tpr newer than this MDAnalysis reads: give the run's .gro as the topology instead)"
        raise SourceError(f"MDAnalysis cannot read {shown}: {said}{hint}") from None


def dump_convention(atoms: DumpAtoms) -> tuple[str, bool, str]:
    """MDAnalysis's coordinate convention for the dump, whether it unwraps by image flags, and our name."""
    if atoms.has("xu", "yu", "zu"):
        return "unwrapped", False, "unwrapped"
    if atoms.has("xsu", "ysu", "zsu"):
        return "scaled_unwrapped", False, "unwrapped"
    # MDAnalysis adds image × box length, right for an orthogonal box and unscaled coordinates only.
    images = atoms.has("ix", "iy", "iz") and atoms.has("x", "y", "z") and not atoms.triclinic
    if atoms.has("x", "y", "z"):
        return "unscaled", images, "image flags" if images else "wrapped"
    if atoms.has("xs", "ys", "zs"):
        return "scaled", False, "wrapped"
    raise SourceError("the dump has no positions: write xu yu zu (or x y z with ix iy iz) in its 'dump custom' line")


def open_dump(path: Path, style: UnitStyle, timestep: float, per_type: Mapping[str, float] | None) -> Opened:
    from MDAnalysis.core import topologyattrs as attrs
    from MDAnalysis.core.topology import Topology

    atoms = read_first_frame(path)
    convention, images, coordinates = dump_convention(atoms)
    masses, source = atom_masses(atoms, per_type)
    molecules = atoms.molecules if atoms.molecules is not None else atoms.ids
    keys, residue = np.unique(molecules, return_inverse=True)
    names = composition_names(atoms.types, molecules)
    topology = Topology(
        len(atoms.ids),
        keys.size,
        1,
        attrs=[
            attrs.Atomids(atoms.ids),
            attrs.Atomtypes(np.array(atoms.types, dtype=object)),
            attrs.Masses(masses),
            attrs.Resids(keys),
            attrs.Resnums(keys),
            attrs.Resnames(np.array(names, dtype=object)),
            attrs.Segids(np.array(["SYSTEM"], dtype=object)),
        ],
        atom_resindex=residue,
        residue_segindex=np.zeros(keys.size, dtype=np.int64),
    )
    u = universe(topology, path, format="LAMMPSDUMP", lammps_coordinate_convention=convention, unwrap_images=images)
    notes = () if atoms.molecules is not None else ("the dump has no mol column: every atom is a molecule",)
    return Opened(
        u,
        "LAMMPS",
        style,
        f"LAMMPS {style.name} ({style.length_name}, {style.time_name}); dump steps × timestep {timestep:g} "
        f"{style.time_name}",
        coordinates,
        residue.astype(np.int64),
        [names[r] for r in residue],
        masses,
        source,
        lambda ts: float(ts.data["step"]) * timestep,
        1.0,
        fixed_box=True,
        notes=notes,
        time_digits=12,
    )


def _topology_molecules(u: Any) -> tuple[IntArray, list[str]]:
    """Molecule keys and default species names per atom: the topology's molecules and their types (a
    GROMACS run input), else its residues and their names, else the atom-type makeup of each residue."""
    atoms = u.atoms
    if hasattr(atoms, "molnums") and hasattr(atoms, "moltypes"):
        return np.asarray(atoms.molnums, dtype=np.int64), [str(n) for n in atoms.moltypes]
    keys = np.asarray(atoms.resindices, dtype=np.int64)
    if hasattr(atoms, "resnames"):
        return keys, [str(n) for n in atoms.resnames]
    per_residue = composition_names(tuple(str(t) for t in atoms.types), keys)
    return keys, [per_residue[k] for k in np.unique(keys, return_inverse=True)[1]]


def _masses(u: Any, topology: Path, per_type: Mapping[str, float] | None) -> tuple[FloatArray, str]:
    if per_type:
        types = [str(t) for t in u.atoms.types]
        missing = sorted(set(types) - set(per_type))
        if missing:
            raise SourceError(f"no mass for atom type(s) {', '.join(missing)}: give one for every type")
        return np.array([per_type[t] for t in types], dtype=np.float64), "given per atom type"
    masses = np.asarray(u.atoms.masses, dtype=np.float64)
    if topology.suffix in (".tpr", ".psf", ".data", ".lmp"):
        return masses, f"the topology {topology.name}"
    return masses, f"guessed by MDAnalysis from the atom names of {topology.name}"


def open_topology_trajectory(
    path: Path, topology: Path, units: UnitStyle | None, per_type: Mapping[str, float] | None = None
) -> Opened:
    """A GROMACS or DCD trajectory with its topology; a DCD with a LAMMPS style given is LAMMPS's."""
    lammps_dcd = path.suffix.lower() == ".dcd" and units is not None
    if lammps_dcd:
        assert units is not None
        options: dict[str, Any] = {"format": "LAMMPS", "timeunit": DCD_TIME_UNITS[units.name]}
        if topology.suffix in (".data", ".lmp"):
            options["topology_format"] = "DATA"
        u = universe(topology, path, **options)
        style = units
        engine, text = "LAMMPS", f"LAMMPS {units.name} ({units.length_name}, {units.time_name}) DCD"
    else:
        if units is not None and units.name != "metal":
            raise SourceError(
                f"{path.name} is written in GROMACS units (nm, ps), which become the metal style: "
                f"leave out units or give 'metal', not {units.name!r}"
            )
        u = universe(topology, path)
        style = METAL
        gromacs = path.suffix.lower() in GROMACS_TRAJECTORIES
        engine = "GROMACS" if gromacs else "DCD"
        text = (
            "GROMACS nm, ps, bar, kJ/mol, converted to metal (Å, ps, bar, eV)"
            if gromacs
            else "CHARMM/NAMD DCD (Å, AKMA time) read as Å and ps, written as metal"
        )
    keys, names = _topology_molecules(u)
    masses, source = _masses(u, topology, per_type)
    to_style = PS / style.time if not style.reduced else 1.0
    return Opened(
        u,
        engine,
        style,
        text,
        "wrapped",
        keys,
        names,
        masses,
        source,
        lambda ts: float(ts.time) * to_style,
        # MDAnalysis gives velocities in Å/ps; the style wants its length per its time.
        style.time / PS if not style.reduced else 1.0,
        fixed_box=False,
    )


def open_trajectory(
    trajectory: str | os.PathLike[str],
    topology: str | os.PathLike[str] | None,
    units: UnitStyle | None,
    timestep: float | None,
    masses: Mapping[str, float] | None,
) -> Opened:
    """The trajectory opened with what it needs; a :class:`SourceError` naming what is missing."""
    path = Path(trajectory)
    if not path.is_file():
        raise SourceError(f"no trajectory file {path}")
    mdanalysis()
    if is_dump(path):
        if units is None:
            raise SourceError("a LAMMPS dump does not say its unit style: give units (real, metal or lj) or the log")
        if timestep is None:
            raise SourceError(
                "a LAMMPS dump holds steps, not times: give the timestep (in the style's time unit) or the log"
            )
        return open_dump(path, units, timestep, masses)
    if topology is None:
        raise SourceError(
            f"{path.name} holds no atom names or molecules: give its topology "
            f"(a GROMACS .tpr or .gro, a PSF/PDB, or a LAMMPS data file for a DCD)"
        )
    top = Path(topology)
    if not top.is_file():
        raise SourceError(f"no topology file {top}")
    return open_topology_trajectory(path, top, units, masses)
