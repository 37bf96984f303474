"""Numbers rounded to their error: two significant digits of the error, trailing zeros kept."""

import csv
import math

import pytest

from zorv_pp.output.results import csv_text
from zorv_pp.rounding import with_error

NAN = math.nan


@pytest.mark.parametrize(
    "value, error, low, high, expected",
    [
        (2.8671, 0.01683, 2.834, 2.9, ("2.867", "0.017", "2.834 to 2.900")),  # the trailing zero stays
        (2.834, 0.0996, 2.63, 3.03, ("2.83", "0.10", "2.63 to 3.03")),  # an error rounding up to the next decade
        (12345.6, 170.0, 12010.0, 12690.0, ("12350", "170", "12010 to 12690")),
        (3.0, 0.3, 2.4, 3.6, ("3.00", "0.30", "2.40 to 3.60")),
        (-473.0, 23.0, -517.4, -428.2, ("-473", "23", "-517 to -428")),
        (0.5, NAN, NAN, NAN, ("0.5", "–", "–")),  # no error: four significant digits, no interval
        (3.67571175805501, 3.1e-16, 3.675711758055009, 3.675711758055011, ("3.676", "0", "3.676 to 3.676")),  # noise
        (1.23456e-3, NAN, NAN, NAN, ("0.001235", "–", "–")),
    ],
)
def test_fixed_notation(value, error, low, high, expected):
    assert with_error(value, error, low, high) == expected


@pytest.mark.parametrize(
    "value, error, low, high, expected",
    [
        (2.2e-9, 1.7e-11, 2.166e-9, 2.234e-9, ("2.200e-09", "1.7e-11", "2.166e-09 to 2.234e-09")),
        (9.6158e-10, 1.4e-10, 7.0e-10, 1.2345e-9, ("9.6e-10", "1.4e-10", "7.0e-10 to 1.23e-09")),
        (0.9996, 0.01, 0.98, 1.02, ("1.000e+00", "1.0e-02", "9.80e-01 to 1.020e+00")),  # rounding crosses a decade
        (875.1556, NAN, NAN, NAN, ("8.752e+02", "–", "–")),
    ],
)
def test_scientific_notation(value, error, low, high, expected):
    assert with_error(value, error, low, high, "scientific") == expected


def test_csv_keeps_full_precision_beside_the_rounded_columns():
    row = {
        "state": "s",
        "property": "p",
        "species": "",
        "mean": 2.8671234e-9,
        "std": NAN,
        "sem": 1.683e-11,
        "count": 1,
        "unit": "m^2/s",
        "per_run": [2.8671234e-9],
        "ci95_low": 2.834e-9,
        "ci95_high": 2.9e-9,
        "per_run_sem": [1.683e-11],
        "window_spread": [NAN],
        "fit_start": [2e-11],
        "fit_p": [0.4],
        "flags": "",
    }
    header, line = csv_text([row]).splitlines()
    fields = dict(zip(header.split(","), line.split(",")))
    assert float(fields["mean"]) == row["mean"] and float(fields["ci95_high"]) == row["ci95_high"]
    assert (fields["mean_rounded"], fields["sem_rounded"], fields["ci95_rounded"]) == (
        "2.867e-09",
        "1.7e-11",
        "2.834e-09 to 2.900e-09",
    )


@pytest.mark.parametrize(
    "values, expected",
    [
        # A conductivity in S/m: fixed notation, rounded to two digits of its error.
        ((37.807413, 1.091981, 35.667169, 39.947658), ("37.8 ± 1.1", "35.7 to 39.9")),
        # A hop time in seconds: exponents, the interval to the error's last digit.
        ((9.076e-12, 5.502e-13, 8.116e-12, 1.029e-11), ("9.08e-12 ± 5.5e-13", "8.12e-12 to 1.029e-11")),
        # No deficit: no value, nothing to show.
        ((NAN, NAN, NAN, NAN), ("", "")),
    ],
)
def test_wide_rows_get_a_rounded_column_per_estimate(values, expected):
    value, sem, low, high = values
    row = {"state": "s", "tau": value, "tau_sem": sem, "tau_ci95_low": low, "tau_ci95_high": high, "flags": ""}
    columns = list(row)
    header, line = csv_text([row], columns).splitlines()
    fields = dict(zip(header.split(","), next(csv.reader([line]))))
    assert float(fields["tau"]) == value or value != value
    assert (fields["tau_rounded"], fields["tau_ci95_rounded"]) == expected
