import math

import pytest
import reference_models as ref

import _zorv_pp as z

TWO_SEGMENTS = ([0.0, 1.0, 2.0], [100.0] + [0.0] * 9 + [50.0] + [0.0] * 9)


def test_constant_segments():
    assert z.dewane_eval([0.5, 1.0, 1.5], *TWO_SEGMENTS) == [5.0, 10.0, 7.5]


@pytest.mark.parametrize(
    "coeffs, terms",
    [
        ([1.0] * 10, [1, -10, 200, 100, 1e3, 1e4, 1e5, 1e6, 1e8, 1e10]),
        (list(range(1, 11)), [1, -20, 600, 400, 5e3, 6e4, 7e5, 8e6, 9e8, 1e11]),
    ],
)
def test_each_term_at_one_hundred(coeffs, terms):
    assert z.dewane_eval([100.0], [0.0, 200.0], [float(c) for c in coeffs]) == [10.0 * math.fsum(terms)]


def test_matches_reference_bit_for_bit():
    coeffs = [
        97.3,
        41.2,
        -3.3,
        2.1,
        -0.9,
        0.35,
        -0.04,
        0.002,
        -1e-4,
        3e-6,
        80.1,
        30.0,
        1.5,
        -2.0,
        0.8,
        -0.1,
        0.01,
        -5e-4,
        2e-5,
        -4e-7,
    ]
    molarities = [1e-6, 0.01, 0.37, 1.0, 2.5, 3.0, 7.9, 12.0]
    got = z.dewane_eval(molarities, [0.0, 3.0, 12.0], coeffs)
    expected = [ref.dewane(c, coeffs[:10] if c <= 3.0 else coeffs[10:]) for c in molarities]
    assert got == expected


@pytest.mark.parametrize(
    "molarity, numbers",
    [
        ([0.0], ("0.0000e0", "0.0000e0", "2.0000e0")),
        ([2.5], ("2.5000e0", "0.0000e0", "2.0000e0")),
        ([0.5, 3.0, 9.0], ("3.0000e0", "0.0000e0", "2.0000e0")),
        ([math.nan], ("NaN", "0.0000e0", "2.0000e0")),
        ([-0.0], ("-0.0000e0", "0.0000e0", "2.0000e0")),
        ([math.inf], ("inf", "0.0000e0", "2.0000e0")),
    ],
)
def test_out_of_bounds_message(molarity, numbers):
    with pytest.raises(ValueError) as caught:
        z.dewane_eval(molarity, *TWO_SEGMENTS)
    assert str(caught.value) == "molarity {} mol/L is outside Dewane bounds [{}, {}]".format(*numbers)


def test_shape_checks_come_first():
    with pytest.raises(ValueError, match=r"^limits must have at least 2 values \(defining at least 1 segment\)$"):
        z.dewane_eval([math.nan], [1.0], [])
    with pytest.raises(ValueError) as caught:
        z.dewane_eval([], [0.0, 1.0, 2.0], [0.0] * 19)
    assert str(caught.value) == "coeffs must have exactly 20 values (2 segments \u00d7 10 coefficients)"
    assert z.dewane_eval([], *TWO_SEGMENTS) == []
