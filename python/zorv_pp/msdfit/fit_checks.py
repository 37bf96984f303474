"""What the data say about a fitted line: its χ² under the covariance model, and whether moving its start
changes it by more than the noise of that change.

Both read the line in the whitened rows (the table's rows last to first, times L⁻¹), where a column that
follows the model is a straight line plus independent unit-variance noise: the χ² of the fitted range is
a plain sum of squares with rows − 2 degrees of freedom, and a curvature term added to the line has a
normal z-score of its own.

A start is sensitive when the slope from any later start the rule considers (doubling in time up to the
horizon) differs from the chosen slope by more than its noise, Var(s_later − s_chosen) = Var(s_later) −
Var(s_chosen) for nested GLS ranges, or when the chosen range itself curves. Those few tests are one family
held to ``alpha`` by Holm's step-down rule, so a straight line is called sensitive in at most that share of
runs, however many later starts there are; ranges before the chosen start (the bend the rule left behind)
never count.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from statistics import NormalDist

import numpy as np

from ..run.grid import FloatArray
from .gls import Whitening, suffix_fits
from .quantiles import chi2_survival

#: The family-wise false-alarm rate of the start-sensitivity tests on a straight line.
SENSITIVITY_ALPHA = 0.05
#: A fit whose χ² under its covariance model is this improbable is flagged ``poor_fit``.
POOR_FIT_P = 0.001
#: Squared displacements of few walkers are far from Gaussian: the χ² of their whitened rows has a heavier
#: tail, taken as a scaled χ² of dof / (1 + KURTOSIS / walkers) degrees of freedom. One Gaussian walker's
#: squared displacement has excess kurtosis 12; a row averages it over many origins, and 4 holds the false
#: alarms of 1-5-walker straight lines at 0-1.5 %.
KURTOSIS = 4.0
#: The slopes' changes of few-walker columns, read off late rows of few origins, have heavy tails too: their
#: variance is taken this many times over the walkers larger, so a straight line keeps its 5 %.
HEAVY_TAILS = 2.0

_NORMAL = NormalDist()


@dataclass(frozen=True)
class FitChecks:
    """χ² of the fitted range with its degrees of freedom and p value, and the start-sensitivity test:
    the smallest Holm-adjusted p value of the family (1 when there was nothing to test)."""

    chi2: float = math.nan
    dof: int = 0
    p: float = math.nan
    sensitivity_p: float = 1.0

    @property
    def poor(self) -> bool:
        return self.p < POOR_FIT_P

    @property
    def sensitive(self) -> bool:
        return self.sensitivity_p < SENSITIVITY_ALPHA


def check_fit(
    white: Whitening,
    t: FloatArray,
    y: FloatArray,
    start: int,
    line: tuple[float, float],
    noise: float,
    later: list[int],
    walkers: float = math.inf,
) -> FitChecks:
    """Checks of the fitted ``line`` (intercept, slope) over rows ``start``.. of ``t``/``y`` (the whitened
    rows ``white``).

    ``noise`` is the column's variance scale over its walkers (scale / walkers): the unit covariance
    times it is the model's covariance. ``later`` are the later starts the start rule considers;
    ``walkers`` the column's independent walkers, which set how heavy the χ²'s tail is.
    """
    n = len(t)
    rows = n - start
    if rows < 4 or not (noise > 0.0 and math.isfinite(noise)):
        return FitChecks()
    yw = white.whiten(y)[:rows]
    xw = white.design[:rows]
    tw = white.square[:rows]
    residual = yw - xw @ np.asarray(line)
    chi2 = float(residual @ residual) / noise
    dof = rows - 2
    tested = noise * (1.0 + HEAVY_TAILS / walkers)
    tests = [_curvature_p(xw, tw, yw, tested)] + _later_ps(white, y, start, later, tested)
    effective = dof / (1.0 + KURTOSIS / walkers)
    return FitChecks(chi2, dof, chi2_survival(chi2 * effective / dof, effective), _holm_min(tests))


def _curvature_p(xw: FloatArray, tw: FloatArray, yw: FloatArray, noise: float) -> float:
    """Two-sided p value of a t² term added to the line: a drift of slope over the range."""
    design = np.column_stack([xw, tw])
    gram = design.T @ design
    try:
        inverse = np.linalg.inv(gram)
    except np.linalg.LinAlgError:
        return 1.0
    coef = inverse @ (design.T @ yw)
    variance = inverse[2, 2] * noise
    if not variance > 0.0:
        return 1.0
    return 2.0 * _NORMAL.cdf(-abs(float(coef[2])) / math.sqrt(variance))


def _later_ps(white: Whitening, y: FloatArray, start: int, later: list[int], noise: float) -> list[float]:
    """Two-sided p values of the slope's change from ``start`` to each later start."""
    if not later:
        return []
    lines = suffix_fits(white, y)
    chosen = lines.coef[start, 1]
    base = lines.cov[start][1, 1]
    found = []
    for s in later:
        excess = (lines.cov[s][1, 1] - base) * noise
        change = lines.coef[s, 1] - chosen
        if excess > 0.0 and math.isfinite(change):
            found.append(2.0 * _NORMAL.cdf(-abs(float(change)) / math.sqrt(excess)))
    return found


def _holm_min(ps: list[float]) -> float:
    """The family's p value under Holm's step-down rule: it rejects anything at level α exactly when m
    times the smallest of its m p values is below α."""
    finite = [p for p in ps if math.isfinite(p)]
    return min(1.0, len(finite) * min(finite)) if finite else 1.0


def later_starts(t: FloatArray, start: int, horizon: float, min_rows: int) -> list[int]:
    """Starts at twice, four times, ... the chosen start's time, while before ``horizon`` and leaving
    ``min_rows`` rows: the later ranges the start rule itself would compare."""
    n = len(t)
    found: list[int] = []
    when = float(t[start]) if t[start] > 0.0 else float(t[min(start + 1, n - 1)])
    while True:
        when *= 2.0
        if when > horizon:
            break
        s = int(np.searchsorted(t, when * (1.0 - 1e-9)))
        if s >= n - min_rows + 1 or s >= n:
            break
        if s > start and (not found or s > found[-1]):
            found.append(s)
    return found
