"""The analysis module's readers: the rows of _zorv_pp's readers as arrays, the damage of the same pass,
and the streaming column summary."""

import io
import math
import pathlib

import numpy as np
import pytest

import _zorv_analysis as za
import _zorv_pp as z

RUNS = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data" / "zorv-runs"
READERS = {"transport": z.parse_zorv_file, "thermo": z.parse_thermoprop}

# text, layout, damage fields that must hold (others must be 0 / empty)
DAMAGED = [
    ("#Time a b\n1 2 0\n3 4 0\n", "transport", {"headers": 1, "header_line": 1, "first_row_line": 2}),
    (
        "#Time a b\n1 2 0\n3 4 0",
        "transport",
        {"headers": 1, "header_line": 1, "first_row_line": 2, "cut_line": 3, "cut_row": True},
    ),
    ("#Time a b\n1 2 0\n3 4 0\n# end", "transport", {"headers": 1, "header_line": 1, "first_row_line": 2}),
    (
        "#Time a b\n1 2 0\nx y z\n\n# c\n3 4 0\n5 oops 0\n",
        "transport",
        {"headers": 1, "header_line": 1, "first_row_line": 2, "skipped_lines": 2, "first_skipped": 3},
    ),
    (
        "#Time a b\n9 9 9\n#Time a b\r\n1 2 0\r\n#3 4 0\r\n",
        "transport",
        {"headers": 2, "header_line": 3, "first_row_line": 4},
    ),
    (
        "title\nstep v\n1 nan\n2 5\n3 inf\n4 -inf\n",
        "thermo",
        {"header_line": 2, "first_row_line": 3, "nonfinite": [("v", 3, 3)]},
    ),
    ("title\nstep v\n\n1 2\n2 3.", "thermo", {"header_line": 2, "first_row_line": 4, "cut_line": 5, "cut_row": True}),
    (
        "title\nstep v\n1 2\n2 3 \u2028 junk\n3 x\n",
        "thermo",
        {"header_line": 2, "first_row_line": 3, "skipped_lines": 1, "first_skipped": 5},
    ),
    ("title\n\n1 2\n", "thermo", {"header_line": 2}),
]


def write(tmp_path, text, name="t.dat"):
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return str(path)


@pytest.mark.parametrize("text, layout, expected", DAMAGED)
def test_rows_are_the_readers_less_a_cut_line_and_the_damage_is_counted(tmp_path, text, layout, expected):
    path = write(tmp_path, text)
    columns, damage = za.read_table(path, layout)
    reference = READERS[layout](path)
    assert list(columns) == list(reference)
    cut = 1 if expected.get("cut_row") else 0
    for name, values in reference.items():
        got = np.asarray(columns[name])
        assert got.dtype == np.float64 and got.tolist() == pytest.approx(values[: len(values) - cut], nan_ok=True)
    defaults = {
        "skipped_lines": 0,
        "first_skipped": 0,
        "cut_line": 0,
        "cut_row": False,
        "headers": 0,
        "header_line": 0,
        "first_row_line": 0,
        "nonfinite": [],
    }
    assert damage == {**defaults, **expected}


@pytest.mark.skipif(not RUNS.is_dir(), reason="needs ../shared/data (the real runs)")
# Without the runs the list is empty and pytest asks for the id of a placeholder: name it as it is.
@pytest.mark.parametrize(
    "file",
    sorted(RUNS.glob("*/*.dat")),
    ids=lambda p: f"{p.parent.name}/{p.name}" if isinstance(p, pathlib.Path) else str(p),
)
def test_real_files_read_as_the_extension_reads_them(file):
    layout = "transport" if file.name.startswith(("diff", "visc", "tcond", "rdf")) else "thermo"
    columns, damage = za.read_table(str(file), layout)
    reference = READERS[layout](str(file))
    assert list(columns) == list(reference)
    assert all(np.asarray(columns[k]).tolist() == reference[k] for k in reference)  # the same bits
    assert damage["cut_line"] == damage["skipped_lines"] == 0 and damage["nonfinite"] == []
    if layout == "thermo":
        summary = za.summarize_column(str(file))
        mean, std, count = z.repacking_results(reference[list(reference)[1]])
        assert (summary["mean"], summary["count"]) == (mean, count)  # the same sum, left to right
        assert summary["variance"] == pytest.approx(std**2, rel=1e-9, abs=1e-300)


