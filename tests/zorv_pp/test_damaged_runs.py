"""Damaged copies of real and synthetic runs: every loss is a warning of the run, or an error."""

import pathlib
import pickle
import shutil

import numpy as np
import pytest

import zorv_pp
from zorv_pp import synthetic

RUNS = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data" / "zorv-runs"
SPEC = synthetic.RunSpec(
    counts={"A": 100, "B": 300},
    self_diffusion={"A": 2e-9, "B": 1e-9},
    onsager={("A", "A"): 4e-10, ("B", "B"): 6e-10, ("A", "B"): 5e-11},
    ballistic=False,
    rdf_rows=500,
    temperature_rows=20,
)


def make(source, folder):
    if source == "synthetic":
        synthetic.write_run(folder, SPEC)
        return folder
    if not RUNS.is_dir():
        pytest.skip("needs ../shared/data (the real runs)")
    folder.mkdir()
    for file in (RUNS / source).iterdir():  # plain copies: the shared files are read-only
        shutil.copyfile(file, folder / file.name)
    return folder


def undeclared(folder):
    """Drop the log lines that say density.dat holds LAMMPS's own density: its unit is then a guess."""
    log = folder / "log.lammps"
    log.write_text("".join(line for line in log.read_text().splitlines(keepends=True) if "density" not in line))


def rows(data):
    return data.splitlines(keepends=True)


