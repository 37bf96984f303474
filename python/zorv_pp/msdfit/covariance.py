"""Covariance of the rows of an order-n MSD table, in closed form.

Take one one-dimensional Brownian walker with MSD = t. Row a averages the
squared displacements over M_a origin intervals [i·p, i·p + k_a·p] (p the
block's stride); for Gaussian increments Cov(U², V²) = 2·Cov(U, V)², and
Cov(U, V) is the overlap of the two intervals. So

    Cov(m_a, m_b) = 2 / (M_a M_b) · Σ_i Σ_j overlap(i, j)².

With a the row of the finer block (stride p) and q = r·p the other's, the
overlap depends only on u = j·r − i and is a trapezoid φ(u). The inner sum
over i is a difference of the running sum H of φ², a piecewise cubic; the
outer sum over j then adds a piecewise cubic along an arithmetic progression,
which power sums give in closed form: O(1) per pair of rows. The native
module computes it pair by pair into the one matrix.

The matrix costs rows² memory and its factor rows³ time, so a table of more
than :data:`FIT_ROWS` kept rows is fitted on that many, spread log-uniformly
in time (:func:`~zorv_pp.run.grid.log_spread`) with the exact covariance of
those rows: neighbouring lags of an order-n table are nearly the same number,
and the interval widens by a few per mille (docs/uncertainty.md).
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from ..run.grid import FloatArray, GridCache, TableRows, grid_rows, log_spread
from ..run.sampling import Sampling

#: The most rows a table is fitted on; chosen by measurement (docs/uncertainty.md).
FIT_ROWS = 1000
#: The first rows, always fitted: the start rule's search begins at the first row and needs this many.
HEAD_ROWS = 8


def covariance_of_rows(rows: TableRows, sampling: Sampling) -> FloatArray:
    """Unit covariance of the kept rows of ``rows`` (see the module docstring), read-only.

    Built natively, O(1) per pair of rows, with no temporary beyond the matrix.
    """
    idx = np.flatnonzero(rows.keep)
    block, element, origins = (
        np.ascontiguousarray(c[idx], dtype=np.float64) for c in (rows.block, rows.element, rows.origins)
    )
    flat = _zorv_analysis.order_n_covariance(block, element, origins, sampling.nbe, sampling.interval)
    cov: FloatArray = np.asarray(flat).reshape(len(idx), len(idx))
    return cov


def _rows_and_covariance(time: FloatArray, sampling: Sampling) -> tuple[TableRows, FloatArray]:
    rows = log_spread(grid_rows(time, sampling), time, FIT_ROWS, HEAD_ROWS)
    return rows, covariance_of_rows(rows, sampling)


#: Rows of a table's time grid (at most :data:`FIT_ROWS` kept) and the unit covariance of its kept rows,
#: cached per (grid, sampling):
#: every column of a table shares its grid, and replicas share their settings, so the matrix is built
#: once. The arrays are read-only.
rows_and_covariance: GridCache[tuple[TableRows, FloatArray]] = GridCache(_rows_and_covariance)


def unit_covariance(time: npt.ArrayLike, sampling: Sampling) -> FloatArray:
    """Covariance of a table's kept rows for one 1-D Brownian walker of MSD = t.

    Rows dropped by :func:`~zorv_pp.run.grid.rows_of` (zero lag, repeated single-origin lag) and
    those past :data:`FIT_ROWS` are left out, so the matrix is (kept rows x kept rows). A column's covariance
    is scale · this / walkers, scale being the slope squared for a squared
    displacement.
    """
    return np.array(rows_and_covariance(time, sampling)[1])
