"""The readers on real LAMMPS outputs (public tutorial files, not written here)."""

import os

import pytest

import _zorv_pp as z

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = next(
    (
        p
        for p in (os.path.join(HERE, "..", "..", "..", "shared", "data", "lammps"), "/shared/data/lammps")
        if os.path.isdir(p)
    ),
    None,
)
pytestmark = pytest.mark.skipif(DATA is None, reason="the shared LAMMPS sample files are not here")


def data(name):
    return os.path.join(DATA, name)


@pytest.mark.parametrize(
    "log, group, count",
    [
        ("cnt-unbreakable.log.lammps", "carbon_atoms", 700),
        ("cnt-unbreakable.log.lammps", "carbon_mid", 680),
        ("cnt-unbreakable.log.lammps", "rdel", 630),
        # "carbon" is a prefix of carbon_atoms, whose command comes first.
        ("cnt-unbreakable.log.lammps", "carbon", 700),
        ("nanosheared-minimization.log.lammps", "wall", 432),
        ("nanosheared-minimization.log.lammps", "walltop", 216),
        ("nanosheared-minimization.log.lammps", "wallbot", 216),
        ("nanosheared-minimization.log.lammps", "top", 849),
        ("nanosheared-minimization.log.lammps", "ions", 30),
        ("gsfe.log", "upper", 1664),
        ("surface110.log", "ti", 216),
        ("surface110.log", "tisurf", 36),
        ("surface110.log", "timid", 72),
        # No group command is echoed: each report line gives its own count.
        ("lj-improved-md.log", "grp_t1", 1000),
        ("lj-improved-md.log", "grp_t2", 150),
        ("lj-improved-md.log", "grp_t1_in", 38),
        ("lj-improved-md.log", "grp_t2_out", 23),
    ],
)
def test_group_counts(log, group, count):
    assert z.read_group_count(data(log), group) == count


def test_group_absent_from_a_real_log():
    path = data("surface110.log")
    with pytest.raises(ValueError) as info:
        z.read_group_count(path, "no_such_group")
    assert str(info.value) == f"Group 'no_such_group' count not found in '{path}'"


@pytest.mark.parametrize(
    "name, value",
    [
        ("water-density.dat", 0.0130698),
        ("water-volume.dat", 26780.5),
        ("silica-dimensions.dat", 10962.0),
        ("heat.dat", 304.852),
    ],
)
def test_first_values(name, value):
    assert z.parse_volume_density(data(name)) == value


@pytest.mark.parametrize(
    "name, columns, rows, first, last",
    [
        ("heat.dat", ["TimeStep", "v_temp", "v_vat"], 120, [11000.0, 304.852, 16.9018], [130000.0, 1503.35, 19.9618]),
        (
            "silica-dimensions.dat",
            ["TimeStep", "v_myvol", "v_mylx", "v_myly", "v_mylz"],
            350,
            [1000.0, 10962.0, 22.1995, 22.1995, 22.1995],
            [350000.0, 7461.26, 25.1902, 20.8679, 14.194],
        ),
        ("water-volume.dat", ["TimeStep", "v_myvol"], 86, [100.0, 26780.5], None),
        ("water-density.dat", ["TimeStep", "v_mydensity"], 500, [100.0, 0.0130698], None),
    ],
)
def test_fix_ave_time_tables(name, columns, rows, first, last):
    table = z.parse_thermoprop(data(name))
    assert list(table) == columns
    assert all(len(values) == rows for values in table.values())
    assert [values[0] for values in table.values()] == first
    if last is not None:
        assert [values[-1] for values in table.values()] == last


def test_single_block_histogram():
    table = z.parse_bond_angle(data("peg-dihedral.histo"))
    assert list(table) == ["Bin", "Coord", "Count", "Count/Total"]
    assert table["Bin"] == [float(b) for b in range(1, 501)]
    assert [table[k][0] for k in table] == [1.0, 0.18, 49.0, 0.000234462]
    assert [table[k][-1] for k in table] == [500.0, 179.82, 1320.0, 0.00631612]


def test_six_block_histogram_takes_every_numeric_line_after_line_3():
    # Only the first block's per-timestep line (line 3) is skipped; the later
    # five have four leading numbers, so they are rows like the 6000 bins.
    table = z.parse_bond_angle(data("si-charge-6blocks.histo"))
    bins = table["Bin"]
    assert len(bins) == 6005
    assert [bins[i] for i in (0, 999, 1000, 1001)] == [1.0, 1000.0, 10000.0, 1.0]
    assert [table[k][1000] for k in table] == [10000.0, 1000.0, 96000.0, 0.0]
    assert [b for b in bins if b > 1000] == [10000.0, 15000.0, 20000.0, 25000.0, 30000.0]
