"""Warnings of a run: what was read but is doubtful, kept with the run instead of lost."""

from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class RunWarning:
    """One doubtful finding while reading a run.

    ``code`` is a short snake_case word that tools can match on (such as
    ``partial_last_row``, ``skipped_rows``, ``short_table``, ``empty_table``,
    ``density_unit``, ``implausible_density``, ``density_mismatch``,
    ``sampling_mismatch``, ``no_run_length``, ``duplicate_run``, ``copied_table``; the README
    lists them all); ``file`` is the file it concerns, None for the run as
    a whole; ``message`` says what was found and what was done about it.
    """

    code: str
    file: str | None
    message: str

    def __str__(self) -> str:
        where = f"{self.file}: " if self.file else ""
        return f"{where}{self.message} [{self.code}]"
