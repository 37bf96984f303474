"""The five readers through the module: files written here and the bundled samples."""

import math
import os

import pytest

import _zorv_pp as z

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "data")
TABLE_READERS = [z.parse_zorv_file, z.parse_thermoprop, z.parse_bond_angle]
ALL_READERS = TABLE_READERS + [z.parse_volume_density, lambda path: z.read_group_count(path, "g")]


def write(tmp_path, data, name="f.dat"):
    path = tmp_path / name
    path.write_bytes(data if isinstance(data, bytes) else data.encode())
    return str(path)


def raised(call):
    with pytest.raises(Exception) as info:
        call()
    return info.value


@pytest.mark.parametrize("reader", ALL_READERS)
def test_missing_file_is_a_plain_os_error(tmp_path, reader):
    path = str(tmp_path / "absent.dat")
    error = raised(lambda: reader(path))
    assert type(error) is OSError
    assert error.args == (path + ": No such file or directory (os error 2)",)
    assert error.errno is None


@pytest.mark.parametrize("reader", ALL_READERS)
@pytest.mark.parametrize("bad", [b"\xff", b"\xc0\xaf", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xe2\x82"])
def test_ill_formed_utf8_anywhere_fails(tmp_path, reader, bad):
    # The bad bytes sit in the title line, which no reader uses.
    path = write(tmp_path, b"# title " + bad + b"\n#Time a\n1 2\n3 4\n5 6\ngroup g\n7\n")
    error = raised(lambda: reader(path))
    assert type(error) is OSError
    assert str(error) == path + ": stream did not contain valid UTF-8"


@pytest.mark.parametrize("reader", ALL_READERS)
def test_directory_and_nul_in_path(tmp_path, reader):
    error = raised(lambda: reader(str(tmp_path)))
    assert type(error) is OSError and str(error) == str(tmp_path) + ": Is a directory (os error 21)"
    # The file named by the part before the NUL exists; it must not be read.
    path = write(tmp_path, "#Time a\n1 2\n") + "\0.dat"
    error = raised(lambda: reader(path))
    assert type(error) is OSError and str(error) == path + ": path contains a NUL character"


def test_empty_transport_file_has_no_header(tmp_path):
    path = write(tmp_path, "")
    error = raised(lambda: z.parse_zorv_file(path))
    assert type(error) is ValueError and str(error) == "No header found in " + path


def test_duplicate_names_keep_first_position_and_later_values(tmp_path):
    path = write(tmp_path, "#Time a Time b\n1 2 3 4\n5 6 7 8\n")
    table = z.parse_zorv_file(path)
    assert list(table) == ["Time", "a", "b"]
    assert table == {"Time": [3.0, 7.0], "a": [2.0, 6.0], "b": [4.0, 8.0]}


def test_non_ascii_names_and_separators(tmp_path):
    path = write(tmp_path, "\ufeff# t\n# T\u00e9mp\u3000P\u00a0\n1\u20002\n")
    assert z.parse_thermoprop(path) == {"T\u00e9mp": [1.0], "P": [2.0]}


def test_special_values_reach_python(tmp_path):
    path = write(tmp_path, "#Time a b c\n-nan inf -1e400 4.9e-324\n")
    table = z.parse_zorv_file(path)
    assert math.isnan(table["Time"][0]) and math.copysign(1.0, table["Time"][0]) == -1.0
    assert table["a"] == [math.inf] and table["b"] == [-math.inf] and table["c"] == [5e-324]


@pytest.mark.parametrize(
    "reader, name, expected",
    [
        (z.parse_zorv_file, "diffself_koh.dat", {"Time": (40, 10.0, 16000.0), "MSD_OH": (40, 0.05684077, 4.236)}),
        (z.parse_zorv_file, "rdf.dat", {"r": (30, 0.2, 6.0), "g_O-O": (30, 0.0, 1.0)}),
        (z.parse_thermoprop, "nvt_prod.dat", {"TimeStep": (10, 1000.0, 10000.0), "v_Vol": (10, 27001.0, 27010.0)}),
        (z.parse_bond_angle, "npt_prod_angle.dat", {"Bin": (18, 1.0, 18.0), "Count": (18, 0.0, 0.0)}),
    ],
)
def test_bundled_tables(reader, name, expected):
    table = reader(os.path.join(EXAMPLES, name))
    for column, (length, first, last) in expected.items():
        values = table[column]
        assert (len(values), values[0], round(values[-1], 3)) == (length, first, last)
    assert len({len(values) for values in table.values()}) == 1


def test_bundled_single_values():
    assert z.parse_volume_density(os.path.join(EXAMPLES, "volume.dat")) == 27048.7
    assert z.parse_volume_density(os.path.join(EXAMPLES, "density.dat")) == 1.2514
    log = os.path.join(EXAMPLES, "log.lammps")
    assert [z.read_group_count(log, g) for g in ("K", "OH", "water", "ions", "")] == [90, 180, 2468, 270, 90]
    error = raised(lambda: z.read_group_count(log, "Na"))
    assert type(error) is ValueError and str(error) == f"Group 'Na' count not found in '{log}'"
    assert type(z.read_group_count(log, "K")) is int


@pytest.mark.parametrize(
    "reader, text, expected",
    [
        # The last "#Time" line is the header, indented or not; line 0 when none.
        (z.parse_zorv_file, "#Time a\n1 2\n #Time b\n3 4\n", {"Time": [3.0], "b": [4.0]}),
        (z.parse_zorv_file, "r g\n1 2\n\t#Time a\n3 4\n", {"Time": [3.0], "a": [4.0]}),
        (z.parse_zorv_file, "r g\r\n1 2\r\nx #Time\r\n3 #4\r\n", {"r": [1.0, 3.0], "g": [2.0, 4.0]}),
        # Fix tables: names on line 1, or line 2 with the rows after line 3.
        (z.parse_thermoprop, "# t 1 2\n# A B\n1 2\n", {"A": [1.0], "B": [2.0]}),
        (z.parse_bond_angle, "# 1 2\n# 3 4\n# X Y\n# 5 6\n7 8\n", {"X": [7.0], "Y": [8.0]}),
        # A number run straight into a letter is no number: its row is skipped.
        (z.parse_thermoprop, "t\nA B\n1 2.5d\n1 1D\n1 3e\n1 1e400x\n1 2\n", {"A": [1.0], "B": [2.0]}),
        # Two lines skipped, then the first second token that is a number.
        (z.parse_volume_density, "1 2\n3 4\n5 2.5d\n7 8\n", 8.0),
        # A name ending in CR cannot take the CR of a CR LF line end.
        (lambda path: z.read_group_count(path, "A\r"), "group A\r\n1\r\ngroup A\r2\n3\n", 3),
        # Neither a report with more before its count nor a count past 64 bits counts.
        (lambda path: z.read_group_count(path, "K"), "5 atoms in x group K\n7\n", 7),
        (lambda path: z.read_group_count(path, "K"), "group K\n18446744073709551616\ngroup K\n9\n", 9),
    ],
)
def test_reader_picks_its_lines(tmp_path, reader, text, expected):
    assert reader(write(tmp_path, text)) == expected
