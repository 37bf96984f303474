"""The first coordination shell of a radial distribution function.

Every choice is made on a physical length scale, never in bins, so the same
curve written at any bin width gives the same shell. The peak and the first
minimum after it are found on the curve smoothed by a Gaussian of half the
scale (0.02 nm by default): a peak must be the highest point within one
scale on either side, a minimum the lowest, so noise between neighbouring
bins is never taken for a shell. Their positions, and the peak's height,
come from a least-squares quartic through the unsmoothed values near them
(within half the scale of the peak, within the scale of the broader minimum).
The coordination number integrates the curve as the histogram it is: each
value times the volume of its bin's spherical shell.

A value read off a grid is known no better than its grid, however alike the
replicas: each value has a floor on its error, shared by every run on that
grid (:func:`shell_with_floors`). The position's is the uniform error of one
step, Δ/√12. The height is read at the vertex, where g is stationary, so an
offset u of the vertex within one step moves it only by ½g''u²; its root mean
square over u uniform in ±Δ/2, |Δ²g|/(2√80) with Δ²g the second difference
of the sampled curve at the peak, is the height's floor. The coordination
number's upper limit r_min is read off the grid likewise: its floor is the
integrand there times the minimum's Δ/√12.

The whole search runs natively (``_zorv_analysis.first_shell``); only a fit
whose points do not determine the polynomial falls back to numpy's
minimum-norm least squares here.
"""

from __future__ import annotations

import math
from collections.abc import Sequence

import numpy as np
import numpy.typing as npt

import _zorv_analysis

from .shell_polynomial import derivative, horner, least_squares_polynomial, polynomial_roots

SHELL_SCALE = 2e-11
"""The length scale of the shell search, m (0.02 nm)."""
REDUCED_SHELL_SCALE = 0.06
"""The same scale for a reduced (lj) run, in σ: 0.02 nm for σ = 0.34 nm, argon's."""

FloatArray = npt.NDArray[np.float64]
Shell = tuple[float, float, float]
"""Peak position (m), peak height and coordination number."""


def first_shell(
    radius: Sequence[float], g: Sequence[float], density: float, length: float, scale: float | None = None
) -> Shell:
    """Position (m), height and coordination number of the first peak of g(r) (see :func:`shell_with_floors`)."""
    return shell_with_floors(radius, g, density, length, scale)[0]


def shell_with_floors(
    radius: Sequence[float], g: Sequence[float], density: float, length: float, scale: float | None = None
) -> tuple[Shell, Shell]:
    """Position (m), height and coordination number of the first peak of g(r), and the floor of each one's
    error that its grid sets (see the module's text; NaN where the value is).

    ``radius`` holds the bin centres in the file's length unit, ``length``
    that unit in metres, ``density`` the number density (1/m³) of the
    species counted around the first one; ``scale`` is the length scale of
    the search in the file's unit (default :data:`SHELL_SCALE`, 0.02 nm).
    The coordination number is 4π ρ ∫₀^r_min g(r) r² dr up to the first
    minimum after the peak; NaN when there is no peak, no minimum after it,
    or no density.
    """
    nothing = (math.nan, math.nan, math.nan)
    r = np.ascontiguousarray(radius, dtype=np.float64)
    values = np.ascontiguousarray(g, dtype=np.float64)
    scale = SHELL_SCALE / length if scale is None else scale
    found = _zorv_analysis.first_shell(r, values, float(scale))
    if found is None:
        return nothing, nothing
    peak, minimum, integral = found
    position, height = _vertex(peak, r, values, scale / 2.0, 1.0)
    kept_r, kept_g = _finite_rows(r, values)
    floors = (_spacing(kept_r, position) / math.sqrt(12.0) * length, _height_floor(kept_r, kept_g, position))
    if minimum is None or not math.isfinite(density):
        return (position * length, height, math.nan), (*floors, math.nan)
    r_min, g_min = minimum[1], minimum[2]
    if r_min is None or g_min is None:
        r_min, g_min = _minimum_norm_vertex(kept_r, kept_g, minimum[0], scale, -1.0)
        integral = _zorv_analysis.shell_integral(kept_r, kept_g, r_min)
    shell = 4.0 * math.pi * density * length**3
    edge = shell * abs(g_min) * r_min * r_min * _spacing(kept_r, r_min) / math.sqrt(12.0)
    return (position * length, height, shell * integral), (*floors, edge)


def _spacing(r: FloatArray, x: float) -> float:
    """The grid step around ``x``: the distance between the two points it lies between (or the nearest two)."""
    if r.size < 2 or not math.isfinite(x):
        return math.nan
    upper = min(max(int(np.searchsorted(r, x)), 1), r.size - 1)
    return float(r[upper] - r[upper - 1])


def _height_floor(r: FloatArray, g: FloatArray, position: float) -> float:
    """|Δ²g|/(2√80) at the point nearest ``position``: the RMS change of g over a vertex offset within one step."""
    if r.size < 3 or not math.isfinite(position):
        return math.nan
    at = min(max(int(np.argmin(np.abs(r - position))), 1), r.size - 2)
    return abs(float(g[at - 1] - 2.0 * g[at] + g[at + 1])) / (2.0 * math.sqrt(80.0))


def _finite_rows(r: FloatArray, g: FloatArray) -> tuple[FloatArray, FloatArray]:
    """The rows the native search kept: both values finite."""
    keep = np.isfinite(r) & np.isfinite(g)
    return r[keep], g[keep]


def _vertex(
    extremum: tuple[float, float | None, float | None], r: FloatArray, g: FloatArray, half: float, sign: float
) -> tuple[float, float]:
    """The native fit's vertex and value, or numpy's where the points do not determine the polynomial."""
    centre, at, value = extremum
    if at is not None and value is not None:
        return at, value
    return _minimum_norm_vertex(*_finite_rows(r, g), centre, half, sign)


def _minimum_norm_vertex(r: FloatArray, g: FloatArray, centre: float, half: float, sign: float) -> tuple[float, float]:
    """Position and value of the extremum nearest ``centre`` of numpy's minimum-norm least-squares polynomial
    through the points the native fit had (within ``half`` of it, else the three nearest); ``centre`` and the
    polynomial's value there when it has no such extremum among the points."""
    near = np.flatnonzero(np.abs(r - centre) <= half)
    if near.size < 3:
        near = np.sort(np.argsort(np.abs(r - centre), kind="stable")[:3])
    x, y = r[near] - centre, g[near]
    coef = least_squares_polynomial(x, y, 4 if near.size >= 7 else 2)
    slope = derivative(coef)
    bend = derivative(slope)
    roots = polynomial_roots(slope)
    lowest, highest = x.min(), x.max()
    found = [
        z.real
        for z in roots
        if abs(z.imag) <= 1e-9 * half and lowest <= z.real <= highest and sign * horner(bend, z.real) < 0.0
    ]
    if not found:
        return centre, float(horner(coef, 0.0))
    offset = min(found, key=abs)
    return centre + float(offset), float(horner(coef, offset))