def half(data):
    lines = rows(data)
    return b"".join(lines[: len(lines) // 2])


def stray(data):
    lines = rows(data)
    return b"".join(lines[:10] + [b" 123 abc 4\n"] + lines[10:])


def without_last_loop(data):
    return data[: data.rindex(b"Loop time of")]


def body_start(data):
    return data.index(b"\n", data.index(b"#Time")) + 1


def restarted(data):
    """A restart appending to the file: the first 15 rows again, then the whole table."""
    start = body_start(data)
    return data + b"".join(rows(data[start:])[:15]) + data[start:]


def rewritten(data):
    """A restart that writes its header and rows again."""
    return data + data[data.index(b"#Time") :]


def with_nan(data):
    lines = rows(data)
    at = next(k for k, line in enumerate(lines) if line.startswith(b"#Time")) + 5
    fields = lines[at].split()
    lines[at] = b" ".join(fields[:2] + [b"nan"] + fields[3:]) + b"\n"
    return b"".join(lines)


def same_rows(run, file, kind):
    intact = zorv_pp.Run.load(RUNS / "water-methanol") if file == "diffself.dat" else None
    table = run.tables[kind]
    reference = intact.tables[kind] if intact else table
    return all(np.array_equal(table[name], reference[name]) for name in reference)


# source, file, damage, warning code, what the reading then holds
CASES = [
    (
        "water-methanol",
        "diffself.dat",
        lambda d: d[:-4],
        "partial_last_row",  # cut inside the last number
        lambda run: run.tables["diffself"]["Time"][-1] == 400000 and len(run.tables["diffself"]["Time"]) == 41,
    ),
    ("lj", "viscosity.dat", half, "short_table", lambda run: "viscosity" in run.tables),
    (
        "water-methanol",
        "tconductivity.dat",
        stray,
        "skipped_rows",
        lambda run: len(run.tables["tconductivity"]["Time"]) == 72,
    ),
    ("water-methanol", "log.lammps", without_last_loop, "no_run_length", lambda run: not run.sampling),
    (
        "synthetic",
        "temperature.dat",
        lambda d: d[:-1],
        "partial_last_row",  # a whole last row, unfinished
        lambda run: run.temperature != pytest.approx(SPEC.temperature, rel=1e-12),
    ),
    (
        "synthetic",
        "diffonsag.dat",
        lambda d: d[: d.index(b"\n", d.index(b"#Time")) + 1],
        "empty_table",
        lambda run: "diffonsag" not in run.tables and "diffself" in run.tables,
    ),
    (
        "synthetic",
        "density.dat",
        lambda d: d.replace(b"\n1.0", b"\n1000.0"),
        "density_unit",
        lambda run: (
            run.density == pytest.approx(1000.0, rel=1e-3)
            and any(  # says what it decided, why, and the option that states it
                "read as g/cm3, since in kg/m3 it would be lighter than any liquid" in w.message
                and "--density-unit" in w.message
                for w in run.warnings
            )
        ),
    ),
    (
        "water-methanol",
        "diffself.dat",
        restarted,
        "repeated_rows",
        lambda run: same_rows(run, "diffself.dat", "diffself"),
    ),
    (
        "water-methanol",
        "diffself.dat",
        rewritten,
        "repeated_header",
        lambda run: same_rows(run, "diffself.dat", "diffself"),
    ),
    (
        "synthetic",
        "viscosity.dat",
        with_nan,
        "nonfinite_values",
        lambda run: any("column " in w.message and "first at line" in w.message for w in run.warnings),
    ),
]


@pytest.mark.parametrize("source, file, damage, code, holds", CASES, ids=[f"{c[0]}-{c[1]}-{c[3]}" for c in CASES])
def test_damage_is_read_around_and_said(tmp_path, source, file, damage, code, holds):
    folder = make(source, tmp_path / "run")
    if code == "density_unit":
        undeclared(folder)
    path = folder / file
    path.write_bytes(damage(path.read_bytes()))
    run = zorv_pp.Run.load(folder)
    found = [w for w in run.warnings if w.code == code]
    assert found and all(w.file == file and str(w).startswith(f"{file}: ") for w in found)
    assert holds(run)


def test_a_skipped_row_is_counted_and_located(tmp_path):
    folder = make("synthetic", tmp_path / "run")
    path = folder / "viscosity.dat"
    lines = rows(path.read_bytes())
    header = next(k for k, line in enumerate(lines) if line.startswith(b"#Time"))
    lines[header + 3] = b"12 0.5 oops\n"
    lines[header + 6] = b"\n"  # a blank line is no loss
    lines.insert(header + 9, b"# a comment is no loss\n")
    path.write_bytes(b"".join(lines))
    (warning,) = [w for w in zorv_pp.Run.load(folder).warnings if w.code == "skipped_rows"]
    assert "1 line(s)" in warning.message
    assert f"line {header + 4}" in warning.message


@pytest.mark.parametrize(
    "density, options, log_line, expected, codes",
    [
        ("1000.0", {}, "", 1000.0, {"density_unit"}),
        ("1.0", {"density_unit": "g/cm3"}, "", 1000.0, set()),
        ("1000.0", {"density_unit": "kg/m^3"}, "", 1000.0, set()),
        # The log shows the file's variable to be LAMMPS's own density, in g/cm³.
        ("1.0", {}, "variable rho equal density\nfix d all ave/time 1 10 10 v_rho file density.dat\n", 1000.0, set()),
        ("1.0", {"molar_masses": {"A": 1.0, "B": 2.0}}, "", 1000.0, {"density_unit", "density_mismatch"}),
        # Mass over volume confirms the unit read from the magnitude: nothing to say.
        ("1291.5", {"molar_masses": {"A": 30.0, "B": 60.0}}, "", 1291.5, set()),
    ],
)
def test_density_unit_and_cross_check(tmp_path, density, options, log_line, expected, codes):
    folder = make("synthetic", tmp_path / "run")
    undeclared(folder)
    (folder / "density.dat").write_text(f"# d\n# TimeStep v_rho\n1 {density}\n2 {density}\n")
    log = folder / "log.lammps"
    log.write_text(log.read_text() + log_line)
    run = zorv_pp.Run.load(folder, **options)
    assert run.density == pytest.approx(expected, rel=1e-12)
    assert {w.code for w in run.warnings} == codes


def test_mass_over_volume_flags_a_wrong_density(tmp_path):
    folder = make("water-methanol", tmp_path / "run")
    run = zorv_pp.Run.load(folder, molar_masses={"wat": 18.015, "met": 46.07}, density_unit="kg/m3")
    assert [w.code for w in run.warnings] == ["density_mismatch"]


@pytest.mark.parametrize(
    "setup, options, message, missing",
    [
        ("empty", {"units": "real"}, "no table that can be analysed", ()),
        ("headers only", {}, "no table that can be analysed", ()),
        ("no log", {"units": "real"}, "no molecule count for species 'A', 'B': give counts=", ("A", "B")),
        ("no log", {"units": "real", "counts": {"A": 3}}, "no molecule count given for species 'B'", ("B",)),
        ("log", {"groups": {"A": "Na", "B": ("Cl", 2)}}, "the log counts no group of species 'A', 'B'", ("A", "B")),
    ],
)
def test_unusable_runs_raise(tmp_path, setup, options, message, missing):
    folder = tmp_path / "run"
    if setup == "empty":
        folder.mkdir()
    else:
        make("synthetic", folder)
    if setup == "headers only":
        for file in folder.glob("*.dat"):
            if file.name not in ("temperature.dat", "volume.dat", "density.dat"):
                file.write_text("#Time MSD__A\n")
    elif setup == "no log":
        (folder / "log.lammps").unlink()
    with pytest.raises(zorv_pp.RunError, match=message) as caught:
        zorv_pp.Run.load(folder, **options)
    assert caught.value.missing_species == missing
    again = pickle.loads(pickle.dumps(caught.value))
    assert (again.missing_species, str(again)) == (missing, str(caught.value))
