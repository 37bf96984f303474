import math

import pytest
import reference_models as ref

import _zorv_pp as z

EXAMPLE = (56.1, 1000.0, 2000.0, 0.5, 0.001, 10.0)
KOH_DENSITY = (56.1056, 657.16, 1923.4, 0.2145, 2e-4, 10.0)


def model_molarities(temperature, molalities, params):
    return z.laliberte_density([temperature] * len(molalities), molalities, *params)[1]


@pytest.mark.parametrize("params", [EXAMPLE, KOH_DENSITY])
@pytest.mark.parametrize("temperature", [278.15, 298.15, 333.0, 363.15])
def test_round_trip_within_tolerance(params, temperature):
    molalities = [1e-6, 0.05, 0.5, 1.0, 2.0, 4.5, 9.0, 14.0]
    back = z.molarity_to_molality(model_molarities(temperature, molalities, params), temperature, *params, 1e-10, 200)
    assert back == pytest.approx(molalities, rel=0, abs=1e-10)


@pytest.mark.parametrize(
    "tolerance, iterations",
    [
        (1e-10, 200),
        (1e-6, 200),
        (0.0, 300),
        (-1.0, 40),
        (1e-10, 0),
        (1e-10, 1),
        (1e-10, 3),
        (0.5, 200),
    ],
)
def test_follows_every_solver_step(tolerance, iterations):
    molarities = [1e-9, 0.3, 0.981, 5.0, 20.0, 35.0, math.nan, -1.0, 0.0]
    for params in (EXAMPLE, KOH_DENSITY):
        got = z.molarity_to_molality(molarities, 300.0, *params, tolerance, iterations)
        expected = [ref.molarity_to_molality(y, 300.0, *params, tolerance, iterations) for y in molarities]
        assert [math.isnan(v) for v in got] == [math.isnan(v) for v in expected]
        assert [v for v in got if not math.isnan(v)] == [v for v in expected if not math.isnan(v)]


def test_no_iterations_returns_the_first_upper_end():
    y = model_molarities(300.0, [1.0], EXAMPLE)
    assert z.molarity_to_molality(y, 300.0, *EXAMPLE, 1e-10, 0) == [2.0]


@pytest.mark.parametrize(
    "molarity, temperature, text",
    [
        ([40.0], 300.0, "4.0000e1 mol/L at temperature = 300.00 K"),
        ([1e-13], 300.0, "1.0000e-13 mol/L at temperature = 300.00 K"),
        # 273.155 is stored just below the half: the exact binary value decides.
        ([0.5, 99.99995, 1e-13], 273.155, "1.0000e2 mol/L at temperature = 273.15 K"),
    ],
)
def test_bracket_failure_names_first_offender(molarity, temperature, text):
    with pytest.raises(ValueError) as caught:
        z.molarity_to_molality(molarity, temperature, *EXAMPLE, 1e-10, 200)
    assert str(caught.value) == "molarity_to_molality: could not bracket root for molarity = " + text


def test_nan_residuals_give_nan_not_a_bracket_end():
    good = model_molarities(300.0, [1.0], EXAMPLE)[0]
    out = z.molarity_to_molality([math.nan, good, math.inf, 1e300], 300.0, *EXAMPLE, 1e-10, 200)
    assert math.isnan(out[0]) and math.isnan(out[2]) and math.isnan(out[3])
    assert out[1] == pytest.approx(1.0, abs=1e-10)
    hot = z.molarity_to_molality([1.0, -2.0], math.nan, *EXAMPLE, 1e-10, 200)
    assert math.isnan(hot[0]) and hot[1] == 0.0


def test_empty_evaluates_nothing_and_arguments_are_required():
    assert z.molarity_to_molality([], math.nan, *([math.nan] * 6), math.nan, 0) == []
    with pytest.raises(TypeError):
        z.molarity_to_molality([1.0], 300.0, *EXAMPLE)
    with pytest.raises((TypeError, ValueError, OverflowError)):
        z.molarity_to_molality([1.0], 300.0, *EXAMPLE, 1e-10, -1)


# Each tolerance is exactly a residual |M(b) - y| (first two) or a bracket
# width |b - a| (last) that the solver reaches on the way: only a stop test
# that is inclusive ends there, so "<" for "<=" returns another root.
STEEP = (56.1, 10.0, 10.0, -0.2, 0.001, 10.0)


@pytest.mark.parametrize(
    "params, molarity, tolerance",
    [
        (EXAMPLE, 20.0, 1.7161886916632554),
        (EXAMPLE, 20.0, 0.0017913737881798397),
        (STEEP, 1.0, 0.45545069974036706),
    ],
)
def test_stops_on_a_tolerance_reached_exactly(params, molarity, tolerance):
    got = z.molarity_to_molality([molarity], 300.0, *params, tolerance, 200)
    assert got == [ref.molarity_to_molality(molarity, 300.0, *params, tolerance, 200)]
