"""One MSD curve of a run turned into a coefficient, its standard error and its flags.

By default a curve is fitted by generalized least squares under the
covariance its order-n sampling implies (see :mod:`zorv_pp.msdfit`); the
log-log window search (:meth:`Window.fit`) stays available as
``Window(method="window")`` and always reports its window sensitivity.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Sequence
from dataclasses import dataclass, field

import numpy as np

from ..flags import NO_DIFFUSIVE_REGIME, RUN_LENGTH_ASSUMED, SAMPLING_UNKNOWN
from ..msdfit import StartRule, fit_msd, window_sensitivity
from ..msdfit.fit import ANCHORED_RULE
from ..msdfit.window import Window
from ..run.sampling import Sampling


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
    chi2: float = math.nan  # about the fitted line, under the fit's covariance model
    dof: int = 0
    p: float = math.nan  # of that χ², its tail as heavy as the column's walkers make it


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
    chi2: float = math.nan  # about the fitted line, under the fit's covariance model, with ``dof``
    dof: int = 0
    p: float = math.nan  # of that χ² under the same model (the fit's ``poor_fit`` is p < 0.001)
    scale: float = math.nan  # the noise scale the error was sized by, when the fit chose it
    widened: float = 0.0  # the error's widening for the start choice, in file units (in ``sem`` already)

    @property
    def start(self) -> float:
        """The time the fitted range starts at (file units; NaN without a range)."""
        return self.t_fit[0] if self.t_fit else math.nan


def as_floats(values: Sequence[float]) -> list[float]:
    """The values as Python floats."""
    # Python floats, not numpy scalars: they pickle to a worker's caller and back many times faster.
    return list(np.asarray(values, dtype=np.float64).tolist())


NoiseScale = float | Callable[[float], float] | None
"""The noise scale of a column: None for a squared displacement (its slope squared, no smaller than its
level at the start allows; see :mod:`zorv_pp.msdfit.fit`), a number, or a function of the column's own
slope (a cross column, whose scale depends on its slope)."""


def fit_curve(
    window: Window,
    sampling: Sampling | None,
    time: Sequence[float],
    values: Sequence[float],
    walkers: float,
    scale: NoiseScale = None,
    spread: bool = True,
    start_at: float | None = None,
    seconds: float = 1.0,
    earliest: float | None = None,
    bridge: bool = False,
    anchored: bool = False,
    widen_cross: bool = True,
) -> CurveFit:
    """Fit ``values`` against ``time`` (file units) as ``window`` says.

    ``walkers`` is the number of independent one-dimensional walkers the
    column averages; ``scale`` its noise scale (see :data:`NoiseScale`): a
    function of the slope marks a cross column, fitted from ``start_at`` (a
    time: its diagonals' range) rather than from where its own bend ends.
    Without a sampling (a table that is no order-n grid) the curve gets the
    window search's value, no error, and the flag ``sampling_unknown``.
    ``spread=False`` leaves the window sensitivity out (NaN). ``seconds`` is
    the file's time unit in seconds, for the window's ``start`` and ``end``: a
    range the user fixed overrides both the start rule and ``start_at``.
    ``earliest`` (file units) is where the start rule begins its search: a
    collective curve waits at least for its species' own caging to end.
    ``bridge`` fits a flux column taken less its run's own mean by its shape. ``anchored`` says that
    ``earliest`` is where a column of many walkers of the same molecules starts (see :data:`ANCHORED_RULE`).
    ``widen_cross=False`` leaves a cross column's error unwidened by its change of slope: neither diagonal's
    error was widened for its start (both kept the first row, where their species' molecules saw no bend).
    """
    width = window_sensitivity(time, values, window) if spread else math.nan
    if sampling is None or window.method == "window":
        slope, t_fit, fit = window.fit(time, values)
        flags: tuple[str, ...] = () if math.isfinite(slope) else (NO_DIFFUSIVE_REGIME,)
        flags += (SAMPLING_UNKNOWN,) if sampling is None else ()
        return CurveFit(float(slope), math.nan, flags, width, as_floats(t_fit), as_floats(fit), [])
    assumed = (RUN_LENGTH_ASSUMED,) if sampling.assumed else ()
    fixed = None if window.start is None else window.start / seconds
    end = None if window.end is None else window.end / seconds
    if window.margin:  # set by the user: the GLS range stays inside the trimmed rows as well
        cut = int(window.margin * len(time))
        if 0 < cut < len(time) // 2:
            earliest = max(earliest or 0.0, float(time[cut]))
            end = float(time[-1 - cut]) if end is None else min(end, float(time[-1 - cut]))
    if callable(scale):
        # A cross column: its range is its diagonals' (``start_at``), and its noise scale follows from
        # its own slope; its error is widened by its own change of slope from there when a diagonal's was.
        at = fixed if fixed is not None else max(start_at or 0.0, earliest or 0.0)
        result = fit_msd(
            time,
            values,
            sampling,
            walkers,
            scale=1.0,
            start_at=at,
            end_at=end,
            widen_fixed=fixed is None and widen_cross,
            scale_of=scale,
        )
        root = math.sqrt(scale(result.slope)) if math.isfinite(result.slope) else math.nan
        if not (root > 0.0):
            return CurveFit(
                result.slope,
                math.nan,
                tuple(result.flags) + assumed,
                width,
                result.t_fit.tolist(),
                result.fit.tolist(),
                [],
            )
        # The unit-scale error grows with the scale's root; the slope's own change of slope does not.
        unit_se = math.sqrt(max(result.slope_se**2 - result.widened**2, 0.0))
        return CurveFit(
            result.slope,
            math.hypot(unit_se * root, result.widened),
            tuple(result.flags) + assumed,
            width,
            result.t_fit.tolist(),
            result.fit.tolist(),
            (result.band * root).tolist(),
            result.checks.chi2,
            result.checks.dof,
            result.checks.p,
            widened=result.widened,
        )
    result = fit_msd(
        time,
        values,
        sampling,
        walkers,
        scale=scale,
        start_at=fixed,
        end_at=end,
        earliest=earliest,
        bridge=bridge,
        start_rule=ANCHORED_RULE if anchored and earliest is not None else StartRule(),
    )
    return CurveFit(
        result.slope,
        result.slope_se,
        tuple(result.flags) + assumed,
        width,
        result.t_fit.tolist(),
        result.fit.tolist(),
        result.band.tolist(),
        result.checks.chi2,
        result.checks.dof,
        result.checks.p,
        result.scale,
        result.widened,
    )
