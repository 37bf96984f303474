"""The diffusive slope of one MSD column and its single-run standard error.

The column's covariance is scale · U / walkers, U the unit covariance of the
table's sampling (see :mod:`.covariance`), so the GLS line does not depend on
the scale; the scale (by default the slope squared, guarded as step 3 says)
only sizes the error.

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
   earlier one was rejected (a bend was seen, and what is left of it is below
   the noise, not absent). The error is widened, in quadrature, by the
   slope's change to the next candidate: the start choice's own uncertainty,
   as the data show it. A start with no later candidate before the horizon
   (the relaxation rule took it to the last doubling) is widened by its
   change from the start at half its time instead. A search anchored by
   ``earliest`` at the first row that keeps it, under a rule without
   ``widen_anchor``, saw no bend where many walkers saw none: its next change
   is its own noise, and it is not widened. A start moved in a column of at
   most ``before_walkers`` walkers shares the chance that moved it, and is
   widened by its change from the start at half its time too. The error's
   noise scale is the largest square of the slope, of its neighbour's and of
   the chord m(t)/t at the start (no steeper than the slope from the first
   row, since an offset at lag 0 is no noise): a row's noise follows the
   curve's level, which a rattle from above lifts above the slope, and a
   slope that came out low must not make itself look precise (a start fixed
   by ``start_at`` has no neighbour: the larger of the other two). With no
   candidate accepted the curve still bends at the horizon: the last
   candidate's slope is taken, flagged ``not_converged``, and its error
   widened by ``unconverged_factor`` times its last change or the whole
   change from the first candidate, whichever is larger, since the drift
   continues beyond what the run shows.

A column of a flux whose run's own mean was subtracted (``bridge``) pins the
integral to 0 at both ends of the run: for lags s past the correlation time
its moment is 2·D·s·(1 − s/T), a Brownian bridge, not a line. Such a column
is divided by (1 − s/T) and its covariance by the product of the rows' factors
(the bridge's increments are the walker's less s/T of its end point, whose
share is that factor to first order), and fitted on lags up to T/2, where
the factor stays above 1/2; the fitted line and band are multiplied back.

The lines of every start, the search and the line's band run natively
(``_zorv_analysis.gls_line``) on the table's whitening, which is built once
per table and kept.
"""

from __future__ import annotations

import math
from collections.abc import Callable
from dataclasses import dataclass, field

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED, POOR_FIT, WINDOW_SENSITIVE
from ..run.grid import FloatArray
from ..run.sampling import Sampling
from .covariance import rows_and_covariance
from .fit_checks import FitChecks, check_fit, later_starts
from .gls import Whitening, whitening
from .quantiles import Z95


@dataclass(frozen=True)
class StartRule:
    """Where the fitted range starts; see the module docstring."""

    factor: float = 40.0  # τ̂ is a share-weighted mean time: the slowest relaxation lasts longer
    min_rows: int = 8
    horizon: float = 0.1
    accept_z: float = Z95
    bend_z: float = 1.0  # τ̂ taken this many standard errors of the intercept below its value
    step_on_bend: bool = True  # one candidate further once a bend was seen
    unconverged_factor: float = 2.0  # a bend still running at the horizon: its last change, this many times
    widen_anchor: bool = True  # a search anchored at the first row (``earliest``) that keeps it is widened too
    before_walkers: float = 10.0  # up to this many walkers a moved start is widened by its change from before