@pytest.mark.parametrize(
    "layout, text, kind, message",
    [
        ("transport", "", ValueError, "No header found in {}"),
        ("transport", "\n1 2\n", ValueError, "No header found in {}"),
        ("thermo", "only a title\n", ValueError, "{}: file too short"),
        ("thermo", b"t\nx \xff\n", OSError, "{}: stream did not contain valid UTF-8"),
    ],
)
def test_errors_are_the_readers_errors(tmp_path, layout, text, kind, message):
    path = write(tmp_path, text)
    for call in (
        lambda: za.read_table(path, layout),
        lambda: READERS[layout](path),
        lambda: za.summarize_column(path, 1, layout),
    ):
        with pytest.raises(kind) as info:
            call()
        assert info.value.args == (message.format(path),)


def test_missing_file_and_bad_layout(tmp_path):
    path = str(tmp_path / "absent.dat")
    with pytest.raises(OSError) as info:
        za.read_table(path)
    assert info.value.args == (path + ": No such file or directory (os error 2)",)
    with pytest.raises(ValueError, match="layout must be 'transport' or 'thermo'"):
        za.read_table(path, "csv")


def test_columns_are_lent_without_a_copy_and_read_only(tmp_path):
    columns, _ = za.read_table(write(tmp_path, "#Time a\n1 2\n3 4\n"))
    column = columns["a"]
    first, second = np.asarray(column), np.asarray(column)
    assert np.shares_memory(first, second) and not first.flags.writeable and first.flags.c_contiguous
    view = memoryview(column)
    assert (view.format, view.itemsize, view.shape, view.readonly, len(column)) == ("d", 8, (2,), True, 2)
    del columns, column, view
    assert second.tolist() == [2.0, 4.0]  # the array keeps the values alive
    with pytest.raises(TypeError):
        za.Column()
    with pytest.raises(TypeError, match="read-write"):  # the refused writable view
        io.BytesIO(b"12345678").readinto(za.read_table(write(tmp_path, "#Time a\n1 2\n"))[0]["a"])


@pytest.mark.parametrize(
    "values, block_rows, blocks",
    [
        ([1.0, 2.0, 3.0, 4.0, 5.0], 2, [1.5, 3.5]),
        ([1.0, math.nan, 3.0, 4.0], 2, [1.0, 3.5]),
        ([math.nan, math.inf, 3.0], 2, [math.nan]),
        ([1.0, 2.0], 0, []),
        ([1.0, 2.0], 5, []),
    ],
)
def test_summary_counts_finite_values_and_block_means(tmp_path, values, block_rows, blocks):
    text = "title\nstep v w\n" + "".join(f"{k} {v!r} 0\n" for k, v in enumerate(values))
    summary = za.summarize_column(write(tmp_path, text), 1, "thermo", block_rows)
    finite = [v for v in values if math.isfinite(v)]
    assert (summary["columns"], summary["rows"], summary["count"]) == (3, len(values), len(finite))
    assert summary["mean"] == pytest.approx(np.mean(finite)) and summary["variance"] == pytest.approx(np.var(finite))
    assert np.asarray(summary["block_means"]).tolist() == pytest.approx(blocks, nan_ok=True)
    bad = len(values) - len(finite)
    assert summary["damage"]["nonfinite"] == (
        [("column 1", bad, 3 + values.index(next(v for v in values if not math.isfinite(v))))] if bad else []
    )


def test_summary_of_an_absent_column_has_no_rows(tmp_path):
    summary = za.summarize_column(write(tmp_path, "title\nstep\n1\n2\n"), 1)
    assert (summary["columns"], summary["rows"], summary["count"]) == (1, 0, 0) and math.isnan(summary["mean"])


def test_summary_variance_holds_on_a_large_offset(tmp_path):
    rng = np.random.default_rng(5)
    values = 1e9 + rng.normal(size=20000)
    text = "title\nstep v\n" + "".join(f"{k} {float(v)!r}\n" for k, v in enumerate(values))
    summary = za.summarize_column(write(tmp_path, text))
    assert summary["variance"] == pytest.approx(np.var(values), rel=1e-6)
