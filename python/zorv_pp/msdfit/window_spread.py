"""How much a curve's slope moves over the windows the log-log search accepts.

The search of :func:`_zorv_pp.diff_calculator` keeps the one window whose
log-log slope is closest to 1; every other window it accepts is as
defensible. The spread of their raw-data slopes says how much the value owes
to that choice. The acceptance loop is the search's own: the same starts,
lengths, skipped repeated times and open band (1 − max_error, 1 + max_error),
with sums added left to right as it adds them.
"""
from __future__ import annotations

import math

import numpy as np
import numpy.typing as npt

from ..window import Window
from .rows import FloatArray

_EPS = 2.220446049250313e-16


def _count(value: float) -> int:
    """Truncation toward zero, non-positive and NaN giving 0."""
    return int(value) if value > 0.0 else 0


def _slopes(sums: list[FloatArray], length: float | FloatArray) -> FloatArray:
    sx, sy, sxy, sxx = sums
    num = length * sxy - sx * sy
    den = length * sxx - sx * sx
    with np.errstate(divide="ignore", invalid="ignore"):
        return np.where(den != 0.0, num / np.where(den != 0.0, den, 1.0), np.nan)


def window_sensitivity(time: npt.ArrayLike, msd: npt.ArrayLike, window: Window) -> float:
    """Max − min of the raw-data slopes over every window ``window``'s search accepts; NaN when none does."""
    slopes = window_slopes(time, msd, window)
    return float(slopes.max() - slopes.min()) if slopes.size else math.nan


def window_slopes(time: npt.ArrayLike, msd: npt.ArrayLike, window: Window) -> FloatArray:
    """Raw-data slopes of every window ``window``'s search accepts (finite ones), in no set order."""
    none = np.zeros(0)
    t_in = np.asarray(time, dtype=np.float64)
    y_in = np.asarray(msd, dtype=np.float64)
    if t_in.size == 0 or t_in.shape != y_in.shape:
        return none
    with np.errstate(invalid="ignore"):
        kept = np.abs(y_in) >= window.min_displacement**2
    t, y = t_in[kept], y_in[kept]
    n = len(t)
    if n == 0:
        return none
    first = _count(window.search_margin * n)
    e0 = _count((1.0 - window.search_margin) * n)
    end = 0 if window.min_window > e0 else e0 - window.min_window
    starts = np.arange(first, min(end, n))
    if len(starts) == 0:
        return none
    limit = np.minimum(np.minimum(end - starts, window.max_window), n - starts + 1)
    repeated = np.zeros(len(starts), dtype=bool)
    inner = starts + 1 < n
    nxt = starts[inner] + 1
    repeated[inner] = np.abs(t[nxt - 1] - t[nxt]) < _EPS * np.maximum(np.abs(t[nxt - 1]), 1.0)
    limit = np.where(repeated, 0, limit)
    with np.errstate(divide="ignore", invalid="ignore"):
        lt, ly = np.log10(t), np.log10(np.abs(y))
    log_terms = np.stack((lt, ly, lt * ly, lt * lt))
    raw_terms = np.stack((t, y, t * y, t * t))
    top = int(limit.max()) if len(limit) else 0
    if top <= window.min_window:
        return none
    # Every (start, length) at once: column w-1 holds the sums over lengths w, accumulated left to
    # right as the search adds them (a cumulative sum adds in index order).
    lengths = np.arange(1, top)
    live = lengths[None, :] < limit[:, None]
    index = np.minimum(starts[:, None] + lengths[None, :] - 1, n - 1)
    use = slice(window.min_window - 1, None)

    def sums(terms: FloatArray) -> list[FloatArray]:
        total = np.cumsum(np.where(live, terms[:, index], 0.0), axis=2)[:, :, use]
        return [total[0], total[1], total[2], total[3]]

    size = lengths[use].astype(np.float64)[None, :]
    with np.errstate(invalid="ignore", over="ignore"):
        slope = _slopes(sums(log_terms), size)
        accepted = live[:, use] & np.isfinite(slope) & (1.0 - window.max_error < slope) & (slope < window.max_error + 1.0)
        if not accepted.any():
            return none
        raw = _slopes(sums(raw_terms), size)[accepted]
    return raw[np.isfinite(raw)]
