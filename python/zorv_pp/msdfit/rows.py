"""Which order-n block and element each row of an MSD table is.

The row of lag k·Δ0·nbe**b belongs to block b, element k (1..nbe). The last
lag of a block comes again as the first of the next block: a repeated time is
the next block's first element. When both copies average a single origin they
are the same number, so the second is dropped (its covariance row would
repeat the first and make the matrix singular).
"""
from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from ..sampling import Sampling

FloatArray = npt.NDArray[np.float64]
IntArray = npt.NDArray[np.int64]
BoolArray = npt.NDArray[np.bool_]

# A time within this fraction of a whole number of intervals is that lag.
_GRID_TOLERANCE = 1e-6


@dataclass(frozen=True)
class TableRows:
    """Block, element and origin count of every row of a table.

    ``keep`` is False for rows that carry no information of their own: a
    zero lag, and the second copy of a repeated single-origin lag.
    """

    block: IntArray
    element: IntArray
    origins: IntArray
    keep: BoolArray


def lag_counts(time: npt.ArrayLike, interval: float) -> IntArray:
    """Each time as a whole number of sampling intervals; ValueError when one is not."""
    t = np.asarray(time, dtype=np.float64)
    ratio = t / interval
    lags = np.rint(ratio)
    off = np.abs(ratio - lags) > _GRID_TOLERANCE * np.maximum(1.0, np.abs(lags))
    if off.any() or not np.isfinite(ratio).all():
        bad = float(t[np.argmax(off | ~np.isfinite(ratio))])
        raise ValueError(f"time {bad} is not a whole number of sampling intervals {interval}")
    return lags.astype(np.int64)


def rows_of(time: npt.ArrayLike, sampling: Sampling) -> TableRows:
    """Map each row (lag) of ``time`` to its block and element under ``sampling``.

    Raises ValueError when a time lies off the order-n grid, a lag is not
    ascending within the scheme, or a row would have no time origin (the run
    length is shorter than the table).
    """
    if sampling.nbe < 2:
        raise ValueError(f"nbe must be at least 2, not {sampling.nbe}")
    lags = lag_counts(time, sampling.interval)
    count = len(lags)
    block = np.zeros(count, dtype=np.int64)
    element = np.zeros(count, dtype=np.int64)
    origins = np.zeros(count, dtype=np.int64)
    keep = np.ones(count, dtype=bool)
    b = 0
    for i, lag in enumerate(int(v) for v in lags):
        if lag <= 0:
            keep[i] = False
            continue
        if i > 0 and lag == lags[i - 1] and keep[i - 1]:
            b += 1  # the repeated boundary lag opens the next block
        while True:
            stride = sampling.nbe ** b
            if stride > lag:
                raise ValueError(f"lag {lag}·Δ0 does not follow the order-n grid of nbe {sampling.nbe}")
            if lag % stride == 0 and lag // stride <= sampling.nbe:
                break
            b += 1
        block[i], element[i] = b, lag // stride
        origins[i] = sampling.origins(b, int(element[i]))
        if origins[i] < 1:
            raise ValueError(f"lag {float(np.asarray(time)[i])} has no time origin in a run of length "
                             f"{sampling.run_length}")
        if i > 0 and keep[i - 1] and lag == lags[i - 1] and origins[i] == 1 and origins[i - 1] == 1:
            keep[i] = False
    return TableRows(block, element, origins, keep)


def infer_sampling(time: npt.ArrayLike) -> Sampling:
    """The sampling a table's time column implies, with ``assumed=True``.

    The interval is the first lag; nbe is the row count of the first block,
    read from the repeated boundary lag or from the first jump of the lag
    spacing; the run length is taken as the largest lag, so the last row has
    one origin (the fewest the table allows, hence the widest errors).
    """
    t = np.asarray(time, dtype=np.float64)
    t = t[np.isfinite(t) & (t > 0.0)]
    if len(t) < 2:
        raise ValueError("need at least two positive lags to infer the sampling")
    interval = float(t[0])
    lags = lag_counts(t, interval)
    steps = np.diff(lags)
    repeat = np.flatnonzero(steps == 0)
    jump = np.flatnonzero(steps > 1)
    if len(repeat) and (not len(jump) or repeat[0] <= jump[0]):
        nbe = int(lags[repeat[0]])
    elif len(jump):
        nbe = int(steps[jump[0]])
    else:
        nbe = max(2, int(lags[-1]))
    return Sampling(interval=interval, nbe=nbe, run_length=float(t[-1]), assumed=True)
