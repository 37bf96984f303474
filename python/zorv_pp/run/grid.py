"""Which order-n block and element each row of an MSD table is.

The row of lag k·Δ0·nbe**b belongs to block b, element k (1..nbe). The last
lag of a block comes again as the first of the next block: a repeated time is
the next block's first element. When both copies average a single origin they
are the same number, so the second is dropped (its covariance row would
repeat the first and make the matrix singular).
"""

from __future__ import annotations

from collections import OrderedDict
from collections.abc import Callable
from dataclasses import dataclass
from typing import Generic, TypeVar

import numpy as np
import numpy.typing as npt

from .sampling import Sampling

FloatArray = npt.NDArray[np.float64]
IntArray = npt.NDArray[np.int64]
BoolArray = npt.NDArray[np.bool_]
T = TypeVar("T")

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


def log_spread(rows: TableRows, time: npt.ArrayLike, cap: int, head: int) -> TableRows:
    """``rows`` with at most ``cap`` rows kept, spread log-uniformly in time; ``rows`` itself when it keeps
    no more.

    The first ``head`` kept rows and the last are always kept; between them the first row of every bin of
    one width in log time, the narrowest width that leaves at most ``cap`` rows. Where the grid is coarser
    than the bins (its first lags) every row stays.
    """
    kept = np.flatnonzero(rows.keep)
    if len(kept) <= cap:
        return rows
    if cap < head + 2:
        raise ValueError(f"a subset of {cap} rows cannot hold the first {head} and the last")
    middle = kept[head:-1]
    spread = np.log(np.asarray(time, dtype=np.float64)[middle])
    budget = cap - head - 1
    low, high = 0.0, float(spread[-1] - spread[0]) + 1.0
    for _ in range(60):  # bisection on the bin width: the count only falls as the bins widen
        width = 0.5 * (low + high)
        if np.count_nonzero(_first_in_bins(spread, width)) > budget:
            low = width
        else:
            high = width
    keep = np.zeros_like(rows.keep)
    keep[kept[:head]] = True
    keep[middle[_first_in_bins(spread, high)]] = True
    keep[kept[-1]] = True
    return TableRows(rows.block, rows.element, rows.origins, keep)


