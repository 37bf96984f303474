"""The diffusive slope of one MSD column and its single-run standard error.

The column's covariance is scale · U / walkers, U the unit covariance of the
table's sampling (see :mod:`.covariance`), so the GLS line does not depend on
the scale; the scale (by default the slope squared) only sizes the error.

The fitted range runs to the last row. Its start is chosen in two steps:

1. An Ornstein-Uhlenbeck bend leaves the asymptotic line with intercept
   −slope·τ, so τ̂ = −intercept/slope says how far the bend reaches. The start
   moves up to ``factor``·τ̂ until it stops moving, τ̂ taken at its lower
   bound ``bend_z`` standard errors of the intercept below: the start moves
   only as far as the bend demonstrably reaches. With the bare τ̂, a noisy
   column's start follows its own slope error (a high slope pulls the
   intercept down and τ̂ up, and the later start keeps the high slope), which
   biased single-walker columns upwards by a third of their error. τ̂ ≤ 0
   means no bend is seen and the start stays (``double_on_negative`` doubles
   it instead). τ̂ is the mean of the relaxation times weighted by their share
   of D, so a slow minority leaves a tail well beyond 8τ̂; ``factor`` 20
   reaches past it.
2. A slower second relaxation bends the curve further out than τ̂ sees. The
   slopes s1 from the start t and s2 from 2t are compared; while s2 exceeds
   s1 by more than ``plateau_z`` standard errors of their difference (a
   one-sided 10 % test by default), the start doubles. The error is then
   widened by |s2 − s1|. When the start cannot double any more (fewer than
   ``min_rows`` rows, or lags beyond ``horizon``·T) while the curve still
   bends, the fit is ``not_converged``.
"""
from __future__ import annotations

import math
from dataclasses import dataclass, field
from statistics import NormalDist

import numpy as np
import numpy.typing as npt

from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED
from ..sampling import Sampling
from .covariance import rows_and_covariance
from .gls import SuffixFits, Whitening, suffix_fits, whitening
from .rows import FloatArray

Z95 = NormalDist().inv_cdf(0.975)
# A rise of the slope is called a bend when a one-sided test at 10 % says so.
_PLATEAU_Z = NormalDist().inv_cdf(0.90)


@dataclass(frozen=True)
class StartRule:
    """Where the fitted range starts; see the module docstring."""

    factor: float = 20.0
    min_rows: int = 8
    horizon: float = 0.1
    plateau_z: float = _PLATEAU_Z
    bend_z: float = 1.0  # τ̂ taken this many standard errors of the intercept below its value
    quadrature: bool = True  # widen as sqrt(se² + w²) rather than se + w
    excess: bool = False  # widen by the part of |s2 − s1| beyond its own noise
    unconverged_factor: float = 1.0  # a bend still running at the end is widened by this times |s2 − s1|
    double_on_negative: bool = False  # τ̂ ≤ 0 doubles the start (else: no bend seen, the start stays)


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
    white = whitening(time, cov[np.ix_(used, used)])
    _WHITE[key] = (cov, white)
    return white


