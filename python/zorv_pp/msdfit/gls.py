"""Generalized least-squares lines over every suffix of a table at once.

Fits that run to the last row differ only in their first row. Reversing the
rows turns each such range into a leading block, and the Cholesky factor of a
leading block is the leading block of the full factor: one factorization and
running sums of the whitened products give the line of every start.
"""
from __future__ import annotations

from dataclasses import dataclass

import numpy as np

from .rows import FloatArray

# Relative jitter on the diagonal: nearly repeated rows (block boundaries
# with few origins) make the matrix close to singular.
_JITTER = 1e-12


@dataclass(frozen=True)
class Whitening:
    """The reversed Cholesky inverse of a covariance and the whitened design of its rows."""

    inverse: FloatArray  # L⁻¹ of the reversed rows
    design: FloatArray  # L⁻¹ [1, t] of the reversed rows, (n, 2)


def whitening(time: FloatArray, cov: FloatArray) -> Whitening:
    """Whitening of rows at ``time`` (ascending) with covariance ``cov``."""
    rev = cov[::-1, ::-1]
    scale = np.sqrt(np.diag(rev))
    corr = rev / np.outer(scale, scale)
    corr[np.diag_indices_from(corr)] += _JITTER
    factor = np.linalg.cholesky(corr) * scale[:, None]
    inverse = np.linalg.inv(factor)
    inverse[np.triu_indices_from(inverse, 1)] = 0.0  # exactly lower triangular
    design = inverse @ np.column_stack([np.ones_like(time), time])[::-1]
    return Whitening(inverse, design)


@dataclass(frozen=True)
class SuffixFits:
    """Line of every start s (rows s..n-1), in unit noise scale.

    ``coef[s]`` is (intercept, slope); ``cov[s]`` their 2x2 covariance for a
    column whose covariance is exactly the unit matrix given.
    """

    coef: FloatArray  # (n, 2); NaN where fewer than two rows remain
    cov: FloatArray  # (n, 2, 2)


def suffix_fits(white: Whitening, values: FloatArray) -> SuffixFits:
    """GLS lines of ``values`` (ascending rows) for every start."""
    x = white.design
    y = white.inverse @ values[::-1]
    gram = np.cumsum(x[:, :, None] * x[:, None, :], axis=0)
    moment = np.cumsum(x * y[:, None], axis=0)
    det = gram[:, 0, 0] * gram[:, 1, 1] - gram[:, 0, 1] ** 2
    ok = np.arange(len(y)) >= 1
    det = np.where(ok & (det > 0), det, np.nan)
    inv = np.empty_like(gram)
    inv[:, 0, 0] = gram[:, 1, 1] / det
    inv[:, 1, 1] = gram[:, 0, 0] / det
    inv[:, 0, 1] = inv[:, 1, 0] = -gram[:, 0, 1] / det
    coef = np.einsum("kij,kj->ki", inv, moment)
    # Leading block k of the reversed rows is the suffix starting at n-1-k.
    return SuffixFits(coef[::-1].copy(), inv[::-1].copy())
