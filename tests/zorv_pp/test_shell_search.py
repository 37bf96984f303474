"""The shell fit's polynomial steps give what numpy.polynomial gives, to rounding: natively, and in the
fallback for points that do not determine the polynomial."""

import numpy as np
import pytest
from numpy.polynomial import Polynomial
from numpy.polynomial.polynomial import polyfit

import _zorv_analysis
from zorv_pp.analysis import rdf
from zorv_pp.analysis.shell_polynomial import derivative, horner, least_squares_polynomial, polynomial_roots


def _points(kind, n, rng):
    x = np.sort(rng.uniform(-0.1, 0.1, n))
    y = {
        "peak": 3.0 - 40.0 * x**2 + 0.05 * rng.normal(size=n),
        "skewed": 2.0 - 30.0 * x**2 + 200.0 * x**3 + 0.02 * rng.normal(size=n),
        "flat": np.full(n, 1.5),
        "line": 1.0 + 2.0 * x,
        "noise": rng.normal(size=n),
    }[kind]
    return x, y


@pytest.mark.parametrize("kind", ["peak", "skewed", "flat", "line", "noise"])
@pytest.mark.parametrize("n, degree", [(3, 2), (6, 2), (7, 4), (21, 4), (200, 4)])
def test_polynomial_steps_match_numpy_polynomial(kind, n, degree):
    rng = np.random.default_rng(n * 10 + degree)
    x, y = _points(kind, n, rng)
    # The same steps as numpy.polynomial: equal to rounding (numpy's own least squares differs in its last
    # bits from one numpy release to the next).
    reference = Polynomial(polyfit(x, y, degree))
    coef = least_squares_polynomial(x, y, degree)
    size = np.abs(reference.coef).max() or 1.0
    np.testing.assert_allclose(coef, reference.coef, rtol=1e-9, atol=1e-12 * size)
    slope, bend = derivative(coef), derivative(derivative(coef))
    np.testing.assert_allclose(slope, reference.deriv().coef, rtol=1e-9, atol=1e-11 * size)
    np.testing.assert_allclose(bend, reference.deriv(2).coef, rtol=1e-9, atol=1e-10 * size)
    roots, expected = polynomial_roots(slope), reference.deriv().roots()
    assert len(roots) == len(expected)
    np.testing.assert_allclose(
        np.sort_complex(np.asarray(roots, dtype=complex)),
        np.sort_complex(np.asarray(expected, dtype=complex)),
        rtol=1e-6,
        atol=1e-9,
    )
    for at in (0.0, -0.03, 0.07):
        assert horner(coef, at) == pytest.approx(float(reference(at)), rel=1e-9, abs=1e-12 * size)


@pytest.mark.parametrize(
    "coef, expected",
    [
        ([1.0, 2.0, 0.0, 0.0], [-0.5]),  # trailing zeros lower the degree
        ([0.0, 0.0], []),  # the zero polynomial has no root to report
        ([3.0], []),
        ([-4.0, 0.0, 1.0], [-2.0, 2.0]),
    ],
)
def test_roots_of_degenerate_polynomials(coef, expected):
    assert np.real(polynomial_roots(np.array(coef))).tolist() == pytest.approx(expected)


def _numpy_vertex(x, y, degree, sign, half):
    """The vertex as numpy.polynomial objects give it: (found, offset, value)."""
    fit = Polynomial(polyfit(x, y, degree))
    slope, bend = fit.deriv(), fit.deriv(2)
    found = [
        z.real
        for z in slope.roots()
        if abs(z.imag) <= 1e-9 * half and x.min() <= z.real <= x.max() and sign * bend(z.real) < 0.0
    ]
    offset = min(found, key=abs) if found else 0.0
    return bool(found), offset, float(fit(offset))


@pytest.mark.parametrize("kind", ["peak", "skewed", "line", "noise"])
@pytest.mark.parametrize("n, degree", [(3, 2), (6, 2), (7, 4), (21, 4), (200, 4)])
@pytest.mark.parametrize("sign", [1.0, -1.0])
def test_native_vertex_is_the_numpy_polynomials(kind, n, degree, sign):
    rng = np.random.default_rng(n + degree)
    x, y = _points(kind, n, rng)
    native = _zorv_analysis.shell_vertex(x, y, degree, sign)
    found, offset, value = _numpy_vertex(x, y, degree, sign, 0.1)
    assert native[0] == found
    assert native[1] == pytest.approx(offset, abs=1e-12)
    assert native[2] == pytest.approx(value, rel=1e-10, abs=1e-12)


@pytest.mark.parametrize("x", [[0.5] * 6, [0.1, 0.2]])
def test_points_that_do_not_determine_the_polynomial_are_refused(x):
    assert _zorv_analysis.shell_vertex(np.array(x), np.arange(len(x), dtype=float), 2, 1.0) is None


@pytest.mark.parametrize("sign", [1.0, -1.0])
@pytest.mark.parametrize("points", [101, 5])  # a quartic through the points within half, a parabola through three
def test_the_fallback_fit_is_numpys(sign, points):
    r = np.linspace(0.2, 0.4, points)
    g = 2.0 - sign * 300.0 * (r - 0.31) ** 2 + 0.002 * np.random.default_rng(3).normal(size=r.size)
    near = np.abs(r - 0.3) <= 0.02
    if near.sum() < 3:
        near = np.isin(np.arange(r.size), np.argsort(np.abs(r - 0.3), kind="stable")[:3])
    found, offset, value = _numpy_vertex(r[near] - 0.3, g[near], 4 if near.sum() >= 7 else 2, sign, 0.02)
    vertex = rdf._minimum_norm_vertex(r, g, 0.3, 0.02, sign)
    assert found and vertex == pytest.approx((0.3 + offset, value), rel=1e-12)
