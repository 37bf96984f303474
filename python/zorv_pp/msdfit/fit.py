"""The diffusive slope of one MSD column and its single-run standard error.

The column's covariance is scale · U / walkers, U the unit covariance of the
table's sampling (see :mod:`.covariance`), so the GLS line does not depend on
the scale; the scale (by default the slope squared) only sizes the error.

The fitted range runs to the last row (or to ``end_at``). Its start is where
the slope has stopped changing, judged from either side:

1. An Ornstein-Uhlenbeck bend leaves the asymptotic line with intercept
   −slope·τ, so τ̂ = −intercept/slope says how far a bend from below reaches.
   The first candidate start moves up to ``factor``·τ̂ until it stops moving,
   τ̂ taken ``bend_z`` standard errors of the intercept below its value, so
   that the start moves only as far as the bend demonstrably reaches (with
   the bare τ̂ a noisy column's start follows its own slope error). τ̂ ≤ 0,
   a curve approaching its line from above, leaves the start where it is.
2. Candidates then double in time while they stay before ``horizon``·T and
   leave ``min_rows`` rows. A candidate is accepted when its slope agrees
   with the slope of every later candidate within ``accept_z`` standard
   errors of their difference, in either direction: a slope still falling
   (caging, back-scattering: the curve approaches from above) is caught as
   surely as one still rising. For nested GLS ranges the later slope is the
   efficient one, so Var(s_later − s_earlier) = Var(s_later) − Var(s_earlier).
   The noise scale of a comparison is the larger squared slope of the pair: a
   low slope's own square would make it look precise.
3. The first accepted candidate is taken, one candidate further when an
   earlier one was rejected (a bend was seen, and what is left of it is
   below the noise, not absent). The error is widened, in quadrature, by the
   slope's change to the next candidate: the start choice's own uncertainty,
   as the data show it. With no candidate accepted the curve still bends at
   the horizon: the last candidate's slope is taken, flagged
   ``not_converged``, and its error widened by ``unconverged_factor`` times
   its last change or the whole change from the first candidate, whichever
   is larger, since the drift continues beyond what the run shows.
"""

from __future__ import annotations

import bisect
import math
from dataclasses import dataclass, field

import numpy as np
import numpy.typing as npt

from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED
from ..run.grid import FloatArray
from ..run.sampling import Sampling
from .covariance import rows_and_covariance
from .gls import SuffixFits, Whitening, suffix_fits, whitening
from .quantiles import Z95


@dataclass(frozen=True)
class StartRule:
    """Where the fitted range starts; see the module docstring."""

    factor: float = 20.0
    min_rows: int = 8
    horizon: float = 0.1
    accept_z: float = Z95
    bend_z: float = 1.0  # τ̂ taken this many standard errors of the intercept below its value
    step_on_bend: bool = True  # one candidate further once a bend was seen
    unconverged_factor: float = 2.0  # a bend still running at the horizon: its last change, this many times


@dataclass(frozen=True)
class MsdFit:
    """A GLS line over rows ``start``..``stop``-1 of the arrays given (``rows`` of them used).

    ``slope_se`` includes the plateau widening ``widened``; ``band`` is the
    95 % half-width of the fitted line at ``t_fit`` from the intercept/slope
    covariance alone. NaN slope and empty arrays with ``no_diffusive_regime``.
    """

    slope: float
    intercept: float
    slope_se: float
    start: int
    stop: int
    t_fit: FloatArray = field(repr=False)
    fit: FloatArray = field(repr=False)
    band: FloatArray = field(repr=False)
    flags: tuple[str, ...] = ()
    widened: float = 0.0
    rows: int = 0


def _empty(flags: tuple[str, ...] = (NO_DIFFUSIVE_REGIME,)) -> MsdFit:
    none = np.zeros(0)
    return MsdFit(math.nan, math.nan, math.nan, 0, 0, none, none, none, flags, 0.0, 0)


_WHITE: dict[tuple[int, bytes], tuple[FloatArray, Whitening]] = {}


def _whitening(cov: FloatArray, time: FloatArray, used: npt.NDArray[np.int64]) -> Whitening:
    # Every full column of a table shares the cached matrix and so its factor; the matrix is
    # kept beside it so that a reused id() cannot return another table's factor.
    key = (id(cov), used.tobytes())
    hit = _WHITE.get(key)
    if hit is not None and hit[0] is cov:
        return hit[1]
    if len(_WHITE) > 256:
        _WHITE.clear()
    # A full column (the common case) factors the cached matrix itself: no second rows × rows copy.
    whole = len(used) == cov.shape[0] and bool(np.all(used == np.arange(len(used))))
    white = whitening(time, cov if whole else cov[np.ix_(used, used)])
    _WHITE[key] = (cov, white)
    return white


