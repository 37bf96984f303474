"""read_series: both engines' series as columns, their damage as the run tables word it, unreadable files as
RunError naming the file."""

from pathlib import Path

import numpy as np
import pytest

import _zorv_analysis
from zorv_pp.errors import RunError
from zorv_pp.ordern import Series, read_series

AVE_TIME = "# Time-averaged data for fix pt\n# TimeStep v_pxx v_pxy\n0 1.5 -2e+03\n10 -0.25 3\n20 1 2\n"
VECTOR = (
    "# Time-averaged data for fix pt\n# TimeStep Number-of-rows\n# Row c_P\n"
    "0 2\n1 1.5\n2 -2e3\n10 2\n1 -0.25\n2 3\n20 2\n1 1\n2 2\n"
)
XVG = (
    '# gmx energy -f ener.edr\n@    title "GROMACS Energies"\n@    xaxis  label "Time (ps)"\n'
    '@    yaxis  label "(bar)"\n@TYPE xy\n@ s1 legend "Pres-XY"\n@ s0 legend "Pres-XX"\n'
    "    0.000000    1.500000  -2.0\n    0.002000   -0.250000   3.0\n    0.004000    1.0   2.0\n"
)

SHARED = Path(__file__).resolve().parents[3] / "shared" / "data"
REAL_AVE_TIME = sorted(
    p
    for p in [*SHARED.glob("lammps/*.dat"), *SHARED.glob("zorv-runs/*/*.dat")]
    if p.read_bytes().startswith(b"# Time-averaged data for fix")
)


def write(tmp_path, text, name="series.dat"):
    path = tmp_path / name
    path.write_bytes(text.encode())
    return path


@pytest.mark.parametrize("crlf", [False, True])
@pytest.mark.parametrize(
    ("text", "name", "engine", "names", "units"),
    [
        (AVE_TIME, "pt.dat", "lammps", ("TimeStep", "v_pxx", "v_pxy"), {}),
        (VECTOR, "pt.dat", "lammps", ("TimeStep", "c_P[1]", "c_P[2]"), {}),
        (
            XVG,
            "energy.txt",
            "gromacs",
            ("Time", "Pres-XX", "Pres-XY"),
            {"Time": "ps", "Pres-XX": "bar", "Pres-XY": "bar"},
        ),
        (XVG.replace("@", "#"), "energy.xvg", "gromacs", ("Time", "s0", "s1"), {}),
    ],
)
def test_both_engines_read_by_content(tmp_path, crlf, text, name, engine, names, units):
    series = read_series(write(tmp_path, text.replace("\n", "\r\n") if crlf else text, name))
    assert isinstance(series, Series) and series.engine == engine and series.warnings == ()
    assert series.names == names and list(series.columns) == list(names) and series.time_name == names[0]
    assert dict(series.units) == units
    assert series.columns[names[1]].dtype == np.float64
    np.testing.assert_array_equal(series.columns[names[1]], [1.5, -0.25, 1.0])
    np.testing.assert_array_equal(series.time, [0, 10, 20] if engine == "lammps" else [0, 0.002, 0.004])


@pytest.mark.parametrize(
    ("text", "codes", "rows"),
    [
        (AVE_TIME + "30 1", {"partial_last_row"}, 3),
        (AVE_TIME + "30 1 2 4\nbad line\n40 1 2\n", {"skipped_rows"}, 4),
        (AVE_TIME + "# Time-averaged data for fix pt\n# TimeStep v_pxx v_pxy\n30 1 2\n", {"repeated_header"}, 4),
        (AVE_TIME + "0 1 2\n10 2 3\n", {"repeated_rows"}, 3),
        (AVE_TIME + "30 nan 2\n", {"nonfinite_values"}, 4),
        (XVG + '@ s2 legend "Pres-YY"\n', set(), 3),
        (XVG.replace("@ s0", "@ s5"), {"unmatched_legends"}, 3),
    ],
)
def test_damage_becomes_warnings(tmp_path, text, codes, rows):
    series = read_series(write(tmp_path, text))
    assert {w.code for w in series.warnings} == codes
    assert all(w.file == "series.dat" for w in series.warnings)
    assert len(series.time) == rows


@pytest.mark.parametrize(
    ("text", "name", "says"),
    [
        ("1 2\n3 4\n", "s.dat", "neither a LAMMPS"),
        ("# Time-averaged data for fix pt\n# TimeStep Number-of-rows\n10 1\n1 2\n", "s.dat", "mode scalar"),
        ("# Time-averaged data for fix pt\n# TimeStep a b\n", "s.dat", "no complete row of 3 numbers"),
        ('@ s0 legend "x"\n', "s.xvg", "no rows"),
        (b"\xff\xfe", "s.xvg", "UTF-8"),
    ],
)
def test_unreadable_files_are_run_errors(tmp_path, text, name, says):
    path = tmp_path / name
    path.write_bytes(text if isinstance(text, bytes) else text.encode())
    with pytest.raises(RunError, match=says) as caught:
        read_series(path)
    assert caught.value.file == name and str(tmp_path / name) not in caught.value.message


def test_missing_file_is_a_run_error(tmp_path):
    with pytest.raises(RunError) as caught:
        read_series(tmp_path / "absent.xvg")
    assert caught.value.file == "absent.xvg"


@pytest.mark.skipif(not REAL_AVE_TIME, reason="the shared LAMMPS files are not here")
@pytest.mark.parametrize("path", REAL_AVE_TIME, ids=lambda p: f"{p.parent.name}/{p.name}")
def test_real_fix_ave_time_files_read_as_the_run_tables_read_them(path):
    series = read_series(path)
    columns, damage = _zorv_analysis.read_table(str(path), "thermo")
    assert series.engine == "lammps" and series.time_name == "TimeStep" and series.warnings == ()
    assert series.names == tuple(columns) and not damage["skipped_lines"]
    for name, column in columns.items():
        np.testing.assert_array_equal(series.columns[name], np.asarray(column))


def test_native_reader_names_its_formats(tmp_path):
    with pytest.raises(ValueError, match="format must be 'lammps' or 'xvg'"):
        _zorv_analysis.read_series(write(tmp_path, AVE_TIME), "csv")
