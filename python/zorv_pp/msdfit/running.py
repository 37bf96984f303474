"""The running slope of an MSD column: the GLS slope from every possible start to the last row.

A curve that has reached its diffusive regime gives the same slope from every
start past its bend, within errors; one that has not drifts. Drawn against the
start, it shows at once from which side the slope approaches its plateau and
whether a chosen range sits on it.
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

from ..run.grid import FloatArray
from ..run.sampling import Sampling
from .covariance import rows_and_covariance
from .gls import suffix_fits, whitening


def running_slope(
    time: npt.ArrayLike, values: npt.ArrayLike, sampling: Sampling, walkers: float, scale: float | None = None
) -> tuple[FloatArray, FloatArray, FloatArray]:
    """(start times, slopes, standard errors) of the GLS line from each kept row to the last.

    Rows are those :func:`rows_of` keeps with a finite value. ``walkers`` and
    ``scale`` size the errors as in :func:`fit_msd`: the column's covariance is
    scale · U / walkers, ``scale`` None meaning each start's own slope squared.
    The last start (one row) has NaN slope and error.
    """
    t_all, y_all = (np.asarray(a, dtype=np.float64) for a in (time, values))
    if not walkers > 0 or t_all.shape != y_all.shape or t_all.ndim != 1:
        raise ValueError(f"need positive walkers (not {walkers}) and 1-D time and values of one length")
    rows, cov = rows_and_covariance(t_all, sampling)
    used = np.flatnonzero(rows.keep)
    used_of_kept = np.flatnonzero(np.isfinite(y_all[used]))
    index = used[used_of_kept]
    if len(index) < 2:
        return np.zeros(0), np.zeros(0), np.zeros(0)
    t, y = t_all[index], y_all[index]
    fits = suffix_fits(whitening(t, np.array(cov[np.ix_(used_of_kept, used_of_kept)])), y)
    slopes = fits.coef[:, 1]
    noise = slopes * slopes if scale is None else np.full_like(slopes, float(scale))
    errors = np.sqrt(np.maximum(fits.cov[:, 1, 1], 0.0) * noise / float(walkers))
    return t.copy(), slopes.copy(), errors