class _Start:
    """The start search over the suffix fits of one column."""

    def __init__(
        self, t: FloatArray, fits: SuffixFits, noise: float | None, walkers: float, rule: StartRule, run_length: float
    ) -> None:
        self.t, self.fits, self.noise, self.walkers, self.rule = t, fits, noise, walkers, rule
        self.times = t.tolist()  # bisect on a list: numpy's searchsorted costs tens of µs per scalar
        # The search reads single numbers thousands of times: Python floats, not numpy scalars.
        self.slopes: list[float] = fits.coef[:, 1].tolist()
        self.intercepts: list[float] = fits.coef[:, 0].tolist()
        self.variances: tuple[list[float], list[float]] = (fits.cov[:, 0, 0].tolist(), fits.cov[:, 1, 1].tolist())
        # The last start that leaves min_rows rows and lies before the horizon.
        limit = rule.horizon * run_length
        last = min(len(t) - rule.min_rows, len(t) - 1)
        while last >= 0 and not self.times[last] <= limit:
            last -= 1
        self.last = max(last, -1)

    def at(self, time: float) -> int:
        return bisect.bisect_left(self.times, time * (1.0 - 1e-9))

    def slope(self, s: int) -> float:
        return self.slopes[s]

    def variance(self, s: int, reference: float, which: int = 1) -> float:
        """Variance of the slope (``which`` 1) or intercept (0) from start ``s``, sized by ``reference``."""
        scale = reference**2 if self.noise is None else self.noise
        return self.variances[which][s] * scale / self.walkers

    def relaxation(self, s: int = 0) -> tuple[int, bool]:
        """Start from the τ̂ rule from row ``s`` on, and whether it ran past the last feasible start."""
        if s > self.last:
            return self.last, True
        for _ in range(200):
            intercept, slope = self.intercepts[s], self.slopes[s]
            bound = intercept + self.rule.bend_z * math.sqrt(max(self.variance(s, slope, 0), 0.0))
            tau = -bound / slope if slope > 0 else math.nan
            if not tau > 0:
                break
            moved = max(s, self.at(self.rule.factor * tau))
            if moved == s:
                break
            if moved > self.last:
                return self.last, True
            s = moved
        return s, False

    def candidates(self, s: int) -> list[int]:
        """``s`` and the starts at doubling times after it, up to the last feasible one."""
        out = [s]
        while True:
            later = self.at(2.0 * float(self.t[out[-1]]))
            if later > self.last or later <= out[-1]:
                return out
            out.append(later)

    def agrees(self, s: int, later: int) -> bool:
        """Whether the slopes from ``s`` and from ``later`` agree within their difference's noise."""
        first, second = self.slope(s), self.slope(later)
        reference = max(abs(first), abs(second))
        spread = math.sqrt(max(self.variance(later, reference) - self.variance(s, reference), 0.0))
        return abs(second - first) <= self.rule.accept_z * spread

    def plateau(self, s: int) -> tuple[int, int, float, bool]:
        """Start on the plateau, the start it was compared with, the widening and whether the curve
        still bends at the horizon."""
        starts = self.candidates(s)
        if len(starts) == 1:
            return s, s, 0.0, False
        step = [abs(self.slope(b) - self.slope(a)) for a, b in zip(starts, starts[1:])]
        for i, start in enumerate(starts[:-1]):
            if all(self.agrees(start, later) for later in starts[i + 1 :]):
                chosen = min(i + 1, len(starts) - 1) if i > 0 and self.rule.step_on_bend else i
                other = starts[chosen + 1] if chosen + 1 < len(starts) else starts[chosen - 1]
                return starts[chosen], other, step[min(chosen, len(step) - 1)], False
        return self.unconverged(starts)

    def unconverged(self, starts: list[int]) -> tuple[int, int, float, bool]:
        """The last of ``starts``, for a curve still bending there: the drift goes on past what the run
        shows, so the error holds at least the whole change the starts saw."""
        drift = abs(self.slope(starts[-1]) - self.slope(starts[0]))
        last = abs(self.slope(starts[-1]) - self.slope(starts[-2]))
        return starts[-1], starts[-2], max(self.rule.unconverged_factor * last, drift), True