class _Start:
    """The start search over the suffix fits of one column."""

    def __init__(self, t: FloatArray, fits: SuffixFits, noise: float | None, walkers: float,
                 rule: StartRule, run_length: float) -> None:
        self.t, self.fits, self.noise, self.walkers, self.rule = t, fits, noise, walkers, rule
        feasible = (np.arange(len(t)) <= len(t) - rule.min_rows) & (t <= rule.horizon * run_length)
        self.last = int(np.flatnonzero(feasible)[-1]) if feasible.any() else -1

    def at(self, time: float) -> int:
        return int(np.searchsorted(self.t, time * (1.0 - 1e-9)))

    def slope(self, s: int) -> float:
        return float(self.fits.coef[s, 1])

    def variance(self, s: int, reference: float, which: int = 1) -> float:
        """Variance of the slope (``which`` 1) or intercept (0) from start ``s``, sized by ``reference``."""
        scale = reference**2 if self.noise is None else self.noise
        return float(self.fits.cov[s, which, which]) * scale / self.walkers

    def relaxation(self) -> tuple[int, bool]:
        """Start from the τ̂ rule, and whether it ran past the last feasible start."""
        s = 0
        for _ in range(200):
            intercept, slope = float(self.fits.coef[s, 0]), float(self.fits.coef[s, 1])
            bound = intercept + self.rule.bend_z * math.sqrt(max(self.variance(s, slope, 0), 0.0))
            tau = -bound / slope if slope > 0 else math.nan
            if not tau > 0 and not self.rule.double_on_negative:
                break
            target = self.rule.factor * tau if tau > 0 else 2.0 * float(self.t[s])
            moved = max(s, self.at(target))
            if moved == s:
                break
            if moved > self.last:
                return self.last, True
            s = moved
        return s, False

    def plateau(self, s: int) -> tuple[int, float, bool]:
        """Start after the plateau test, the widening and whether the curve still bends at the end."""
        moved_last = math.nan
        while True:
            later = self.at(2.0 * float(self.t[s]))
            if later > self.last or later == s:
                return s, (0.0 if math.isnan(moved_last) else moved_last), not math.isnan(moved_last)
            first, second = self.slope(s), self.slope(later)
            step = second - first
            spread = math.sqrt(max(self.variance(later, second) - self.variance(s, first), 0.0))
            size = math.sqrt(max(step**2 - spread**2, 0.0)) if self.rule.excess else abs(step)
            if not step > self.rule.plateau_z * spread:
                return s, size, False
            s, moved_last = later, size * self.rule.unconverged_factor


def fit_msd(time: npt.ArrayLike, msd: npt.ArrayLike, sampling: Sampling, walkers: float, *,
            scale: float | None = None, start_rule: StartRule = StartRule(),
            start_at: float | None = None) -> MsdFit:
    """GLS slope of ``msd`` against ``time`` over its diffusive range, with its standard error.

    ``walkers`` is the number of independent one-dimensional walkers the
    column averages (see the docs page); ``scale`` the column's noise scale
    (default: the fitted slope squared). ``start_at`` (a time) fixes the
    start of the range instead of the start rule: for a cross column, whose
    slope may be small or negative, the range of its two diagonal columns;
    its slope may then have either sign. Raises ValueError when the times
    do not fit ``sampling`` (see :func:`rows_of`) or ``walkers`` is not
    positive.
    """
    if not walkers > 0:
        raise ValueError(f"walkers must be positive, not {walkers}")
    t_all = np.asarray(time, dtype=np.float64)
    y_all = np.asarray(msd, dtype=np.float64)
    if t_all.shape != y_all.shape or t_all.ndim != 1:
        raise ValueError("time and msd must be 1-D arrays of one length")
    rows, cov = rows_and_covariance(t_all, sampling)
    kept = np.flatnonzero(rows.keep)
    used = np.flatnonzero(np.isfinite(y_all[kept]))
    if len(used) < start_rule.min_rows:
        return _empty()
    index = kept[used]
    t, y = t_all[index], y_all[index]
    fits = suffix_fits(_whitening(cov, t, used), y)
    search = _Start(t, fits, scale, float(walkers), start_rule, sampling.run_length)
    if search.last < 0:
        return _empty()
    if start_at is None:
        s, capped = search.relaxation()
        s, widen, bending = search.plateau(s)
    else:
        s, capped, widen, bending = min(search.at(start_at), max(len(t) - start_rule.min_rows, 0)), False, 0.0, False
    intercept, slope = (float(v) for v in fits.coef[s])
    if not (math.isfinite(slope) and (slope > 0 or start_at is not None)):
        return _empty()
    noise = (slope**2 if scale is None else scale) / float(walkers)
    se = math.sqrt(float(fits.cov[s, 1, 1]) * noise)
    total = math.hypot(se, widen) if start_rule.quadrature else se + widen
    t_fit = t[s:]
    c = fits.cov[s] * noise
    band = Z95 * np.sqrt(np.maximum(c[0, 0] + 2.0 * c[0, 1] * t_fit + c[1, 1] * t_fit**2, 0.0))
    flags = (NOT_CONVERGED,) if capped or bending else ()
    return MsdFit(slope, intercept, total, int(index[s]), int(index[-1]) + 1, t_fit.copy(),
                  intercept + slope * t_fit, band, flags, widen, len(t) - s)
