"""Replicas that are copies: a run folder given twice, or runs sharing a table, would count as
independent replicas and shrink the error by the square root of their number."""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import replace

from ..diagnostics import RunWarning
from ..run import TABLE_FILES
from .run_fit import RunAnalysis


def distinct_runs(fitted: Sequence[RunAnalysis]) -> tuple[list[RunAnalysis], list[tuple[RunAnalysis, RunWarning]]]:
    """The runs with distinct tables, and each left-out copy with its ``duplicate_run`` warning.

    A copy would count as an independent replica and shrink the error by the square root of two.
    """
    first: dict[str, str] = {}
    kept: list[RunAnalysis] = []
    duplicates: list[tuple[RunAnalysis, RunWarning]] = []
    for run in fitted:
        original = first.get(run.fingerprint) if run.fingerprint else None
        if original is None:
            first.setdefault(run.fingerprint, run.run)
            kept.append(run)
            continue
        what = "the same run folder given twice" if original == run.run else f"the same tables as {original}"
        duplicates.append(
            (run, RunWarning("duplicate_run", None, f"{what}: a copy is no independent replica, so it is counted once"))
        )
    return kept, duplicates


def warn_copied_tables(fitted: Sequence[RunAnalysis]) -> list[RunAnalysis]:
    """The runs, the first copy of each table that several of them hold warned about (``copied_table``).

    Distinct runs can still share a table (rdf.dat copied into every replica): the values from it then agree
    exactly, and their spread says nothing of their error.
    """
    holders: dict[tuple[str, str], list[int]] = {}
    for index, run in enumerate(fitted):
        for kind, digest in run.table_fingerprints.items():
            holders.setdefault((kind, digest), []).append(index)
    warned = list(fitted)
    for (kind, _), indices in holders.items():
        if len(indices) < 2:
            continue
        name = TABLE_FILES[kind][0]
        runs = ", ".join(fitted[i].run for i in indices)
        message = (
            f"{name} is the same in runs {runs}: a copied table is no independent replica, so the values from it "
            "agree exactly and their spread says nothing of their error"
        )
        first = warned[indices[1]]
        warned[indices[1]] = replace(first, warnings=(*first.warnings, RunWarning("copied_table", name, message)))
    return warned
