"""The GLS fits' native linear algebra: the order-n covariance against its numpy closed form, the reversed
Cholesky factor and forward substitution against numpy, and a large table in linear memory."""

import math
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from covariance_reference import covariance_of_rows as numpy_covariance

from zorv_pp.msdfit import fit_msd
from zorv_pp.msdfit.covariance import FIT_ROWS, HEAD_ROWS, covariance_of_rows, rows_and_covariance
from zorv_pp.msdfit.gls import suffix_fits, whitening
from zorv_pp.run.grid import grid_rows, log_spread, rows_of
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern.table import ordern_grid
from zorv_pp.synthetic.ordern.walkers import expected_msd


def grid(sampling, blocks):
    lags = [
        e * sampling.nbe**b for b in range(blocks) for e in range(1, sampling.nbe + 1) if sampling.origins(b, e) >= 1
    ]
    return np.array(lags, dtype=float) * sampling.interval


@pytest.mark.parametrize(
    "sampling, blocks",
    [
        (Sampling(1.0, 5, 500.0), 4),
        (Sampling(0.5, 10, 2e4), 4),
        (Sampling(2.0, 3, 50.0), 6),  # blocks whose last rows average a single origin
        (Sampling(1.0, 20, 1e5), 3),
    ],
)
def test_native_covariance_is_the_closed_form(sampling, blocks):
    rows = rows_of(grid(sampling, blocks), sampling)
    native = covariance_of_rows(rows, sampling)
    assert native.shape == (rows.keep.sum(),) * 2 and not native.flags.writeable
    np.testing.assert_allclose(native, numpy_covariance(rows, sampling), rtol=1e-12, atol=0.0)
    assert np.array_equal(native, native.T)


