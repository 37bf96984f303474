import itertools
import math
import struct

import pytest
import reference_models as ref

import _zorv_pp as z

EXAMPLE = (56.1, 1000.0, 2000.0, 0.5, 0.001, 10.0)
KOH_DENSITY = (56.1056, 657.16, 1923.4, 0.2145, 2e-4, 10.0)
VISCOSITY_FIT = (56.1056, 9.69, 1.59, 2.51, 0.01, 0.3, 1.2)
TEMPERATURES = [273.15, 285.0, 298.15, 320.5, 353.14999999999998, 353.15, 372.0]
MOLALITIES = [0.0, 1e-9, 0.1, 1.0, 2.75, 7.0, 13.3]
GRID = list(itertools.product(TEMPERATURES, MOLALITIES))


def bits(values):
    return [struct.pack("<d", v) for v in values]


@pytest.mark.parametrize("params", [EXAMPLE, KOH_DENSITY])
def test_density_matches_reference_bit_for_bit(params):
    ts, ms = zip(*GRID)
    densities, molarities = z.laliberte_density(list(ts), list(ms), *params)
    expected = [ref.density(t, m, *params) for t, m in GRID]
    assert bits(densities) == bits([e[0] for e in expected])
    assert bits(molarities) == bits([e[1] for e in expected])


def test_viscosity_matches_reference_bit_for_bit():
    ts, ms = zip(*GRID)
    result = z.laliberte_viscosity(list(ts), list(ms), *VISCOSITY_FIT)
    assert bits(result) == bits([ref.viscosity(t, m, *VISCOSITY_FIT) for t, m in GRID])


@pytest.mark.parametrize("params", [EXAMPLE, KOH_DENSITY])
def test_koh_conductivity_matches_reference_bit_for_bit(params):
    ts, ms = zip(*GRID)
    result = z.koh_gilliam_eval(list(ts), list(ms), *params)
    assert bits(result) == bits([ref.koh_conductivity(t, m, *params) for t, m in GRID])


def test_examples_to_three_digits():
    (rho,), (molarity,) = z.laliberte_density([300.0], [1.0], *EXAMPLE)
    assert (f"{rho:.2e}", f"{molarity:.3g}") == ("1.04e+03", "0.981")
    (eta,) = z.laliberte_viscosity([300.0], [1.0], 56.1, 10, 1, 0.5, 0.01, 1, 1)
    assert f"{eta:.2e}" == "8.97e-04"
    sigma = z.koh_gilliam_eval([300.0, math.nextafter(353.15, 0), 353.15], [1.0] * 3, *EXAMPLE)
    assert [f"{s:.3g}" for s in sigma] == ["21.7", "37.4", "43.5"]


@pytest.mark.parametrize(
    "function, params",
    [
        (z.laliberte_density, EXAMPLE),
        (z.laliberte_viscosity, VISCOSITY_FIT),
        (z.koh_gilliam_eval, EXAMPLE),
    ],
)
def test_paired_lengths(function, params):
    with pytest.raises(ValueError, match="^temperature and molality must have the same length$"):
        function([300.0, 310.0, 320.0], [1.0, 2.0], *params)
    with pytest.raises(ValueError, match="^temperature and molality must have the same length$"):
        function([], [1.0], *params)
    # The length check waits for every argument to convert.
    with pytest.raises(TypeError):
        function([300.0], [], *params[:-1], "x")
    assert function([], [], *params) in ([], ([], []))


def test_nan_stays_at_its_own_index():
    densities, molarities = z.laliberte_density([300.0, math.nan, 300.0], [1.0, 1.0, 1.0], *EXAMPLE)
    assert math.isnan(densities[1]) and math.isnan(molarities[1])
    assert densities[0] == densities[2] and molarities[0] == molarities[2]
    sigma = z.koh_gilliam_eval([math.nan, 300.0], [1.0, math.nan], *EXAMPLE)
    assert all(math.isnan(s) for s in sigma)
