"""What a run folder's source tells beyond its tables, behind one face for every kind of run folder.

A source is the program that wrote the folder: LAMMPS with its order-n fixes
(a log), or a sampling after the run (an ``ordern.log``). The tables, their
grid and the state series are read alike for all (:mod:`zorv_pp.run.reading`);
a source tells the rest: the unit style, the molecule counts, the sampling of
each MSD table and, when it knows them, the temperature, volume and density.
"""

from __future__ import annotations

from abc import ABC, abstractmethod
from collections.abc import Callable
from dataclasses import dataclass
from pathlib import Path

from ..diagnostics import RunWarning
from ..units import UnitStyle
from .options import LoadOptions
from .sampling import Sampling


class SourceReading(ABC):
    """One run folder as its source reads it, under the caller's options."""

    def __init__(self, folder: Path, options: LoadOptions) -> None:
        self.folder, self.options = folder, options

    @abstractmethod
    def unit_style(self) -> tuple[str, str | None]:
        """The unit style the tables are written in and the file that tells it; RunError when none does."""

    @abstractmethod
    def count(self, species: list[str]) -> dict[str, int]:
        """The molecule count of every one of ``species``; RunError naming (in ``missing_species``) those it
        cannot count."""

    @abstractmethod
    def samplings(
        self, kinds: list[str], style: UnitStyle, run_length: float | None, warnings: list[RunWarning]
    ) -> dict[str, Sampling]:
        """The sampling the source tells for each table of ``kinds`` (``run_length`` replacing its run length)."""

    def temperature(self) -> float | None:
        """The mean temperature (K, reduced for lj), None when the source does not tell it."""
        return None

    def volume(self, style: UnitStyle) -> float | None:
        """The mean volume in the style's volume unit, None when the source does not tell it."""
        return None

    def density(
        self, style: UnitStyle, counts: dict[str, int], volume: float | None, warnings: list[RunWarning]
    ) -> float | None:
        """The mean density in kg/m³ (reduced for lj), None when the source does not tell it."""
        return None


@dataclass(frozen=True)
class Source:
    """A kind of run folder: how it is recognised and how it is read."""

    name: str
    recognises: Callable[[Path], bool]
    open: Callable[[Path, LoadOptions], SourceReading]