# A search that begins where hundreds of walkers of the same molecules saw their bend end (an Onsager
# diagonal from its species' self-diffusion start) has only to catch what they could not see. Each of its
# later comparisons (about five up to T/10) is held to 1 % so that together they move a straight line's
# start about one time in twenty: a few walkers' false moves cost width and, from the skew of their late
# slopes, a low bias. Anchored at the first row (the many walkers saw no bend at all), a search that keeps it
# saw none either: its change to the next start is its own noise, and widening by it made such values 1.2-1.4
# times as wide as a fit from the first row on straight lines.
ANCHORED_RULE = StartRule(accept_z=2.5758293035489004, widen_anchor=False)


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
    checks: FitChecks = FitChecks()
    scale: float = math.nan  # the noise scale ``slope_se`` was sized by (before ``widened``)


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
    scale_of: Callable[[float], float] | None = None,
    bridge: bool = False,
) -> MsdFit:
    """GLS slope of ``msd`` against ``time`` over its diffusive range, with its standard error.

    ``walkers`` is the number of independent one-dimensional walkers the
    column averages (see the docs page); ``scale`` the column's noise scale
    (default: from the fitted slope, see the module docstring, step 3;
    ``MsdFit.scale`` holds the one used). ``start_at`` (a time) fixes the
    start of the range instead of the start rule, and ``end_at`` its last
    time (default: the last row); a slope from a fixed start may have either
    sign. ``widen_fixed`` widens a fixed start's error by the slope's change
    to the start at twice its time, as for a start the rule chose: a cross
    column fitted over its diagonals' range. ``earliest`` (a time) is where
    the start rule begins its search. ``scale_of`` gives the noise scale from
    the fitted slope for the fit's checks (χ², start sensitivity) of a column
    fitted at a unit ``scale`` whose scale follows from its slope (a cross
    column). Raises ValueError when the
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
    last = end_at
    if bridge:
        cov = _bridged(cov, t_all[kept], sampling.run_length)
        last = min(end_at or math.inf, 0.5 * sampling.run_length)
    inside = np.isfinite(y_all[kept])
    if last is not None:
        inside &= t_all[kept] <= last * (1.0 + 1e-9)
    used = inside.nonzero()[0]
    if len(used) < start_rule.min_rows:
        return _empty()
    index = kept[used]
    t, y = t_all[index], y_all[index]
    share = 1.0 - t / sampling.run_length if bridge else np.ones(len(t))
    y = y / share
    white = _whitening(cov, t, used)
    # A range cut short by the user has its own horizon: its end stands for the run's.
    horizon = sampling.run_length if end_at is None else min(sampling.run_length, float(t[-1]))
    found = _zorv_analysis.gls_line(
        white.factor,
        white.design,
        white.suffix_cov,
        t,
        y,
        float(walkers),
        scale,
        horizon,
        _rule_tuple(start_rule),
        start_at,
        earliest,
        widen_fixed,
        Z95,
    )
    if found is None:
        return _empty()
    s, slope, intercept, se, widen, not_converged, fit, band, sized, level = found
    t_fit = t[s:]
    # The checks weigh the points at the rows' level, the larger square of the slope and of the chord to the
    # start: a slope read off a late start's few origins can come out near zero and make every point look
    # far off. The error's other guard, a neighbouring start's slope, is no estimate of the noise and would
    # blunt the χ².
    noise = (scale_of(slope) if scale_of is not None else level if scale is None else scale) / walkers
    later = later_starts(t, s, horizon * start_rule.horizon, start_rule.min_rows)
    checks = check_fit(white, t, y, s, (intercept, slope), noise, later, walkers)
    flags: tuple[str, ...] = (NOT_CONVERGED,) if not_converged else ()
    # A curve still bending at the horizon says so already; a poor fit or a sensitive start is news.
    flags += (WINDOW_SENSITIVE,) if checks.sensitive and not not_converged else ()
    flags += (POOR_FIT,) if checks.poor else ()
    return MsdFit(
        slope,
        intercept,
        math.hypot(se, widen),
        int(index[s]),
        int(index[-1]) + 1,
        t_fit.copy(),
        np.asarray(fit) * share[s:],
        np.asarray(band) * share[s:],
        flags,
        widen,
        len(t) - s,
        checks,
        sized,
    )


_BRIDGED: dict[tuple[int, float], tuple[FloatArray, FloatArray]] = {}


def _bridged(cov: FloatArray, time: FloatArray, run_length: float) -> FloatArray:
    """``cov`` of rows at ``time`` divided by (1 − s/T)(1 − s'/T), kept per table like the cached matrix."""
    key = (id(cov), run_length)
    hit = _BRIDGED.get(key)
    if hit is not None and hit[0] is cov:
        return hit[1]
    if len(_BRIDGED) > 16:
        _BRIDGED.clear()
    # Rows at the run's whole length (no origin left to spare) keep a tiny share, never a zero one.
    share = np.maximum(1.0 - time / run_length, 1e-6)
    bridged: FloatArray = cov / np.outer(share, share)
    bridged.setflags(write=False)
    _BRIDGED[key] = (cov, bridged)
    return bridged


def _rule_tuple(rule: StartRule) -> tuple[float, int, float, float, float, float, bool, bool, float]:
    return (
        rule.factor,
        rule.min_rows,
        rule.horizon,
        rule.accept_z,
        rule.bend_z,
        rule.unconverged_factor,
        rule.step_on_bend,
        rule.widen_anchor,
        rule.before_walkers,
    )