def _first_in_bins(values: FloatArray, width: float) -> BoolArray:
    """Whether each of the ascending ``values`` is the first in its bin of ``width`` from the first value."""
    bins = np.floor((values - values[0]) / width)
    first = np.ones(values.size, dtype=bool)
    first[1:] = bins[1:] != bins[:-1]
    return first


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

    Lag L may sit in block b when nbe**b divides it and L <= nbe**(b+1): a
    range [lowest, highest] of blocks. Walking the rows, the block never falls
    and a repeated lag opens the next one, so block_i = max(block_{i-1} +
    repeat_i, lowest_i), which a cumulative sum and a cumulative maximum give
    for all rows at once.
    """
    if sampling.nbe < 2:
        raise ValueError(f"nbe must be at least 2, not {sampling.nbe}")
    lags = lag_counts(time, sampling.interval)
    positive = lags > 0
    if _has_triple_repeat(lags):
        return _rows_walked(lags, time, sampling)
    powers = _powers(sampling.nbe, int(lags.max(initial=1)))
    safe = np.where(positive, lags, 1)
    highest = np.count_nonzero(safe[:, None] % powers[None, 1:] == 0, axis=1)
    lowest = np.count_nonzero(powers[None, 1:] < safe[:, None], axis=1)
    repeat = np.zeros(lags.size, dtype=bool)
    repeat[1:] = (lags[1:] == lags[:-1]) & positive[1:]
    climbed = np.cumsum(repeat)
    floor = np.where(positive, lowest - climbed, np.iinfo(np.int64).min // 2)
    block = climbed + np.maximum(np.maximum.accumulate(floor), 0) if lags.size else climbed
    bad = positive & (block > highest)
    if bad.any():
        lag = int(lags[np.argmax(bad)])
        raise ValueError(f"lag {lag}·Δ0 does not follow the order-n grid of nbe {sampling.nbe}")
    block = np.where(positive, block, 0)
    element = np.where(positive, safe // powers[np.minimum(block, powers.size - 1)], 0)
    origins = np.where(positive, _origins(sampling, block, element), 0)
    short = positive & (origins < 1)
    if short.any():
        raise ValueError(
            f"lag {float(np.asarray(time)[np.argmax(short)])} has no time origin in a run of length "
            f"{sampling.run_length}"
        )
    keep = positive.copy()
    keep[1:] &= ~(repeat[1:] & (origins[1:] == 1) & (origins[:-1] == 1))
    return TableRows(block.astype(np.int64), element.astype(np.int64), origins.astype(np.int64), keep)


def _powers(nbe: int, largest: int) -> IntArray:
    """nbe**0, nbe**1, ... up to the first power past ``largest`` (or the last that fits int64)."""
    values = [1]
    while values[-1] <= largest and values[-1] <= np.iinfo(np.int64).max // nbe:
        values.append(values[-1] * nbe)
    return np.array(values, dtype=np.int64)


def _origins(sampling: Sampling, block: IntArray, element: IntArray) -> IntArray:
    """:meth:`Sampling.origins` of every row at once, with its rounding."""
    stride = np.power(float(sampling.nbe), block.astype(np.float64))
    samples = sampling.run_length / (sampling.interval * stride)
    whole = np.minimum(np.floor(samples * (1.0 + 1e-9)), 2.0**62)
    return whole.astype(np.int64) - element + 1


def _has_triple_repeat(lags: IntArray) -> bool:
    """Three equal positive lags in a row, which only the row-by-row walk reads as it always has."""
    return bool(lags.size >= 3 and np.any((lags[2:] == lags[1:-1]) & (lags[1:-1] == lags[:-2]) & (lags[2:] > 0)))


def _rows_walked(lags: IntArray, time: npt.ArrayLike, sampling: Sampling) -> TableRows:
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
            stride = sampling.nbe**b
            if stride > lag:
                raise ValueError(f"lag {lag}·Δ0 does not follow the order-n grid of nbe {sampling.nbe}")
            if lag % stride == 0 and lag // stride <= sampling.nbe:
                break
            b += 1
        block[i], element[i] = b, lag // stride
        origins[i] = sampling.origins(b, int(element[i]))
        if origins[i] < 1:
            raise ValueError(
                f"lag {float(np.asarray(time)[i])} has no time origin in a run of length {sampling.run_length}"
            )
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


class GridCache(Generic[T]):
    """What a table's time grid gives under a sampling, kept for the most recent grids: every column of a
    table shares its grid, and replicas share their settings."""

    def __init__(self, compute: Callable[[FloatArray, Sampling], T], size: int = 64) -> None:
        self._compute, self._size = compute, size
        self._kept: OrderedDict[tuple[bytes, Sampling], T] = OrderedDict()

    def __call__(self, time: npt.ArrayLike, sampling: Sampling) -> T:
        t = np.ascontiguousarray(time, dtype=np.float64)
        key = (t.tobytes(), sampling)
        if key in self._kept:
            self._kept.move_to_end(key)
            return self._kept[key]
        value = self._compute(t, sampling)
        self._kept[key] = value
        if len(self._kept) > self._size:
            self._kept.popitem(last=False)
        return value


#: :func:`rows_of`, cached per (grid, sampling): a run checks its tables against their sampling before
#: they are fitted under it.
grid_rows: GridCache[TableRows] = GridCache(rows_of)


def table_sampling(given: Sampling | None, time: npt.ArrayLike) -> Sampling | None:
    """The sampling a table is fitted under: ``given`` (the log's, or the caller's) when the table's
    lags fit it, else the one its time column shows (flagged as assumed), else None (no order-n grid)."""
    if given is not None:
        try:
            grid_rows(time, given)
            return given
        except ValueError:
            pass  # another grid or a shorter run than the log says: the time column is the better guide
    try:
        return infer_sampling(time)
    except ValueError:
        return None
