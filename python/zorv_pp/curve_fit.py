"""One MSD curve of a run turned into a coefficient, its standard error and its flags.

By default a curve is fitted by generalized least squares under the
covariance its order-n sampling implies (see :mod:`zorv_pp.msdfit`); the
log-log window search of :func:`_zorv_pp.diff_calculator` stays available as
``Window(method="window")`` and always reports its window sensitivity.
"""
from __future__ import annotations

import math
from collections.abc import Callable, Sequence
from dataclasses import dataclass, field
from typing import Union

from .errors import RunError
from .flags import NO_DIFFUSIVE_REGIME, RUN_LENGTH_ASSUMED
from .msdfit import fit_msd, infer_sampling, window_sensitivity
from .run import Run
from .sampling import Sampling
from .window import Window


@dataclass(frozen=True)
class Curve:
    """One fitted curve of a run, kept for figures.

    ``time`` and ``values`` are the file's columns; times times ``time_unit``
    are seconds (or reduced time), values times ``scale`` are in ``unit``
    (coefficient × time), so that the slope of the scaled curve is the
    coefficient. ``t_fit``/``fit`` are the fitted line over the fitted range
    and ``band`` its 95 % half-width there, in the file's units (empty when
    the fit gives none). ``run`` is the index of the run in its state.
    """

    property: str
    label: str
    time: list[float]
    values: list[float]
    t_fit: list[float]
    fit: list[float]
    coefficient: float
    time_unit: float
    scale: float
    unit: str
    band: list[float] = field(default_factory=list)
    run: int = 0


@dataclass(frozen=True)
class CurveFit:
    """What one curve gives: the slope in file units, its standard error, flags and window spread."""

    slope: float
    sem: float
    flags: tuple[str, ...]
    spread: float
    t_fit: list[float]
    fit: list[float]
    band: list[float]


class SamplingCache:
    """The sampling of each table of a run: from the run, else inferred (and flagged) from its time column."""

    def __init__(self, run: Run) -> None:
        self.run = run
        self.found: dict[str, Sampling] = {}

    def __call__(self, table: str, time: Sequence[float]) -> Sampling:
        if table not in self.found:
            given = self.run.sampling.get(table)
            if given is None:
                try:
                    given = infer_sampling(time)
                except ValueError as error:
                    raise RunError(self.run.path, self.run.files.get(table), str(error)) from None
            self.found[table] = given
        return self.found[table]


NoiseScale = Union[None, float, Callable[[float], float]]
"""The noise scale of a column: None for a squared displacement (its slope squared), a number, or a
function of the column's own slope (a cross column, whose scale depends on its slope)."""


def fit_curve(window: Window, sampling: Sampling, time: Sequence[float], values: Sequence[float],
              walkers: float, scale: NoiseScale = None) -> CurveFit:
    """Fit ``values`` against ``time`` (file units) as ``window`` says.

    ``walkers`` is the number of independent one-dimensional walkers the
    column averages; ``scale`` its noise scale (see :data:`NoiseScale`).
    """
    spread = window_sensitivity(time, values, window)
    assumed = (RUN_LENGTH_ASSUMED,) if sampling.assumed else ()
    if window.method == "window":
        slope, t_fit, fit = window.fit(time, values)
        flags = () if math.isfinite(slope) else (NO_DIFFUSIVE_REGIME,)
        return CurveFit(float(slope), math.nan, flags + assumed, spread, list(t_fit), list(fit), [])
    sign = 1.0
    if callable(scale) and _falls(time, values):
        # A cross curve may fall (anticorrelated species): fit its mirror image, a rising curve.
        sign = -1.0
        values = [-v for v in values]
    try:
        result = fit_msd(time, values, sampling, walkers, scale=None if callable(scale) else scale)
    except ValueError:
        # The table does not follow the sampling the log gives (another grid, a shorter run):
        # its own time column is the better guide.
        sampling = infer_sampling(time)
        assumed = (RUN_LENGTH_ASSUMED,)
        result = fit_msd(time, values, sampling, walkers, scale=None if callable(scale) else scale)
    if callable(scale):
        # The slope does not depend on the scale, only its error does: refit with the scale it implies.
        size = scale(sign * result.slope)
        if not (math.isfinite(size) and size > 0.0):
            return CurveFit(sign * result.slope, math.nan, tuple(result.flags) + assumed, spread,
                            list(result.t_fit), [sign * v for v in result.fit], [])
        result = fit_msd(time, values, sampling, walkers, scale=size)
    return CurveFit(sign * result.slope, result.slope_se, tuple(result.flags) + assumed, spread,
                    list(result.t_fit), [sign * v for v in result.fit], list(result.band))


def _falls(time: Sequence[float], values: Sequence[float]) -> bool:
    """Whether the least-squares line through the whole curve falls."""
    n = len(time)
    if n < 2:
        return False
    mean_t, mean_v = math.fsum(time) / n, math.fsum(values) / n
    return math.fsum((t - mean_t) * (v - mean_v) for t, v in zip(time, values)) < 0.0
