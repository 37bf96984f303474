import math

import pytest

import _zorv_pp as z

NAN, INF = math.nan, math.inf


@pytest.mark.parametrize(
    "values, mean, std, count",
    [
        ([1.0, 2.0, NAN, 3.0, INF], 2.0, math.sqrt(2.0 / 3.0), 3),
        ([0.1, 0.2, 0.3], math.nextafter(0.2, 1.0), None, 3),
        ([5.0], 5.0, 0.0, 1),
        ((5, 7), 6.0, 1.0, 2),
    ],
)
def test_repacking_results(values, mean, std, count):
    m, s, n = z.repacking_results(values)
    assert m == mean and type(n) is int and n == count
    if std is not None:
        assert s == std
    else:
        assert s == pytest.approx(0.0816, abs=1e-4)


@pytest.mark.parametrize("values", [[], [NAN, -INF]])
def test_repacking_results_nothing_finite(values):
    m, s, n = z.repacking_results(values)
    assert math.isnan(m) and math.isnan(s) and n == 0


PEAKS = [0.0, 1.0, 3.0, 1.0, 0.0, 2.0, 5.0, 2.0, 0.0]


@pytest.mark.parametrize(
    "data, start, neighbors, expected",
    [
        (PEAKS, 0, 1, 2),
        (PEAKS, 2, 1, 6),
        ([0.0, 1.0, 3.0, 3.0, 1.0, 0.0], 0, 1, 1),
        ([0.0, 1.0, 0.0], 0, 2, 2),
        ([0.0, 1.0, 0.0], 50, 0, 50),
        (PEAKS, 0, 2**63, 2**63),
        (PEAKS, 2**64 - 1, 1, 2**64 - 1),
    ],
)
def test_local_maximum_finder(data, start, neighbors, expected):
    result = z.local_maximum_finder(data, start, neighbors)
    assert type(result) is int and result == expected


def test_local_maximum_finder_refuses_negative_counts():
    with pytest.raises(OverflowError):
        z.local_maximum_finder(PEAKS, -1, 1)
    assert z.local_maximum_finder(data=PEAKS, neighbor_count=1, search_start=2) == 6
