"""Molecule centres from any engine's trajectory, read through MDAnalysis (an optional dependency, imported
when a trajectory is opened): unwrapped, checked and handed over one frame at a time."""

from .centres import MAX_JUMP, Molecules, Unwrapper
from .frames import Frame, frames, kinetic_temperature
from .opening import Opened, open_trajectory
from .species import molecules_of, species_atoms

__all__ = [
    "MAX_JUMP",
    "Frame",
    "Molecules",
    "Opened",
    "Unwrapper",
    "frames",
    "kinetic_temperature",
    "molecules_of",
    "open_trajectory",
    "species_atoms",
]
