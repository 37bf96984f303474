"""The native first-shell search gives what the numpy search it replaced gave: the same grid points for the
peak and the minimum, so the same fits to the bit, and the coordination integral to rounding (its sum runs
left to right where numpy's is pairwise)."""

import functools
import glob
import math

import numpy as np
import pytest

import _zorv_analysis
from zorv_pp.analysis import rdf
from zorv_pp.analysis.shell_polynomial import derivative, horner, least_squares_polynomial, polynomial_roots

RHO, LENGTH = 3.3e28, 1e-10


# The numpy search as it stood, kept as the reference: the same steps, written plainly.
def _reference(radius, g, scale):
    """(peak grid point, minimum grid point, position, height, (integral, size of its terms)) of the old
    search; None or NaNs where it found nothing."""
    r, values = np.asarray(radius, dtype=np.float64), np.asarray(g, dtype=np.float64)
    keep = np.isfinite(r) & np.isfinite(values)
    r, values = r[keep], values[keep]
    positive = np.flatnonzero(values > 0.0)
    if len(r) < 3 or np.any(np.diff(r) <= 0.0) or not positive.size:
        return None
    step = scale / 20
    cells = int((r[-1] - r[0]) / step) + 1
    grid = r[0] + step * (np.arange(cells) + 0.5)
    index = np.minimum(((r - r[0]) / step).astype(np.int64), cells - 1)
    counts = np.bincount(index, minlength=cells)
    sampled = np.bincount(index, weights=values, minlength=cells) / np.maximum(counts, 1)
    sampled[counts < 2] = np.interp(grid[counts < 2], r, values)
    smooth = _reference_smoothed(grid, sampled, scale / 2.0)
    peak = _reference_extremum(smooth, int(np.searchsorted(grid, r[positive[0]])), 1.0)
    if peak is None:
        return None
    position, height = _reference_vertex(r, values, float(grid[peak]), scale / 2.0, 1.0)
    minimum = _reference_extremum(smooth, peak + 1, -1.0)
    if minimum is None:
        return float(grid[peak]), None, position, height, (math.nan, math.nan)
    r_min, _ = _reference_vertex(r, values, float(grid[minimum]), scale, -1.0)
    return float(grid[peak]), float(grid[minimum]), position, height, _reference_integral(r, values, r_min)


def _reference_smoothed(grid, g, width):
    step = float(grid[1] - grid[0])
    reach = max(1, int(math.ceil(4.0 * width / step)))
    kernel = np.exp(-0.5 * ((np.arange(-reach, reach + 1) * step) / width) ** 2)
    return np.convolve(g, kernel, mode="same") / np.convolve(np.ones_like(g), kernel, mode="same")


def _reference_extremum(values, start, sign, reach=20):
    signed = sign * values
    for centre in range(max(start, reach), len(signed) - reach):
        window = signed[centre - reach : centre + reach + 1]
        if signed[centre] >= window.max() and signed[centre] > window[0] and signed[centre] > window[-1]:
            return centre
    return None


def _reference_vertex(r, g, centre, half, sign):
    near = np.flatnonzero(np.abs(r - centre) <= half)
    if near.size < 3:
        near = np.sort(np.argsort(np.abs(r - centre), kind="stable")[:3])
    x, y = r[near] - centre, g[near]
    native = _zorv_analysis.shell_vertex(x, y, 4 if near.size >= 7 else 2, sign)
    if native is not None:
        return (centre + native[1] if native[0] else centre), native[2]
    coef = least_squares_polynomial(x, y, 4 if near.size >= 7 else 2)
    bend = derivative(derivative(coef))
    found = [
        z.real
        for z in polynomial_roots(derivative(coef))
        if abs(z.imag) <= 1e-9 * half and x.min() <= z.real <= x.max() and sign * horner(bend, z.real) < 0.0
    ]
    offset = min(found, key=abs) if found else 0.0
    return centre + float(offset), float(horner(coef, offset))


def _reference_integral(r, g, upto):
    edges = np.empty(len(r) + 1)
    edges[1:-1] = (r[1:] + r[:-1]) / 2.0
    edges[0] = max(0.0, r[0] - (r[1] - r[0]) / 2.0)
    edges[-1] = r[-1] + (r[-1] - r[-2]) / 2.0
    inside = min(max(int(np.searchsorted(edges, upto, side="right")) - 1, 0), len(r) - 1)
    cubes = edges[: inside + 1] ** 3
    shells = np.append(g[:inside] * (cubes[1:] - cubes[:-1]) / 3.0, g[inside] * (upto**3 - edges[inside] ** 3) / 3.0)
    # With the sum, the size of its terms: a sum of terms of both signs is known to rounding of that size.
    return float(np.sum(shells[:-1]) + shells[-1]), float(np.sum(np.abs(shells)))


