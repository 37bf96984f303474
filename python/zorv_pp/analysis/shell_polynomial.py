"""The small power-series polynomials of the RDF shell fits, without numpy.polynomial's objects.

The shell's vertex is fitted natively (``_zorv_analysis.first_shell``); these
are its fallback for points that do not determine the polynomial, where
numpy's minimum-norm least squares has the answer. Each step does the
arithmetic of its numpy.polynomial counterpart in the same order
(column-scaled least squares, coefficient-wise derivative, eigenvalues of the
rotated companion matrix, Horner's rule), so it gives numpy's answer to the
bit; only the per-call checks and object building are gone.
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt

FloatArray = npt.NDArray[np.float64]
_EPS = float(np.finfo(np.float64).eps)


def least_squares_polynomial(x: FloatArray, y: FloatArray, degree: int) -> FloatArray:
    """Coefficients, lowest power first, of the least-squares polynomial of ``degree`` through (x, y)."""
    powers = np.empty((degree + 1, len(x)))
    powers[0] = x * 0 + 1
    if degree > 0:
        powers[1] = x
    for i in range(2, degree + 1):
        powers[i] = powers[i - 1] * x
    # Unit-norm columns keep the Vandermonde system well conditioned.
    norms = np.sqrt(np.square(powers).sum(1))
    norms[norms == 0] = 1
    solution = np.linalg.lstsq(powers.T / norms, y, len(x) * _EPS)[0]
    return np.asarray((solution.T / norms).T, dtype=np.float64)


def derivative(coef: FloatArray) -> FloatArray:
    """Coefficients of the derivative; a constant's derivative is the zero constant."""
    if len(coef) <= 1:
        return np.asarray(coef[:1] * 0, dtype=np.float64)
    return np.asarray(coef[1:] * np.arange(1, len(coef)), dtype=np.float64)


def polynomial_roots(coef: FloatArray) -> npt.NDArray[np.complex128] | FloatArray:
    """Roots, sorted, of the polynomial: trailing zero coefficients do not count towards its degree."""
    nonzero = np.flatnonzero(coef)
    c = coef[: nonzero[-1] + 1] if nonzero.size else coef[:1]
    if len(c) < 2:
        return np.zeros(0)
    if len(c) == 2:
        return np.array([-c[0] / c[1]])
    n = len(c) - 1
    companion = np.zeros((n, n))
    companion.reshape(-1)[n :: n + 1] = 1
    companion[:, -1] -= c[:-1] / c[-1]
    # Rotated, as numpy.polynomial does: it reduces the eigenvalues' error.
    roots: npt.NDArray[np.complex128] | FloatArray = np.linalg.eigvals(companion[::-1, ::-1])  # type: ignore[assignment]
    roots.sort()
    return roots


def horner(coef: FloatArray, x: float) -> float:
    """The polynomial's value at ``x``."""
    value = coef[-1] + x * 0
    for c in coef[-2::-1]:
        value = c + value * x
    return float(value)
