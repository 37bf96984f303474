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
which power sums give in closed form: O(1) per pair of rows.
"""
from __future__ import annotations

from collections import OrderedDict

import numpy as np
import numpy.typing as npt

from ..sampling import Sampling
from .rows import FloatArray, IntArray, TableRows, rows_of


def _square_sum(y: FloatArray) -> FloatArray:
    """Σ_{v=0}^{y} v² (0 for y = -1)."""
    return y * (y + 1.0) * (2.0 * y + 1.0) / 6.0


def _progression_powers(y0: FloatArray, step: FloatArray, n: FloatArray) -> tuple[FloatArray, FloatArray, FloatArray]:
    """Σ y, Σ y², Σ y³ over y = y0 + step·t, t = 0..n-1."""
    s1 = n * (n - 1.0) / 2.0
    s2 = (n - 1.0) * n * (2.0 * n - 1.0) / 6.0
    s3 = s1 * s1
    p1 = n * y0 + step * s1
    p2 = n * y0**2 + 2.0 * y0 * step * s1 + step**2 * s2
    p3 = n * y0**3 + 3.0 * y0**2 * step * s1 + 3.0 * y0 * step**2 * s2 + step**3 * s3
    return p1, p2, p3


def _cubic_sum(y0: FloatArray, step: FloatArray, n: FloatArray) -> FloatArray:
    """Σ (2y³ + 3y² + y)/6, i.e. Σ _square_sum(y), over the progression."""
    p1, p2, p3 = _progression_powers(y0, step, n)
    return (2.0 * p3 + 3.0 * p2 + p1) / 6.0


def _span(xa: IntArray, xb: IntArray, e: IntArray, r: IntArray, mb: IntArray) -> tuple[IntArray, FloatArray]:
    """First j and count of j in 0..mb-1 with xa <= j·r + e <= xb."""
    first = np.maximum(0, -((e - xa) // r))
    last = np.minimum(mb - 1, (xb - e) // r)
    return first, np.maximum(0, last - first + 1).astype(np.float64)


def _sum_running(e: IntArray, r: IntArray, mb: IntArray, a: IntArray, b: IntArray) -> FloatArray:
    """Σ_{j=0}^{mb-1} H(j·r + e), H(x) = Σ_{u<=x} φ(u)², φ(u) = max(0, min(a, u + b) − max(0, u))."""
    lo, hi = -b, a
    m1, m2 = np.minimum(0, a - b), np.maximum(0, a - b)
    c = np.minimum(a, b).astype(np.float64)
    plateau = (m2 - m1).astype(np.float64)
    total = _square_sum(c) + plateau * c**2 + _square_sum(c - 1.0)
    rf = r.astype(np.float64)
    # Rising edge, H = Q(x - lo).
    j0, n = _span(lo, m1, e, r, mb)
    result = _cubic_sum((j0 * r + e - lo).astype(np.float64), rf, n)
    # Plateau, H = Q(c) + (x - m1)·c².
    j0, n = _span(m1 + 1, m2, e, r, mb)
    y0 = (j0 * r + e - m1).astype(np.float64)
    result += n * _square_sum(c) + c**2 * (n * y0 + rf * n * (n - 1.0) / 2.0)
    # Falling edge, H = total − Q(hi − x − 1).
    j0, n = _span(m2 + 1, hi, e, r, mb)
    result += n * total - _cubic_sum((hi - (j0 * r + e) - 1).astype(np.float64), -rf, n)
    # Past the support, H = total.
    big = np.iinfo(np.int64).max // 4
    j0, n = _span(hi + 1, np.full_like(hi, big), e, r, mb)
    whole: FloatArray = result + n * total
    return whole


def covariance_of_rows(rows: TableRows, sampling: Sampling) -> FloatArray:
    """Unit covariance of the kept rows of ``rows`` (see the module docstring)."""
    idx = np.flatnonzero(rows.keep)
    blk, k, m = rows.block[idx], rows.element[idx], rows.origins[idx]
    ba, bb = np.meshgrid(blk, blk, indexing="ij")
    fine = ba <= bb  # the pair's finer row plays "a"
    ka, kb = np.meshgrid(k, k, indexing="ij")
    ma, mb = np.meshgrid(m, m, indexing="ij")
    lo_b, hi_b = np.where(fine, ba, bb), np.where(fine, bb, ba)
    a_k, b_k = np.where(fine, ka, kb), np.where(fine, kb, ka)
    a_m, b_m = np.where(fine, ma, mb), np.where(fine, mb, ma)
    r = sampling.nbe ** (hi_b - lo_b)
    span_b = b_k * r
    sums = _sum_running(np.zeros_like(r), r, b_m, a_k, span_b) - _sum_running(-a_m, r, b_m, a_k, span_b)
    stride = sampling.interval * np.power(float(sampling.nbe), lo_b)
    cov = 2.0 * sums * stride**2 / (a_m.astype(np.float64) * b_m)
    return 0.5 * (cov + cov.T)


_CACHE: OrderedDict[tuple[bytes, Sampling], tuple[TableRows, FloatArray]] = OrderedDict()
_CACHE_SIZE = 64


def rows_and_covariance(time: npt.ArrayLike, sampling: Sampling) -> tuple[TableRows, FloatArray]:
    """Rows of ``time`` and the unit covariance of its kept rows, cached per (grid, sampling).

    Every column of a table shares its time grid, and replicas share their
    settings, so the matrix is built once. The arrays returned are read-only.
    """
    t = np.ascontiguousarray(time, dtype=np.float64)
    key = (t.tobytes(), sampling)
    hit = _CACHE.get(key)
    if hit is not None:
        _CACHE.move_to_end(key)
        return hit
    rows = rows_of(t, sampling)
    cov = covariance_of_rows(rows, sampling)
    cov.setflags(write=False)
    _CACHE[key] = (rows, cov)
    if len(_CACHE) > _CACHE_SIZE:
        _CACHE.popitem(last=False)
    return rows, cov


def unit_covariance(time: npt.ArrayLike, sampling: Sampling) -> FloatArray:
    """Covariance of a table's kept rows for one 1-D Brownian walker of MSD = t.

    Rows dropped by :func:`rows_of` (zero lag, repeated single-origin lag) are
    left out, so the matrix is (kept rows x kept rows). A column's covariance
    is scale · this / walkers, scale being the slope squared for a squared
    displacement.
    """
    return np.array(rows_and_covariance(time, sampling)[1])