def fit_msd(
    time: npt.ArrayLike,
    msd: npt.ArrayLike,
    sampling: Sampling,
    walkers: float,
    *,
    scale: float | None = None,
    start_rule: StartRule = StartRule(),  # noqa: B008 (frozen: one shared default is safe)
    start_at: float | None = None,
    end_at: float | None = None,
    widen_fixed: bool = False,
    earliest: float | None = None,
) -> MsdFit:
    """GLS slope of ``msd`` against ``time`` over its diffusive range, with its standard error.

    ``walkers`` is the number of independent one-dimensional walkers the
    column averages (see the docs page); ``scale`` the column's noise scale
    (default: the fitted slope squared). ``start_at`` (a time) fixes the
    start of the range instead of the start rule, and ``end_at`` its last
    time (default: the last row); a slope from a fixed start may have either
    sign. ``widen_fixed`` widens a fixed start's error by the slope's change
    to the start at twice its time, as for a start the rule chose: a cross
    column fitted over its diagonals' range. ``earliest`` (a time) is where
    the start rule begins its search. Raises ValueError when the
    times do not fit ``sampling`` (see :func:`rows_of`) or ``walkers`` is
    not positive.
    """
    if not walkers > 0:
        raise ValueError(f"walkers must be positive, not {walkers}")
    t_all = np.asarray(time, dtype=np.float64)
    y_all = np.asarray(msd, dtype=np.float64)
    if t_all.shape != y_all.shape or t_all.ndim != 1:
        raise ValueError("time and msd must be 1-D arrays of one length")
    rows, cov = rows_and_covariance(t_all, sampling)
    kept = rows.keep.nonzero()[0]  # flatnonzero of a 1-D mask, without its dispatch
    inside = np.isfinite(y_all[kept])
    if end_at is not None:
        inside &= t_all[kept] <= end_at * (1.0 + 1e-9)
    used = inside.nonzero()[0]
    if len(used) < start_rule.min_rows:
        return _empty()
    index = kept[used]
    t, y = t_all[index], y_all[index]
    fits = suffix_fits(_whitening(cov, t, used), y)
    # A range cut short by the user has its own horizon: its end stands for the run's.
    horizon = sampling.run_length if end_at is None else min(sampling.run_length, float(t[-1]))
    search = _Start(t, fits, scale, float(walkers), start_rule, horizon)
    if search.last < 0:
        return _empty()
    if start_at is None:
        first = 0 if earliest is None else search.at(earliest)
        s, capped = search.relaxation(first)
        if capped:  # the bend from below reaches past the horizon
            s, other, widen, bending = search.unconverged([first, search.at(float(t[s]) / 2.0), s])
        else:
            s, other, widen, bending = search.plateau(s)
    else:
        s, capped, bending = min(search.at(start_at), max(len(t) - start_rule.min_rows, 0)), False, False
        other = search.at(2.0 * float(t[s]))
        widen = abs(search.slope(other) - search.slope(s)) if widen_fixed and other <= search.last else 0.0
    intercept, slope = (float(v) for v in fits.coef[s])
    # A rise below the rounding of the values themselves is no rise: a flat curve has no diffusive range.
    rising = slope * float(t[-1]) > 1e-12 * float(np.max(np.abs(y)))
    if not (math.isfinite(slope) and (rising or start_at is not None)):
        return _empty()
    # A low slope's own square would make it look precise: its neighbour's, when larger, sizes the noise.
    reference = max(slope**2, search.slope(other) ** 2) if start_at is None else slope**2
    noise = (reference if scale is None else scale) / float(walkers)
    se = math.sqrt(float(fits.cov[s, 1, 1]) * noise)
    total = math.hypot(se, widen)
    t_fit = t[s:]
    c = fits.cov[s] * noise
    # The band carries the start choice's widening as well: a line is never drawn more precise than its value.
    band = Z95 * np.sqrt(np.maximum(c[0, 0] + 2.0 * c[0, 1] * t_fit + (c[1, 1] + widen**2) * t_fit**2, 0.0))
    flags = (NOT_CONVERGED,) if capped or bending else ()
    return MsdFit(
        slope,
        intercept,
        total,
        int(index[s]),
        int(index[-1]) + 1,
        t_fit.copy(),
        intercept + slope * t_fit,
        band,
        flags,
        widen,
        len(t) - s,
    )
