"""How much a curve's slope moves over the windows the log-log search accepts.

The log-log window search (:meth:`Window.fit`) keeps the one window whose
log-log slope is closest to 1; every other window it accepts is as
defensible. The spread of their raw-data slopes says how much the value owes
to that choice. ``_zorv_analysis.window_spread`` walks every window with the
search's own points, starts, lengths, skipped repeated times, band and sums,
and gives the least and greatest raw slope and the one the search keeps.
"""

from __future__ import annotations

import math
from typing import NamedTuple

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from ..run.grid import FloatArray
from .window import Window


class WindowSpread(NamedTuple):
    """The accepted windows' count, least and greatest finite raw slope, and the chosen window's slope."""

    accepted: int
    low: float
    high: float
    chosen: float


def window_spread(time: npt.ArrayLike, msd: npt.ArrayLike, window: Window) -> WindowSpread:
    """The raw-slope spread of every window ``window``'s search accepts (NaN slopes when none does)."""
    t = np.ascontiguousarray(time, dtype=np.float64)
    y = np.ascontiguousarray(msd, dtype=np.float64)
    if t.ndim != 1 or t.shape != y.shape:
        return WindowSpread(0, math.nan, math.nan, math.nan)
    return WindowSpread(
        *_zorv_analysis.window_spread(
            t, y, window.search_margin, window.min_window, window.max_window, window.max_error, window.min_displacement
        )
    )


def window_sensitivity(time: npt.ArrayLike, msd: npt.ArrayLike, window: Window) -> float:
    """Max − min of the raw-data slopes over every window ``window``'s search accepts; NaN when none does."""
    spread = window_spread(time, msd, window)
    return spread.high - spread.low


def window_slopes(time: npt.ArrayLike, msd: npt.ArrayLike, window: Window) -> FloatArray:
    """The least, the chosen and the greatest finite raw-data slope of the accepted windows; empty when none."""
    spread = window_spread(time, msd, window)
    found = np.array([spread.low, spread.chosen, spread.high])
    return found[np.isfinite(found)] if math.isfinite(spread.low) else np.zeros(0)
