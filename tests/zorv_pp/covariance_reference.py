"""The order-n covariance in numpy, pair by pair over meshgrids: the tests' reference for the native one."""

import numpy as np

from zorv_pp.run.grid import TableRows


def _square_sum(y):
    """Σ_{v=0}^{y} v² (0 for y = -1)."""
    return y * (y + 1.0) * (2.0 * y + 1.0) / 6.0


def _progression_powers(y0, step, n):
    """Σ y, Σ y², Σ y³ over y = y0 + step·t, t = 0..n-1."""
    s1 = n * (n - 1.0) / 2.0
    s2 = (n - 1.0) * n * (2.0 * n - 1.0) / 6.0
    s3 = s1 * s1
    p1 = n * y0 + step * s1
    p2 = n * y0**2 + 2.0 * y0 * step * s1 + step**2 * s2
    p3 = n * y0**3 + 3.0 * y0**2 * step * s1 + 3.0 * y0 * step**2 * s2 + step**3 * s3
    return p1, p2, p3


def _cubic_sum(y0, step, n):
    """Σ (2y³ + 3y² + y)/6, i.e. Σ _square_sum(y), over the progression."""
    p1, p2, p3 = _progression_powers(y0, step, n)
    return (2.0 * p3 + 3.0 * p2 + p1) / 6.0


def _span(xa, xb, e, r, mb):
    """First j and count of j in 0..mb-1 with xa <= j·r + e <= xb."""
    first = np.maximum(0, -((e - xa) // r))
    last = np.minimum(mb - 1, (xb - e) // r)
    return first, np.maximum(0, last - first + 1).astype(np.float64)


def _sum_running(e, r, mb, a, b):
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
    whole = result + n * total
    return whole


def covariance_of_rows(rows: TableRows, sampling):
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
