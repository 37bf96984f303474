"""Replicas of one state combined into a value and its error."""

from __future__ import annotations

import math
from statistics import NormalDist

import numpy as np
import numpy.typing as npt


def z(level: float) -> float:
    """Two-sided normal quantile: the half-width in standard errors of a central ``level`` interval."""
    return NormalDist().inv_cdf(0.5 + level / 2.0)


def combine_runs(values: npt.ArrayLike, sems: npt.ArrayLike) -> tuple[float, float, float, int]:
    """Inverse-variance mean of replica ``values`` with single-run errors ``sems``.

    A run weighs at most as much as the typical run: each error is taken at least as large as the
    median of the errors in the weights, since a replica whose fitted range happened to give it a small
    error would otherwise drag the mean towards its own value (the errors of like replicas differ mostly
    by chance; the weights then stay equal, while a genuinely shorter or noisier run still weighs less).
    The mean's error is that of the weighted sum under the runs' own errors.

    Returns (mean, sem, birge, dof). The Birge ratio R = sqrt(χ²/(n − 1))
    compares the replicas' scatter with their own errors; when R > 1 they
    disagree beyond those errors and the sem is multiplied by R. Entries with
    a NaN value or a non-positive or NaN error are left out. One run gives
    its own error (R NaN, dof 0); none gives NaN.
    """
    v = np.asarray(values, dtype=np.float64).ravel()
    s = np.asarray(sems, dtype=np.float64).ravel()
    if v.shape != s.shape:
        raise ValueError("values and sems must have one length")
    with np.errstate(invalid="ignore"):
        ok = np.isfinite(v) & np.isfinite(s) & (s > 0.0)
    v, s = v[ok], s[ok]
    if len(v) == 0:
        return math.nan, math.nan, math.nan, 0
    if len(v) == 1:
        return float(v[0]), float(s[0]), math.nan, 0
    weight = 1.0 / np.maximum(s, float(np.median(s))) ** 2
    total = float(np.sum(weight))
    mean = float(np.sum(weight * v) / total)
    chi2 = float(np.sum((v - mean) ** 2 / s**2))
    dof = len(v) - 1
    birge = math.sqrt(chi2 / dof)
    sem = max(1.0, birge) * math.sqrt(float(np.sum(weight**2 * s**2))) / total
    return mean, sem, birge, dof
