"""The results files and the output writer: NaN written as nan and null, rounded display columns, files
written whole or not at all, results before figures before the page that shows them."""

import csv
import io
import json
import math
import os
import stat

import pytest

from zorv_pp.files import atomic_path, write_atomic
from zorv_pp.output.results import COLUMNS, csv_text, display, estimate_prefixes, write_results
from zorv_pp.output.writer import FIGURES, PAGE, Outputs, write_outputs

NAN = math.nan


def row(**changes):
    base = {
        "state": "m2",
        "property": "self_diffusion",
        "species": "K",
        "mean": 1.23456e-9,
        "std": 2e-11,
        "sem": 1.234e-11,
        "count": 3,
        "unit": "m^2/s",
        "per_run": [1.2e-9, NAN, 1.25e-9],
        "ci95_low": 1.2e-9,
        "ci95_high": 1.26e-9,
        "per_run_sem": [],
        "window_spread": [3e-12],
        "fit_start": [1e-12, 2e-12],
        "fit_p": [0.5, NAN],
        "flags": "not_converged window_sensitive",
    }
    return {**base, **changes}


def read_csv(text):
    return list(csv.DictReader(io.StringIO(text)))


def test_a_row_of_the_csv():
    (found,) = read_csv(csv_text([row()]))
    assert list(found) == [*COLUMNS, "mean_rounded", "sem_rounded", "ci95_rounded"]
    assert found["mean"] == "1.23456e-09" and float(found["mean"]) == 1.23456e-9  # full precision kept
    assert found["per_run"] == "1.2e-09;nan;1.25e-09" and found["per_run_sem"] == ""
    assert found["fit_start"] == "1e-12;2e-12" and found["fit_p"] == "0.5;nan" and found["count"] == "3"
    assert found["flags"] == "not_converged window_sensitive" and found["species"] == "K"
    assert (found["mean_rounded"], found["sem_rounded"], found["ci95_rounded"]) == (
        "1.235e-09",
        "1.2e-11",
        "1.200e-09 to 1.260e-09",
    )


# The rounded columns: the error is the sem, else the 95 % half-width in standard errors.
@pytest.mark.parametrize(
    "changes, expected",
    [
        ({}, ("1.235e-09", "1.2e-11", "1.200e-09 to 1.260e-09")),
        ({"mean": 2.5, "sem": NAN, "ci95_low": 2.0, "ci95_high": 3.0}, ("2.50e+00", "", "2.00e+00 to 3.00e+00")),
        # A half-width of 0.15 is 0.077 standard errors: thousandths kept.
        ({"mean": 2.5, "sem": NAN, "ci95_low": 2.35, "ci95_high": 2.65}, ("2.500e+00", "", "2.350e+00 to 2.650e+00")),
        ({"mean": 2.5, "sem": NAN, "ci95_low": NAN, "ci95_high": NAN}, ("2.500e+00", "", "")),
        ({"mean": -3.14159e-3, "sem": 2.6e-5, "ci95_low": NAN, "ci95_high": -3e-3}, ("-3.142e-03", "2.6e-05", "")),
        (
            {"mean": 0.0996, "sem": 0.0996, "ci95_low": -0.1, "ci95_high": 0.3},
            ("1.0e-01", "1.0e-01", "-1.0e-01 to 3.0e-01"),
        ),
    ],
)
def test_display_columns(changes, expected):
    assert display(row(**changes)) == expected
    (found,) = read_csv(csv_text([row(**changes)]))
    assert (found["mean_rounded"], found["sem_rounded"], found["ci95_rounded"]) == expected


WIDE = (
    "state",
    "sigma",
    "sigma_sem",
    "sigma_ci95_low",
    "sigma_ci95_high",
    "d",
    "d_sem",
    "d_ci95_low",
    "d_ci95_high",
    "d_sem_note",
)


@pytest.mark.parametrize(
    "values, sigma, d",
    [
        (
            (12.345, 0.0456, 12.25, 12.44, 1.2345e-9, 1.1e-11, 1.2e-9, 1.26e-9),
            ("12.345 ± 0.046", "12.250 to 12.440"),
            ("1.234e-09 ± 1.1e-11", "1.200e-09 to 1.260e-09"),
        ),
        ((4.0, NAN, 3.0, 5.0, None, 1.1e-11, 1.2e-9, 1.26e-9), ("4.00 ± 0.51", "3.00 to 5.00"), ("", "")),
        ((2e5, 1e3, NAN, NAN, "n/a", NAN, NAN, NAN), ("2.000e+05 ± 1.0e+03", ""), ("", "")),
    ],
)
def test_wide_rows_get_a_rounded_pair_for_each_estimate(values, sigma, d):
    assert estimate_prefixes(WIDE) == ["sigma", "d"]
    wide = dict(zip(WIDE, ("s", *values, "x"), strict=True))
    (found,) = read_csv(csv_text([wide], WIDE))
    assert list(found)[len(WIDE) :] == ["sigma_rounded", "sigma_ci95_rounded", "d_rounded", "d_ci95_rounded"]
    assert (found["sigma_rounded"], found["sigma_ci95_rounded"]) == sigma
    assert (found["d_rounded"], found["d_ci95_rounded"]) == d


