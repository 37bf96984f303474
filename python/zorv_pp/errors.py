"""Exceptions of the analysis layer."""

from __future__ import annotations

import os
from collections.abc import Iterable


class ZorvError(Exception):
    """Base of every error that zorv_pp raises on bad input."""


class RunError(ZorvError):
    """A run folder that cannot be analysed: names the run, the file and the reason.

    ``missing_species`` names every species left without a molecule count,
    so that each interface can say how it takes counts (``counts=``,
    ``--counts``, a campaign's ``group``).
    """

    def __init__(
        self, run: str | os.PathLike[str], file: str | None, message: str, missing_species: Iterable[str] = ()
    ) -> None:
        self.run = os.fspath(run)
        self.file = file
        self.message = message
        self.missing_species: tuple[str, ...] = tuple(missing_species)
        where = f"{self.run}: {file}" if file else self.run
        super().__init__(f"{where}: {message}")

    def __reduce__(self) -> tuple[type[RunError], tuple[str, str | None, str, tuple[str, ...]]]:
        # Keeps the fields when the error crosses a process boundary.
        return (RunError, (self.run, self.file, self.message, self.missing_species))


class CampaignError(ZorvError):
    """A campaign file that cannot be used: names the file, the line and the key."""
