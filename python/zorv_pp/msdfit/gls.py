"""Generalized least-squares lines over every suffix of a table at once.

Fits that run to the last row differ only in their first row. Reversing the
rows turns each such range into a leading block, and the Cholesky factor of a
leading block is the leading block of the full factor: one factorization and
running sums of the whitened products give the line of every start. The
factor is built natively in one rows × rows buffer; columns are whitened by
forward substitution.
"""

from __future__ import annotations

from dataclasses import dataclass, field

import numpy as np

import _zorv_analysis

from ..run.grid import FloatArray

# Relative jitter on the diagonal: nearly repeated rows (block boundaries
# with few origins) make the matrix close to singular.
_JITTER = 1e-12


@dataclass(frozen=True)
class Whitening:
    """The Cholesky factor of a covariance in reversed row order and the whitened design of its rows.

    ``factor`` is L (lower, read-only) with L Lᵀ the covariance of the rows
    last to first; a column is whitened as L⁻¹ y by forward substitution, so
    no inverse is ever formed and the factor is the one rows × rows matrix.
    """

    factor: FloatArray
    design: FloatArray  # L⁻¹ [1, t] of the reversed rows, (n, 2)
    # :attr:`SuffixFits.cov` (read-only): it depends on the rows alone, so every column of a table shares it.
    suffix_cov: FloatArray = field(default_factory=lambda: np.zeros((0, 2, 2)))
    # L⁻¹ t² of the reversed rows: the curvature term of a fit's drift test, shared by every column.
    square: FloatArray = field(default_factory=lambda: np.zeros(0))

    def whiten(self, values: FloatArray) -> FloatArray:
        """L⁻¹ of ``values`` taken last to first."""
        reversed_values = np.ascontiguousarray(values[::-1], dtype=np.float64)
        return np.asarray(_zorv_analysis.forward_substitution(self.factor, reversed_values))


def whitening(time: FloatArray, cov: FloatArray) -> Whitening:
    """Whitening of rows at ``time`` (ascending) with covariance ``cov``.

    Raises numpy.linalg.LinAlgError when ``cov`` is not positive definite.
    """
    n = len(time)
    try:
        flat = _zorv_analysis.reversed_cholesky(np.ascontiguousarray(cov, dtype=np.float64), _JITTER)
    except ValueError as error:
        raise np.linalg.LinAlgError(str(error)) from None
    factor: FloatArray = np.asarray(flat).reshape(n, n)
    white = Whitening(factor, np.zeros((n, 2)))
    design = np.column_stack([white.whiten(np.ones(n)), white.whiten(np.asarray(time, dtype=np.float64))])
    suffix_cov = _inverse_grams(design)[::-1].copy()
    suffix_cov.setflags(write=False)
    square = white.whiten(np.square(np.asarray(time, dtype=np.float64)))
    return Whitening(factor, design, suffix_cov, square)


def _inverse_grams(x: FloatArray) -> FloatArray:
    """(XᵀX)⁻¹ of every leading block of the rows of ``x``; NaN where fewer than two rows or singular."""
    gram = np.cumsum(x[:, :, None] * x[:, None, :], axis=0)
    det = gram[:, 0, 0] * gram[:, 1, 1] - gram[:, 0, 1] ** 2
    ok = np.arange(len(x)) >= 1
    det = np.where(ok & (det > 0), det, np.nan)
    inv = np.empty_like(gram)
    inv[:, 0, 0] = gram[:, 1, 1] / det
    inv[:, 1, 1] = gram[:, 0, 0] / det
    inv[:, 0, 1] = inv[:, 1, 0] = -gram[:, 0, 1] / det
    return inv


@dataclass(frozen=True)
class SuffixFits:
    """Line of every start s (rows s..n-1), in unit noise scale.

    ``coef[s]`` is (intercept, slope); ``cov[s]`` their 2x2 covariance for a
    column whose covariance is exactly the unit matrix given (read-only,
    shared by every column of the rows).
    """

    coef: FloatArray  # (n, 2); NaN where fewer than two rows remain
    cov: FloatArray  # (n, 2, 2)


def suffix_fits(white: Whitening, values: FloatArray) -> SuffixFits:
    """GLS lines of ``values`` (ascending rows) for every start."""
    y = np.ascontiguousarray(values, dtype=np.float64)
    lines = _zorv_analysis.suffix_lines(white.factor, white.design, white.suffix_cov, y)
    return SuffixFits(np.asarray(lines).reshape(len(y), 2), white.suffix_cov)