def test_columns_without_estimates_get_no_rounded_columns():
    text = csv_text([{"a": 1.5, "b": "x"}], ("a", "b"))
    assert text == "a,b\n1.5,x\n"


def test_results_files_write_nan_as_nan_and_null(tmp_path):
    rows = [row(sem=NAN, ci95_low=-math.inf, window_spread=[NAN, 1.0])]
    extra = {"version": "9.9", "nested": {"x": [NAN, {"y": math.inf}]}}
    csv_path, json_path = write_results(tmp_path / "out", rows, extra, stem="values")
    assert (csv_path, json_path) == (tmp_path / "out" / "values.csv", tmp_path / "out" / "values.json")
    (found,) = read_csv(csv_path.read_text(encoding="utf-8"))
    assert (found["sem"], found["ci95_low"], found["window_spread"]) == ("nan", "-inf", "nan;1.0")
    text = json_path.read_text(encoding="utf-8")
    assert "NaN" not in text and "Infinity" not in text
    document = json.loads(text)
    (written,) = document["rows"]
    assert written["sem"] is None and written["ci95_low"] is None and written["window_spread"] == [None, 1.0]
    assert written["mean"] == 1.23456e-9 and written["per_run"] == [1.2e-9, None, 1.25e-9]
    assert document["version"] == "9.9" and document["nested"] == {"x": [None, {"y": None}]}
    assert rows[0]["window_spread"][0] != rows[0]["window_spread"][0]  # the caller's rows keep their NaN


def test_a_failing_json_leaves_the_previous_one_and_no_scratch_file(tmp_path):
    (tmp_path / "results.json").write_text("previous")
    with pytest.raises(TypeError):
        write_results(tmp_path, [row()], {"unwritable": object()})
    assert (tmp_path / "results.json").read_text() == "previous"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["results.csv", "results.json"]


@pytest.mark.parametrize("error", [OSError("disk full"), ValueError("bad"), KeyboardInterrupt()])
def test_an_interrupted_write_leaves_the_previous_file(tmp_path, error):
    target = tmp_path / "deep" / "report.html"
    target.parent.mkdir()
    target.write_text("previous")

    def failing(stream):
        stream.write("half of it")
        raise error

    with pytest.raises(type(error)):
        write_atomic(target, failing)
    assert target.read_text() == "previous" and [p.name for p in target.parent.iterdir()] == ["report.html"]


def test_written_files_get_the_mode_of_a_plain_open(tmp_path):
    old = os.umask(0o027)
    try:
        path = write_atomic(tmp_path / "new" / "a.csv", lambda stream: stream.write("x"))
    finally:
        os.umask(old)
    assert path == tmp_path / "new" / "a.csv" and path.read_text() == "x"
    assert stat.S_IMODE(path.stat().st_mode) == 0o640


def test_an_atomic_path_appears_only_when_its_block_ends(tmp_path):
    target = tmp_path / "figure.png"
    with atomic_path(target) as scratch:
        scratch.write_bytes(b"png")
        assert scratch.parent == tmp_path and scratch.suffix == ".png" and not target.exists()
    assert target.read_bytes() == b"png" and [p.name for p in tmp_path.iterdir()] == ["figure.png"]


def test_results_then_figures_then_the_page_with_the_figures_drawn(tmp_path):
    seen = []

    def draw(folder):
        seen.append(("draw", folder, sorted(p.name for p in tmp_path.iterdir())))
        folder.mkdir()
        return [folder / "a_msd.png", folder / "summary.png"]

    def page(path, drawn):
        seen.append(("page", path, list(drawn)))
        path.write_text("page")

    written = write_outputs(tmp_path, Outputs([row()], {"version": "1"}, page, draw, stem="koh"))
    figures = tmp_path / FIGURES
    assert seen == [
        ("draw", figures, ["koh.csv", "koh.json"]),
        ("page", tmp_path / PAGE, [figures / "a_msd.png", figures / "summary.png"]),
    ]
    assert (written.csv, written.json, written.folder, written.page) == (
        tmp_path / "koh.csv",
        tmp_path / "koh.json",
        figures,
        tmp_path / "report.html",
    )
    assert written.figures == [figures / "a_msd.png", figures / "summary.png"]


def test_no_drawing_gives_the_page_no_figures(tmp_path):
    pages = []
    written = write_outputs(tmp_path / "out", Outputs([], {}, lambda path, drawn: pages.append(drawn)))
    assert pages == [[]] and written.figures == [] and not (tmp_path / "out" / FIGURES).exists()
    assert (tmp_path / "out" / "results.csv").read_text() == ",".join(
        [*COLUMNS, "mean_rounded", "sem_rounded", "ci95_rounded"]
    ) + "\n"