def test_whitening_factors_the_reversed_covariance_and_fits_every_suffix():
    sampling = Sampling(1.0, 6, 3000.0)
    time = grid(sampling, 4)
    rows, cov = rows_and_covariance(time, sampling)
    t = time[rows.keep]
    white = whitening(t, cov)
    rev = cov[::-1, ::-1]
    scale = np.sqrt(np.diag(rev))
    np.testing.assert_allclose(
        white.factor @ white.factor.T, rev + 1e-12 * np.diag(scale**2), rtol=1e-9, atol=1e-12 * rev.max()
    )
    assert np.all(np.triu(white.factor, 1) == 0.0)
    y = t * (1.0 + 0.01 * np.random.default_rng(2).normal(size=t.size))
    fits = suffix_fits(white, y)
    for s in (0, t.size // 2, t.size - 3):  # plain GLS on each suffix
        c = cov[s:, s:]
        x = np.column_stack([np.ones(t.size - s), t[s:]])
        w = np.linalg.solve(c, x)
        coef = np.linalg.solve(x.T @ w, w.T @ y[s:])
        np.testing.assert_allclose(fits.coef[s], coef, rtol=1e-7)
    assert np.isnan(fits.coef[-1]).all()


@pytest.mark.parametrize("shape", ["rising", "falling", "flat"])
def test_every_column_of_a_table_gets_the_suffix_covariance_of_plain_gls(shape):
    sampling = Sampling(1.0, 5, 800.0)
    rows, cov = rows_and_covariance(grid(sampling, 3), sampling)
    t = grid(sampling, 3)[rows.keep]
    white = whitening(t, cov)
    y = {"rising": 2.0 * t, "falling": 50.0 - t, "flat": np.ones_like(t)}[shape]
    fits = suffix_fits(white, y + 0.01 * np.random.default_rng(5).normal(size=t.size))
    assert not fits.cov.flags.writeable
    for s in (0, t.size // 3, t.size - 2):
        x = np.column_stack([np.ones(t.size - s), t[s:]])
        np.testing.assert_allclose(fits.cov[s], np.linalg.inv(x.T @ np.linalg.solve(cov[s:, s:], x)), rtol=1e-7)


@pytest.mark.parametrize(
    "sampling, time, fits",
    [
        (Sampling(1.0, 5, 500.0), grid(Sampling(1.0, 5, 500.0), 3), True),
        (Sampling(1.0, 5, 500.0), grid(Sampling(1.0, 4, 500.0), 3), False),  # another nbe's grid
        (Sampling(1.0, 5, 20.0), grid(Sampling(1.0, 5, 500.0), 3), False),  # a run too short for the table
    ],
)
def test_cached_rows_check_the_grid_as_often_as_they_are_asked(sampling, time, fits):
    for _ in range(2):
        if fits:
            rows = grid_rows(time, sampling)
            expected = rows_of(time, sampling)
            assert all(np.array_equal(getattr(rows, f), getattr(expected, f)) for f in vars(rows))
        else:
            with pytest.raises(ValueError):
                grid_rows(time, sampling)


def test_a_covariance_that_is_not_positive_definite_is_refused():
    with pytest.raises(np.linalg.LinAlgError, match="not positive definite"):
        whitening(np.array([1.0, 2.0]), np.array([[1.0, 2.0], [2.0, 1.0]]))


LONG = Sampling(1.0, 10000, 1e8, 2)  # 20,000 rows


def test_a_long_table_keeps_its_first_rows_its_last_and_a_log_uniform_spread():
    rows = rows_of(ordern_grid(LONG).time, LONG)
    time = ordern_grid(LONG).time
    spread = log_spread(rows, time, FIT_ROWS, HEAD_ROWS)
    chosen, kept = np.flatnonzero(spread.keep), np.flatnonzero(rows.keep)
    assert len(kept) == 20000 and len(chosen) <= FIT_ROWS and not (spread.keep & ~rows.keep).any()
    assert chosen[:HEAD_ROWS].tolist() == kept[:HEAD_ROWS].tolist() and chosen[-1] == kept[-1]
    # Log-uniform: every row lies within twice the even share of the span (in log time) after a chosen one.
    before = chosen[np.searchsorted(chosen, kept, "right") - 1]
    assert np.log(time[kept] / time[before]).max() <= 2.0 * np.log(time[-1] / time[0]) / FIT_ROWS
    assert log_spread(rows, time, 20000, HEAD_ROWS) is rows


def test_a_20000_row_table_is_fitted_to_its_slope():
    time = ordern_grid(LONG).time
    found = fit_msd(time, expected_msd(time, 2.5, 30.0), LONG, 300.0)
    assert found.rows <= FIT_ROWS and abs(found.slope - 2.5) <= 1e-3 * 2.5 and found.slope_se > 0


@pytest.mark.slow
def test_a_2500_row_table_is_fitted_in_linear_memory():
    """Peak resident memory of a fresh interpreter fitting one 2,500-row table (nbe 500)."""
    script = textwrap.dedent("""
        import resource, sys
        import numpy as np
        from zorv_pp.msdfit import fit_msd
        from zorv_pp.run.sampling import Sampling
        s = Sampling(1.0, 500, 4.0 * 500**5)
        t = np.array([e * 500**b for b in range(5) for e in range(1, 501)], dtype=float)
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        fit = fit_msd(t, t * (1.0 + 1e-3 * np.sin(t)), s, 3.0)
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        print(t.size, fit.slope, (after - before) / 1024.0)
    """)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    rows, slope, grown_mb = subprocess.run(
        [sys.executable, "-c", script], env=env, check=True, capture_output=True, text=True
    ).stdout.split()
    assert int(rows) == 2500 and math.isclose(float(slope), 1.0, rel_tol=1e-2)
    # A few matrices of the fitted rows at most: the cached covariance, a fit's copy of it and the factor.
    assert float(grown_mb) < 200.0


def walked(time, sampling):
    from zorv_pp.run.grid import _rows_walked, lag_counts

    return _rows_walked(lag_counts(time, sampling.interval), time, sampling)


def outcome(call):
    try:
        rows = call()
    except ValueError as error:
        return str(error)
    return [a.tolist() for a in (rows.block, rows.element, rows.origins, rows.keep)]


@pytest.mark.parametrize(
    "sampling, time",
    [
        (Sampling(1.0, 5, 500.0), None),
        (Sampling(2.0, 3, 54.0), None),  # the last rows average single origins: repeated copies dropped
        (Sampling(1.0, 10, 1e4), None),
        (Sampling(1.0, 4, 64.0), [0.0, 1.0, 2.0, 3.0, 4.0, 4.0, 8.0, 12.0, 16.0, 16.0, 32.0, 48.0, 64.0]),
        (Sampling(1.0, 4, 64.0), [1.0, 2.0, 4.0, 8.0, 16.0]),  # boundary lags written once
        (Sampling(1.0, 4, 64.0), [1.0, 2.0, 6.0]),  # off the grid
        (Sampling(1.0, 4, 10.0), [1.0, 2.0, 4.0, 4.0, 8.0, 12.0]),  # past the run
        (Sampling(1.0, 4, 64.0), [-1.0, 1.0, 2.0, 3.0, 4.0]),
        (Sampling(1.0, 2, 8.0), [1.0, 2.0, 2.0, 4.0, 4.0, 4.0, 8.0]),  # a triple repeat: walked
        (Sampling(1.0, 3, 10.0), []),
    ],
)
def test_rows_at_once_are_the_rows_walked_one_by_one(sampling, time):
    t = grid(sampling, 6) if time is None else np.array(time, dtype=float)
    assert outcome(lambda: rows_of(t, sampling)) == outcome(lambda: walked(t, sampling))


def brute_force_covariance(rows, sampling):
    """2 / (M_a M_b) Σ_i Σ_j overlap², every pair of origin intervals counted one by one."""
    idx = np.flatnonzero(rows.keep)
    spans = []
    for i in idx:
        stride = sampling.nbe ** int(rows.block[i])
        spans.append([(o * stride, (o + int(rows.element[i])) * stride) for o in range(int(rows.origins[i]))])
    cov = np.zeros((len(idx), len(idx)))
    for a, first in enumerate(spans):
        for b, second in enumerate(spans):
            total = sum(max(0, min(e1, e2) - max(s1, s2)) ** 2 for s1, e1 in first for s2, e2 in second)
            cov[a, b] = 2.0 * total * sampling.interval**2 / (len(first) * len(second))
    return cov


@pytest.mark.parametrize("sampling, blocks", [(Sampling(1.0, 3, 30.0), 3), (Sampling(0.5, 4, 40.0), 3)])
def test_native_covariance_counts_every_overlap(sampling, blocks):
    rows = rows_of(grid(sampling, blocks), sampling)
    np.testing.assert_allclose(covariance_of_rows(rows, sampling), brute_force_covariance(rows, sampling), rtol=1e-12)


@pytest.mark.parametrize(
    "sampling",
    [
        Sampling(1.0, 10, 1e4),
        Sampling(0.5, 7, 123.0),
        Sampling(1.0, 3, 2.0, blocks=2),
        Sampling(0.001, 10, 1000.0),
        Sampling(2.0, 5, 1.0),
        Sampling(1.0, 4, 1e6, blocks=3),
    ],
)
def test_expected_rows_counts_every_lag_with_an_origin(sampling):
    from zorv_pp.run.tables import expected_rows

    counted, block = 0, 0
    while sampling.blocks is None or block < sampling.blocks:
        written = sum(1 for e in range(1, sampling.nbe + 1) if sampling.origins(block, e) >= 1)
        if written == 0:
            break
        counted, block = counted + written, block + 1
    assert expected_rows(sampling) == counted
