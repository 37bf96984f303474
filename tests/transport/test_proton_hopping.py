import math

import pytest

import _zorv_pp as z

ARGS = (60.0, 40.0, 300.0, 3e-9, 100.0, 2.5e-10)


def reference_tau(es, md, t, length, n, delta):
    e2 = 1.602176634e-19 * 1.602176634e-19
    k6 = 6.0 * 1.380649e-23
    return ((e2 * (delta * delta)) * n) / ((((length * length) * length) * (k6 * t)) * (es - md))


def test_tau_known_value_and_grouping():
    tau = z.tau_calculator(*ARGS)
    assert f"{tau:.2e}" == "1.20e-11"
    assert tau == reference_tau(*ARGS)
    assert z.tau_calculator(40.0, 60.0, *ARGS[2:]) == -tau


@pytest.mark.parametrize(
    "args, expected",
    [
        ((60.0, 60.0, 300.0, 3e-9, 100.0, 2.5e-10), math.inf),
        ((60.0, 60.0, 300.0, 3e-9, 0.0, 2.5e-10), math.nan),
        ((60.0, 40.0, math.nan, 3e-9, 100.0, 2.5e-10), math.nan),
    ],
)
def test_tau_degenerate_inputs_follow_ieee(args, expected):
    result = z.tau_calculator(*args)
    assert result == expected or (math.isnan(expected) and math.isnan(result))


def test_tau_particle_count_int_or_float():
    assert z.tau_calculator(60.0, 40.0, 300.0, 3e-9, 100, 2.5e-10) == z.tau_calculator(*ARGS)


def test_diffusion_adjustment():
    assert f"{z.diffusion_adjustment(1e-12, 2.5e-10):.2e}" == "1.04e-08"
    assert z.diffusion_adjustment(1e-12, 2.5e-10) == (2.5e-10 * 2.5e-10) / (1e-12 * 6.0)
    assert z.diffusion_adjustment(0.0, 2.5e-10) == math.inf
    assert math.isnan(z.diffusion_adjustment(0.0, 0.0))
