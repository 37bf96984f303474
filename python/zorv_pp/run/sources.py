"""The kinds of run folder the package reads, in the order they are tried: the first that recognises a
folder reads it."""

from __future__ import annotations

from pathlib import Path

from .lammps import LAMMPS
from .options import LoadOptions
from .ordern import ORDERN
from .source import Source, SourceReading

#: A new kind of run folder is a folder beside lammps/ and one entry here, ahead of LAMMPS (which takes any folder).
SOURCES: tuple[Source, ...] = (ORDERN, LAMMPS)


def reading_of(folder: Path, options: LoadOptions) -> SourceReading:
    """The folder opened by the first source that recognises it."""
    source = next(source for source in SOURCES if source.recognises(folder))
    return source.open(folder, options)
