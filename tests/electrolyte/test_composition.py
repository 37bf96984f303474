import math

import pytest
import reference_models as ref

import _zorv_pp as z

INTO = [z.mass_fraction_to_molality, z.mole_fraction_to_molality]
OUT_OF = [z.molality_to_mass_fraction, z.molality_to_mole_fraction]
VALUES = [0.0, 1e-8, 0.05, 0.1, 0.3333, 0.5, 0.9, 1.5, -0.2, 7.0, 55.5]


def test_examples_to_three_digits():
    assert f"{z.mass_fraction_to_molality([0.1], 56.1)[0]:.3g}" == "1.98"
    assert f"{z.molality_to_mass_fraction([1.0], 56.1)[0]:.3g}" == "0.0531"
    assert f"{z.molality_to_mole_fraction([1.0], 18.0)[0]:.3g}" == "0.0177"
    assert f"{z.mole_fraction_to_molality([0.5], 18.0)[0]:.3g}" == "55.6"


@pytest.mark.parametrize("mw", [56.1, 18.015, 74.55])
def test_match_reference_bit_for_bit(mw):
    for function in INTO:
        assert function(VALUES[:8], mw) == [ref.into_molality(x, mw) for x in VALUES[:8]]
    for function in OUT_OF:
        assert function(VALUES[1:], mw) == [ref.out_of_molality(x, mw) for x in VALUES[1:]]


@pytest.mark.parametrize("function", INTO)
def test_into_molality_edges(function):
    assert function([1.0, 0.0], 56.1) == [math.inf, 0.0]
    assert function([1.0], -56.1) == [-math.inf]
    result = function([0.5, 0.0, math.nan], 0.0)
    assert result[0] == math.inf and math.isnan(result[1]) and math.isnan(result[2])
    assert function([], 56.1) == []


@pytest.mark.parametrize("function", OUT_OF)
def test_out_of_molality_edges(function):
    assert function([0.0, -5.0, -10.0, -20.0], 100.0) == [0.0, -1.0, math.inf, 2.0]
    assert function([3.0], 0.0) == [0.0]
    assert math.isnan(function([math.nan], 18.0)[0])
    assert function([], 18.0) == []


def test_conversion_differs_from_the_models_mass_fraction():
    # The model's (m*mw)/(m*mw+1000) would give the other neighbour here.
    assert z.molality_to_mass_fraction([1.0], 56.1)[0] != ref.mass_fraction(1.0, 56.1)
