"""The running slope: the GLS line of every start, the same line the fit gives from that start."""

import math

import numpy as np
import pytest

from zorv_pp.msdfit import fit_msd
from zorv_pp.msdfit.running import running_slope
from zorv_pp.run.sampling import Sampling

SAMPLING = Sampling(0.01, 10, 100.0)


def grid(sampling, blocks):
    lags = [k * sampling.nbe**b for b in range(blocks) for k in range(1, sampling.nbe + 1)]
    return np.array([sampling.interval * n for n in lags if sampling.interval * n <= sampling.run_length * (1 + 1e-12)])


TIME = grid(SAMPLING, 4)


@pytest.mark.parametrize("scale, walkers", [(None, 3.0), (2.5, 1.0), (0.4, 12.0)])
def test_every_start_is_the_fit_from_that_start(scale, walkers):
    rng = np.random.default_rng(7)
    msd = 2.0 * (TIME - 0.3 * (1.0 - np.exp(-TIME / 0.3))) * (1.0 + 0.01 * rng.normal(size=len(TIME)))
    starts, slopes, errors = running_slope(TIME, msd, SAMPLING, walkers, scale)
    assert np.all(np.diff(starts) >= 0)  # a block boundary's lag appears in both blocks
    for index in range(0, len(starts) - 8, 3):
        if index and starts[index] == starts[index - 1]:
            continue  # the fit from a time starts at its first row
        fitted = fit_msd(TIME, msd, SAMPLING, walkers, scale=scale, start_at=float(starts[index]))
        # Without a scale the fit sizes its error by its own slope squared, as the running slope does per start.
        assert fitted.slope_se == pytest.approx(errors[index], rel=1e-9)
        assert fitted.slope == pytest.approx(slopes[index], rel=1e-9)
        assert fitted.t_fit[0] == starts[index]


def test_a_straight_line_has_one_slope_from_every_start_and_errors_grow_with_the_start():
    starts, slopes, errors = running_slope(TIME, 3.0 * TIME + 0.1, SAMPLING, 1.0)
    assert np.allclose(slopes[:-1], 3.0, rtol=1e-7)
    assert math.isnan(slopes[-1]) and math.isnan(errors[-1])
    assert errors[-2] > errors[len(errors) // 2] > errors[0] > 0.0


@pytest.mark.parametrize(
    "values, count",
    [
        (np.where(np.arange(len(TIME)) == 5, np.nan, TIME), len(TIME) - 1),  # a NaN row is left out
        (np.full(len(TIME), np.nan), 0),
    ],
)
def test_rows_without_a_value_are_no_start(values, count):
    starts, slopes, errors = running_slope(TIME, values, SAMPLING, 1.0)
    assert len(starts) == len(slopes) == len(errors) == count


@pytest.mark.parametrize("walkers", [0.0, -1.0, math.nan])
def test_walkers_must_be_positive(walkers):
    with pytest.raises(ValueError, match="walkers"):
        running_slope(TIME, TIME, SAMPLING, walkers)
