"""State estimates: intervals from run errors or replica scatter, the Birge flag, shared errors, quantiles."""

import math
import random

import numpy as np
import pytest

from zorv_pp.analysis.estimate import Estimate
from zorv_pp.msdfit import fit_msd
from zorv_pp.msdfit.quantiles import student_t_quantile
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern.table import simulate_table


@pytest.mark.parametrize(
    "p, dof, expected",
    [
        (0.975, 1, 12.706204736),
        (0.975, 2, 4.302652730),
        (0.975, 4, 2.776445105),
        (0.975, 9, 2.262157163),
        (0.995, 4, 4.604094871),
        (0.995, 30, 2.749995654),
    ],
)
def test_student_t_quantiles(p, dof, expected):
    assert student_t_quantile(p, dof) == pytest.approx(expected, abs=1e-8)


@pytest.mark.parametrize(
    "estimate, text",
    [
        (
            Estimate(2.8801e-9, 0.0, 1.825e-11, 3, "m^2/s", ci95=(2.845e-9, 2.916e-9), flags=("not_converged",)),
            "(2.880 ± 0.018) × 10⁻⁹ m²/s (± standard error; 95 % interval 2.845 to 2.916; n = 3) [not_converged]",
        ),
        (
            Estimate(0.001103, 0.0, 1.164e-05, 3, "Pa s", ci95=(0.001081, 0.001126)),
            "1.103 ± 0.012 mPa·s (± standard error; 95 % interval 1.081 to 1.126; n = 3)",
        ),
        (
            Estimate(0.8116, 0.0, 0.02436, 3, "1", ci95=(0.7639, 0.8594)),
            "0.812 ± 0.024 (± standard error; 95 % interval 0.764 to 0.859; n = 3)",
        ),
        (Estimate(875.156, math.nan, math.nan, 1, "kg/m^3"), "875.2 kg/m³ (no error, n = 1)"),
    ],
)
def test_an_estimate_reads_as_the_report_rounds_it(estimate, text):
    assert str(estimate) == text


def test_runs_without_errors_fall_back_to_the_replica_t_interval():
    estimate = Estimate.from_runs([1.0, 2.0, 3.0], [math.nan] * 3, "m")
    assert estimate.mean == 2.0 and estimate.sem == pytest.approx(math.sqrt(1 / 3))
    half = 4.302652730 * math.sqrt(1 / 3)
    assert estimate.ci95 == pytest.approx((2.0 - half, 2.0 + half))


def test_state_intervals_cover_and_flag_disagreement():
    rng = random.Random(7)
    hits = flagged = 0
    for _ in range(2000):
        sems = [rng.uniform(0.5, 2.0) for _ in range(5)]
        estimate = Estimate.from_runs([rng.gauss(10.0, s) for s in sems], sems, "m")
        hits += estimate.ci95[0] <= 10.0 <= estimate.ci95[1]
        flagged += "replicas_disagree" in estimate.flags
    assert 0.94 <= hits / 2000 <= 0.99
    assert flagged / 2000 < 0.03
    wild = Estimate.from_runs([1.0, 9.0, 1.2, 8.5], [0.1] * 4, "m")
    assert "replicas_disagree" in wild.flags and wild.sem > 1.0


def test_a_shared_error_widens_in_quadrature():
    estimate = Estimate.from_runs([4.0], [3.0], "m").widened(4.0)
    assert estimate.sem == pytest.approx(5.0)
    assert estimate.ci95[1] - estimate.mean == pytest.approx(1.959963985 * 5.0)


def test_few_walker_replicas_combined_at_a_common_noise_scale_are_unbiased():
    # One walker's error grows with its own slope: weighted by their own errors the low runs weigh most.
    sampling = Sampling(1.0, 10, 400.0)
    rng = np.random.default_rng(5)
    own, common = [], []
    for _ in range(300):
        fits = []
        for _ in range(10):
            time, msd, answer = simulate_table(sampling, 1, 1.0, 1e-3, rng)
            fits.append(fit_msd(time, msd, sampling, 1, start_at=float(time[0])))
        values, sems = [f.slope / answer for f in fits], [f.slope_se / answer for f in fits]
        own.append(Estimate.from_runs(values, sems, "1").mean - 1.0)
        common.append(Estimate.from_runs(values, sems, "1", noise=[abs(v) for v in values]).mean - 1.0)
    error = float(np.std(common, ddof=1)) / math.sqrt(len(common))
    assert abs(float(np.mean(common))) < 3.0 * error
    assert float(np.mean(own)) < -3.0 * error