def _assert_same_shell(radius, g, scale):
    expected = _reference(radius, g, scale)
    native = _zorv_analysis.first_shell(np.ascontiguousarray(radius, float), np.ascontiguousarray(g, float), scale)
    found = rdf.first_shell(radius, g, RHO, LENGTH, scale)
    if expected is None:
        assert native is None and all(math.isnan(v) for v in found)
        return
    peak, minimum, position, height, (integral, size) = expected
    assert native[0][0] == peak and (native[1] is None) == (minimum is None)
    assert minimum is None or native[1][0] == minimum
    assert found[:2] == (position * LENGTH, height)
    coordination = 4.0 * math.pi * RHO * (integral * LENGTH**3)
    tolerance = 1e-12 * 4.0 * math.pi * RHO * LENGTH**3 * size
    assert found[2] == pytest.approx(coordination, rel=1e-12, abs=tolerance, nan_ok=True)


def _shell(r, rng):
    r0, width, height = rng.uniform(2.0, 4.0), rng.uniform(0.08, 0.4), rng.uniform(0.5, 5.0)
    g = 1.0 + height * np.exp(-0.5 * ((r - r0) / width) ** 2)
    g -= 0.4 * height * np.exp(-0.5 * ((r - r0 - 3 * width) / (1.5 * width)) ** 2)
    g += 0.2 * np.exp(-(((r - 2 * r0) / 0.5) ** 2)) * np.sin(3 * r)
    return np.where(r < r0 - 4 * width, 0.0, g), r0


def _curve(kind, bins, seed):
    """A curve of ``bins`` rows over [0, 15) Å of one of the kinds the search meets."""
    rng = np.random.default_rng(seed)
    r = 15.0 * (np.arange(bins) + 0.5) / bins
    if kind == "uneven":
        r = np.unique(rng.uniform(0.0, 15.0, bins))
    g, r0 = _shell(r, rng)
    if kind in ("noisy", "nan", "uneven"):
        g = g + rng.normal(0.0, rng.uniform(0.01, 0.3), r.size)
    if kind == "nan":
        g[rng.integers(0, r.size, r.size // 20)] = np.nan
        r = r.copy()
        r[rng.integers(0, r.size, 3)] = np.inf
    return r, {
        "no peak": np.tanh(r),
        "no minimum": np.where(r < r0, g, g.max() - (r - r0)),
        "negative": g - 1.2,
        "steps": np.round(g * 4.0) / 4.0,
    }.get(kind, g)


@pytest.mark.parametrize("kind", ["smooth", "noisy", "nan", "uneven", "no peak", "no minimum", "negative", "steps"])
@pytest.mark.parametrize("bins", [500, 2000, 20000])
@pytest.mark.parametrize("seed", range(3))
def test_synthetic_curves_give_the_numpy_shell(kind, bins, seed):
    r, g = _curve(kind, bins, seed)
    for scale in (0.2, np.random.default_rng(seed).uniform(0.05, 1.5)):
        _assert_same_shell(r, g, scale)


@functools.cache
def _real_tables():
    return [np.loadtxt(path, comments="#") for path in sorted(glob.glob("/work/shared/data/zorv-runs/*/rdf*.dat"))]


@pytest.mark.parametrize("every", [1, 2, 5])  # the published bins, and coarser ones
@pytest.mark.parametrize("scale", [0.05, 0.2, 0.5, 1.0])
def test_real_tables_give_the_numpy_shell(every, scale):
    if not _real_tables():
        pytest.skip("no real run folders here")
    for table in _real_tables():
        for column in table[::every, 1:].T:
            _assert_same_shell(table[::every, 0], column, scale)


def test_points_that_do_not_determine_the_fit_fall_back_to_numpy():
    # Bins in pairs a few ulps apart: the three radii nearest any point are two, for the peak and the minimum.
    r = np.repeat(0.15 + 0.3 * np.arange(40), 2)
    r[1::2] = np.nextafter(np.nextafter(r[1::2], 20.0), 20.0)
    g, _ = _shell(r, np.random.default_rng(4))
    native = _zorv_analysis.first_shell(r, g, 0.2)
    assert native[0][1] is None and native[1][1] is None
    _assert_same_shell(r, g, 0.2)


@pytest.mark.parametrize("scale", [0.0, -0.2, math.nan, math.inf, 1e-12])
def test_a_scale_that_is_no_length_is_refused(scale):
    r, g = _curve("smooth", 500, 0)
    with pytest.raises(ValueError, match="scale"):
        rdf.first_shell(r, g, RHO, LENGTH, scale)


def test_a_curve_shorter_than_the_kernel_is_smoothed_about_each_point():
    # 3 scales of curve: the numpy search's convolution of a curve shorter than its kernel came back shifted
    # by 11 points, too late for this peak's window to fit, and it found none.
    r = 2.0 + 0.01 * (np.arange(60) + 0.5)
    g = 1.0 + 2.0 * np.exp(-0.5 * ((r - 2.3) / 0.05) ** 2)
    (centre, position, _), _, _ = _zorv_analysis.first_shell(r, g, 0.2)
    assert centre == pytest.approx(2.3, abs=0.006) and position == pytest.approx(2.3, abs=1e-3)


def test_a_curve_within_one_grid_cell_has_no_shell():
    # The numpy search failed on it, with an IndexError.
    assert _zorv_analysis.first_shell(np.array([2.8, 2.801, 2.802]), np.array([1.0, 3.0, 1.0]), 0.2) is None
