"""Figures of an analysis: the fitted MSD curves of every state, the running slope of each,
their convergence over replicas, and a summary over states; error bars are 95 % intervals throughout.

Every function takes ``fmt`` ("png", "pdf" or "svg"; png at 150 dpi) and
writes its file atomically.
"""

from __future__ import annotations

import os
from collections.abc import Mapping, Sequence
from pathlib import Path

from ..analysis.state import StateResult
from .common import DPI, FORMATS, check_format, file_stem
from .convergence import convergence_figure
from .msd import families, state_figure
from .slope import slope_figure
from .summary import summary_figure


def draw_all(
    states: Sequence[StateResult],
    folder: str | os.PathLike[str],
    fmt: str = "png",
    charges: Mapping[str, float] | None = None,
) -> list[Path]:
    """Every figure of ``states`` into ``folder``, with the extension ``fmt``: per state ``<state>_msd``
    (or ``<state>_msd_<family>``, one per family, for a state with many curves), ``<state>_slope`` and
    ``<state>_convergence``; then ``summary``. The paths of those drawn, in that order. ``charges``
    (e, by species) put the charge on an ion's name."""
    check_format(fmt)
    out = Path(folder)
    drawn: list[Path | None] = []
    for state in states:
        stem = file_stem(state.name)
        for family in families(state):
            name = f"{stem}_msd_{family}" if family else f"{stem}_msd"
            drawn.append(state_figure(state, out / f"{name}.{fmt}", fmt, family, charges))
        drawn.append(slope_figure(state, out / f"{stem}_slope.{fmt}", fmt, charges))
        drawn.append(convergence_figure(state, out / f"{stem}_convergence.{fmt}", fmt))
    drawn.append(summary_figure(states, out / f"summary.{fmt}", fmt, charges))
    return [path for path in drawn if path is not None]


__all__ = ["DPI", "FORMATS", "convergence_figure", "draw_all", "slope_figure", "state_figure", "summary_figure"]
