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
"""

from __future__ import annotations

import functools
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

GRID_STEPS = 20
"""Points per scale of the grid that the peak and the minimum are searched on."""

FloatArray = npt.NDArray[np.float64]

# The weights near the ends depend only on the grid's length and the kernel: every curve of a file
# shares them.
_EDGE_WEIGHTS: dict[tuple[int, bytes], FloatArray] = {}


def _on_grid(r: FloatArray, g: FloatArray, step: float) -> tuple[FloatArray, FloatArray]:
    """The curve on a uniform grid of ``step``, whatever the file's bins: the mean of the values in each
    grid cell where the bins are finer than it, the curve's linear interpolation where they are coarser."""
    grid, index, counts, coarse = _cells(r, step)
    sums = np.bincount(index, weights=g, minlength=len(grid))
    means = sums / np.maximum(counts, 1)
    means[coarse] = np.interp(grid[coarse], r, g)
    return grid, np.asarray(means, dtype=np.float64)


# Every curve of a file shares its radii, and so its grid and each bin's cell.
_CELLS: dict[
    tuple[bytes, float], tuple[FloatArray, npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_]]
] = {}


def _cells(
    r: FloatArray, step: float
) -> tuple[FloatArray, npt.NDArray[np.int64], npt.NDArray[np.int64], npt.NDArray[np.bool_]]:
    """The grid of ``step`` over ``r``, the cell of each radius, the radii in each cell and the cells of
    fewer than two (read-only)."""
    key = (r.tobytes(), step)
    hit = _CELLS.get(key)
    if hit is not None:
        return hit
    cells = int((r[-1] - r[0]) / step) + 1
    grid = r[0] + step * (np.arange(cells) + 0.5)
    index = np.minimum(((r - r[0]) / step).astype(np.int64), cells - 1)
    counts = np.bincount(index, minlength=cells)
    coarse = counts < 2  # cells of one bin or none: the curve between bins
    found = (grid, index, counts, coarse)
    for array in found:
        array.setflags(write=False)
    if len(_CELLS) > 16:
        _CELLS.clear()
    _CELLS[key] = found
    return found


def _smoothed(grid: FloatArray, g: FloatArray, width: float, upto: int | None = None) -> FloatArray:
    """``g`` convolved with a normalised Gaussian of standard deviation ``width`` on the uniform ``grid``;
    only its first points when ``upto`` values of ``g`` are taken (as many as those values fully decide)."""
    step = float(grid[1] - grid[0])
    kernel = _kernel(step, width)
    reach = len(kernel) // 2
    # A prefix long enough for the whole kernel gives the same sums as the whole curve does there.
    partial = upto is not None and 2 * reach + 1 <= upto < len(g)
    kept = upto - reach if partial and upto is not None else len(g)
    # Near the ends only the points present count, so the curve is not pulled towards zero there.
    total = np.convolve(g[:upto] if partial else g, kernel, mode="same")[:kept]
    key = (len(g), kernel.tobytes())
    weight = _EDGE_WEIGHTS.get(key)
    if weight is None:
        if len(_EDGE_WEIGHTS) > 64:
            _EDGE_WEIGHTS.clear()
        weight = _EDGE_WEIGHTS[key] = np.convolve(np.ones_like(g), kernel, mode="same")
    return np.asarray(total / weight[:kept], dtype=np.float64)


@functools.lru_cache(maxsize=16)
def _kernel(step: float, width: float) -> FloatArray:
    """The Gaussian of standard deviation ``width`` at whole steps out to four widths (read-only)."""
    reach = max(1, int(math.ceil(4.0 * width / step)))
    offsets = np.arange(-reach, reach + 1) * step
    kernel: FloatArray = np.exp(-0.5 * (offsets / width) ** 2)
    kernel.setflags(write=False)
    return kernel


class _Search:
    """Extrema of the smoothed curve, smoothing no further along it than the search has to look: the
    first shell lies near the start of a curve that runs many shells out."""

    def __init__(self, grid: FloatArray, sampled: FloatArray, width: float) -> None:
        self.grid, self.sampled, self.width = grid, sampled, width
        self.upto = 0
        self.smooth = np.zeros(0)

    def first(self, reach: int, start: int, sign: float) -> int | None:
        """What :func:`_extrema` finds on the whole smoothed curve."""
        size = len(self.sampled)
        while True:
            if self.upto < size:
                # A hit in a prefix is final: every earlier point saw its whole window there too.
                found = _extrema(self.smooth, reach, start, sign) if self.upto else None
                if found is not None:
                    return found
                self.upto = min(size, max(2 * self.upto, start + 16 * reach))
                self.smooth = _smoothed(self.grid, self.sampled, self.width, self.upto)
                continue
            return _extrema(self.smooth, reach, start, sign)


