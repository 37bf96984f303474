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
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from ..run.grid import FloatArray, GridCache, TableRows, grid_rows
from ..run.sampling import Sampling

#: The largest table (kept rows) whose covariance is built: three matrices of this side (the cached
#: covariance, a fit's copy of it and its factor) take about 0.9 GB.
MAX_ROWS = 6000


def covariance_of_rows(rows: TableRows, sampling: Sampling) -> FloatArray:
    """Unit covariance of the kept rows of ``rows`` (see the module docstring), read-only.

    Built natively, O(1) per pair of rows, with no temporary beyond the matrix.
    """
    idx = np.flatnonzero(rows.keep)
    if len(idx) > MAX_ROWS:
        raise ValueError(
            f"a table of {len(idx)} rows is beyond the {MAX_ROWS} rows whose covariance is built "
            f"(each matrix would take {8 * len(idx) ** 2 / 1e9:.1f} GB)"
        )
    block, element, origins = (
        np.ascontiguousarray(c[idx], dtype=np.float64) for c in (rows.block, rows.element, rows.origins)
    )
    flat = _zorv_analysis.order_n_covariance(block, element, origins, sampling.nbe, sampling.interval)
    cov: FloatArray = np.asarray(flat).reshape(len(idx), len(idx))
    return cov


def _rows_and_covariance(time: FloatArray, sampling: Sampling) -> tuple[TableRows, FloatArray]:
    rows = grid_rows(time, sampling)
    return rows, covariance_of_rows(rows, sampling)


#: Rows of a table's time grid and the unit covariance of its kept rows, cached per (grid, sampling):
#: every column of a table shares its grid, and replicas share their settings, so the matrix is built
#: once. The arrays are read-only.
rows_and_covariance: GridCache[tuple[TableRows, FloatArray]] = GridCache(_rows_and_covariance)


def unit_covariance(time: npt.ArrayLike, sampling: Sampling) -> FloatArray:
    """Covariance of a table's kept rows for one 1-D Brownian walker of MSD = t.

    Rows dropped by :func:`~zorv_pp.run.grid.rows_of` (zero lag, repeated single-origin lag) are
    left out, so the matrix is (kept rows x kept rows). A column's covariance
    is scale · this / walkers, scale being the slope squared for a squared
    displacement.
    """
    return np.array(rows_and_covariance(time, sampling)[1])
