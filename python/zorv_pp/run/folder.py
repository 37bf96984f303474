"""One MD run: its tables, unit style, molecule counts, sampling and state, as read from its folder."""

from __future__ import annotations

import os
from collections.abc import Mapping
from dataclasses import dataclass, field
from pathlib import Path
from typing import Unpack

from ..diagnostics import RunWarning
from ..units import UnitStyle
from .grid import table_sampling
from .options import LoadOptions
from .reading import read_folder
from .sampling import Sampling
from .species import SELF_PREFIX
from .tables import Table


@dataclass(frozen=True)
class Run:
    """The outputs of one MD run, read and checked, ready for analysis.

    ``counts`` holds the molecule count of every species the tables name;
    ``temperature`` is in K, ``volume`` in m³, ``density`` in kg/m³ (all
    reduced for lj), each None when the run has no source for it. ``tables``
    maps a table kind ("diffself", "diffonsag", "viscosity", "tconductivity",
    "rdf") to its columns in the file's own units, and ``files`` the kind to
    the file read. ``warnings`` are the doubtful findings of the reading;
    ``sampling`` maps an MSD table kind to its order-n sampling, for the kinds
    whose sampling the log or the caller gave.
    """

    path: Path
    units: UnitStyle
    counts: Mapping[str, int]
    temperature: float | None
    volume: float | None
    density: float | None
    tables: Mapping[str, Table] = field(repr=False)
    files: Mapping[str, str] = field(repr=False)
    warnings: tuple[RunWarning, ...] = ()
    sampling: Mapping[str, Sampling] = field(default_factory=dict)
    _decided: dict[str, Sampling | None] = field(default_factory=dict, init=False, repr=False, compare=False)

    def table_sampling(self, kind: str) -> Sampling | None:
        """The order-n sampling the table ``kind`` is fitted under, decided once: the given one (``sampling``)
        when the table's lags fit it, else the one its time column shows (assumed), else None."""
        if kind not in self._decided:
            time = next(iter(self.tables[kind].values()))
            self._decided[kind] = table_sampling(self.sampling.get(kind), time)
        return self._decided[kind]

    @property
    def species(self) -> list[str]:
        """Species of the self-diffusion table, in column order (else those counted)."""
        table = self.tables.get("diffself")
        if table is None:
            return list(self.counts)
        return [name[len(SELF_PREFIX) :] for name in table if name.startswith(SELF_PREFIX)]

    @classmethod
    def load(cls, path: str | os.PathLike[str], **options: Unpack[LoadOptions]) -> Run:
        """Read the run folder ``path``: :func:`load_run`."""
        return load_run(path, **options)


def load_run(path: str | os.PathLike[str], **options: Unpack[LoadOptions]) -> Run:
    """Read the run folder ``path``, whichever source wrote it, under ``options`` (:class:`LoadOptions`).

    A missing table leaves its properties out; damage that can be read
    around (a cut last row, skipped lines, a short or empty table) becomes
    a warning. A run without a usable table, a file that cannot be read,
    species without counts (all named), a zero count or an unknown unit
    style raises :class:`RunError` naming the run, the file and the reason.
    """
    folder = Path(path)
    read = read_folder(folder, options)
    return Run(
        folder,
        read.units,
        read.counts,
        read.temperature,
        read.volume,
        read.density,
        read.tables,
        read.files,
        read.warnings,
        read.sampling,
    )