def _extrema(values: FloatArray, reach: int, start: int, sign: float) -> int | None:
    """The first index from ``start`` whose value (times ``sign``) is the highest within ``reach`` points
    on both sides and above the values ``reach`` points away; None when there is none."""
    signed = sign * values
    if len(signed) < 2 * reach + 1:
        return None
    # Only a point at least as high as both neighbours can pass; the few such points are checked in order.
    inner = signed[1:-1]
    local = np.flatnonzero((inner >= signed[:-2]) & (inner >= signed[2:])) + 1
    for centre in local[np.searchsorted(local, max(start, reach)) :].tolist():
        if centre >= len(signed) - reach:
            break
        low, high = centre - reach, centre + reach
        top = signed[centre]
        if top > signed[low] and top > signed[high] and top >= signed[low : high + 1].max():
            return int(centre)
    return None


def _vertex(r: FloatArray, g: FloatArray, centre: float, half: float, sign: float) -> tuple[float, float]:
    """Position and value of the extremum nearest ``centre`` of a least-squares polynomial through the
    points within ``half`` of it: a quartic, which follows a peak's asymmetry, where seven points or more
    lie there, else a parabola through at least the three nearest. ``centre`` and the polynomial's value
    there when it has no such extremum among the points."""
    near = np.flatnonzero(np.abs(r - centre) <= half)
    if near.size < 3:
        near = np.sort(np.argsort(np.abs(r - centre), kind="stable")[:3])
    x, y = r[near] - centre, g[near]
    native = _zorv_analysis.shell_vertex(x, y, 4 if near.size >= 7 else 2, sign)
    if native is not None:
        found_one, at, value = native
        return (centre + at if found_one else centre), value
    # Points that do not determine the polynomial: numpy's minimum-norm fit, as it always was.
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


def _running_integral(r: FloatArray, g: FloatArray, upto: float) -> float:
    """∫₀^upto g(r) r² dr of the histogram ``g`` whose bins are centred on ``r``."""
    edges = np.empty(len(r) + 1)
    edges[1:-1] = (r[1:] + r[:-1]) / 2.0
    edges[0] = max(0.0, r[0] - (r[1] - r[0]) / 2.0)
    edges[-1] = r[-1] + (r[-1] - r[-2]) / 2.0
    inside = int(np.searchsorted(edges, upto, side="right")) - 1
    inside = min(max(inside, 0), len(r) - 1)
    # Only the shells below ``upto`` are summed: the rest of a long curve is never cubed.
    cubes = edges[: inside + 1] ** 3
    shells = g[:inside] * (cubes[1:] - cubes[:-1]) / 3.0
    return float(np.sum(shells) + g[inside] * (upto**3 - edges[inside] ** 3) / 3.0)


def first_shell(
    radius: Sequence[float], g: Sequence[float], density: float, length: float, scale: float | None = None
) -> tuple[float, float, float]:
    """Position (m), height and coordination number of the first peak of g(r).

    ``radius`` holds the bin centres in the file's length unit, ``length``
    that unit in metres, ``density`` the number density (1/m³) of the
    species counted around the first one; ``scale`` is the length scale of
    the search in the file's unit (default :data:`SHELL_SCALE`, 0.02 nm).
    The coordination number is 4π ρ ∫₀^r_min g(r) r² dr up to the first
    minimum after the peak; NaN when there is no peak, no minimum after it,
    or no density.
    """
    nothing = (math.nan, math.nan, math.nan)
    r = np.asarray(radius, dtype=np.float64)
    values = np.asarray(g, dtype=np.float64)
    keep = np.isfinite(r) & np.isfinite(values)
    r, values = r[keep], values[keep]
    if len(r) < 3 or np.any(np.diff(r) <= 0.0):
        return nothing
    scale = SHELL_SCALE / length if scale is None else scale
    positive = np.flatnonzero(values > 0.0)
    if not positive.size:
        return nothing
    grid, sampled = _on_grid(r, values, scale / GRID_STEPS)
    search = _Search(grid, sampled, scale / 2.0)
    reach = GRID_STEPS
    start = int(np.searchsorted(grid, r[positive[0]]))
    peak = search.first(reach, start, 1.0)
    if peak is None:
        return nothing
    position, height = _vertex(r, values, float(grid[peak]), scale / 2.0, 1.0)
    minimum = search.first(reach, peak + 1, -1.0)
    if minimum is None or not math.isfinite(density):
        return position * length, height, math.nan
    # The minimum is broad and its values noisy: its fit takes in twice the peak's stretch.
    r_min, _ = _vertex(r, values, float(grid[minimum]), scale, -1.0)
    integral = _running_integral(r, values, r_min) * length**3
    return position * length, height, 4.0 * math.pi * density * integral
