"""Figures of an analysis: the fitted MSD curves of every state, their convergence over
replicas, and a summary over states; error bars are 95 % intervals throughout.

Every function takes ``fmt`` ("png", "pdf" or "svg"; png at 150 dpi) and
writes its file atomically.
"""
from __future__ import annotations

import os
from collections.abc import Sequence
from pathlib import Path

from ..state import StateResult
from .common import DPI, FORMATS, check_format, file_stem, pyplot, save
from .convergence import convergence_figure
from .msd import state_figure
from .summary import summary_figure


def draw_all(states: Sequence[StateResult], folder: str | os.PathLike[str], fmt: str = "png") -> list[Path]:
    """Every figure of ``states`` into ``folder``: ``<state>_msd``, ``<state>_convergence`` and
    ``summary``, with the extension ``fmt``; the paths of those drawn, in that order."""
    check_format(fmt)
    out = Path(folder)
    drawn: list[Path | None] = []
    for state in states:
        stem = file_stem(state.name)
        drawn.append(state_figure(state, out / f"{stem}_msd.{fmt}", fmt))
        drawn.append(convergence_figure(state, out / f"{stem}_convergence.{fmt}", fmt))
    drawn.append(summary_figure(states, out / f"summary.{fmt}", fmt))
    return [path for path in drawn if path is not None]


# Older names, kept for code that imported them from here.
_pyplot = pyplot
_save = save

__all__ = ["DPI", "FORMATS", "convergence_figure", "draw_all", "state_figure", "summary_figure"]
