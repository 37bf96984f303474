"""zorv-pp ordern then zorv-pp analyze on what LAMMPS and GROMACS wrote, as a user runs them."""

import json
import math
import re

import numpy as np
import pytest

from zorv_pp.cli import main

# MDAnalysis says so when a LAMMPS dump has no masses or times; the tests give both where they matter.
pytestmark = [
    pytest.mark.engines,
    pytest.mark.filterwarnings("ignore:(Guessed all Masses|Reader has no dt):UserWarning"),
]

# CODATA 2018 exact values.
BOLTZMANN, AVOGADRO = 1.380649e-23, 6.02214076e23
LJ_MASSES = ["--mass", "1=1.0", "--mass", "2=2.0"]


@pytest.fixture(scope="module", autouse=True)
def trajectories_need_mdanalysis(mda):
    """Without MDAnalysis the command refuses every trajectory: a missing package, not a fault, to report."""


def ordern(capsys, *arguments):
    status = main(["ordern", *map(str, arguments)])
    err = capsys.readouterr().err
    assert status == 0, err
    return arguments[arguments.index("--out") + 1]


def table(path):
    lines = [line for line in path.read_text().splitlines() if not line.startswith(("#", "Order-n"))]
    return np.loadtxt(lines, ndmin=2)


def log_value(folder, key):
    for line in (folder / "ordern.log").read_text().splitlines():
        if line.startswith(f"{key}: "):
            return float(line.split()[1])
    raise AssertionError(f"no {key} in {folder / 'ordern.log'}")


def thermo(log):
    """Step → Temp of the last thermo table of a LAMMPS log."""
    text = log.read_text()
    block = text[text.rindex("   Step ") : text.rindex("Loop time")].splitlines()
    columns = block[0].split()
    return {int(float(row.split()[0])): float(row.split()[columns.index("Temp")]) for row in block[1:]}


def analyze(capsys, folder, out):
    status = main(["analyze", str(folder), "--out", str(out), "--no-figures", "--quiet"])
    assert status == 0, capsys.readouterr().err
    rows = json.loads((out / "results.json").read_text())["rows"]
    return {(row["property"], row["species"] or ""): row for row in rows}


@pytest.fixture(scope="module")
def lj_folders(lammps_lj, tmp_path_factory):
    """The LJ run's three dumps as run folders; the unwrapped one with its pressure and heat-flux series."""
    out = tmp_path_factory.mktemp("lj-folders")
    series = ["--pressure", lammps_lj / "pressure.dat", "--heat-flux", lammps_lj / "heatflux.dat"]
    folders = {}
    for kind in ("unwrapped", "images", "wrapped"):
        extra = series if kind == "unwrapped" else []
        arguments = [lammps_lj / f"{kind}.dump", "--log", lammps_lj / "log.lammps", *LJ_MASSES, *extra]
        assert main(["ordern", *map(str, arguments), "--out", str(out / kind)]) == 0
        folders[kind] = out / kind
    return folders


@pytest.mark.parametrize("kind", ["images", "wrapped"])
@pytest.mark.parametrize("name", ["diffself.dat", "diffonsag.dat"])
def test_every_coordinate_kind_gives_the_same_tables(lj_folders, kind, name):
    expected = table(lj_folders["unwrapped"] / name)
    # MDAnalysis holds positions in single precision, so x + ix·L and xu differ in their last float32 bits;
    # a wrap missed or counted twice moves a row by a box length squared.
    np.testing.assert_allclose(table(lj_folders[kind] / name), expected, rtol=1e-5, atol=1e-7 * np.abs(expected).max())


def test_wrapped_frames_too_far_apart_are_refused(lammps_lj, tmp_path, capsys):
    assert (
        main(["ordern", str(lammps_lj / "sparse.dump"), "--log", str(lammps_lj / "log.lammps"), "--out", str(tmp_path)])
        == 2
    )
    err = capsys.readouterr().err
    assert "write unwrapped coordinates" in err and err.count("\n") == 1


def finite_with_error(row, unit):
    return math.isfinite(row["mean"]) and 0.0 < row["sem"] < abs(row["mean"]) and row["unit"] == unit


def test_lammps_folder_analysed(lj_folders, lammps_lj, tmp_path, capsys):
    rows = analyze(capsys, lj_folders["unwrapped"], tmp_path)
    unit = "reduced (lj)"
    for key in [
        ("self_diffusion", "type1"),
        ("self_diffusion", "type2"),
        ("shear_viscosity", ""),
        ("thermal_conductivity", ""),
    ]:
        assert finite_with_error(rows[key], unit), rows[key]
    # A dense LJ liquid near T = 1.5: D of order 0.05 σ²/τ, η of a few ε τ / σ³; a wrong time unit is off by 200.
    assert 0.01 < rows["self_diffusion", "type1"]["mean"] < 0.3
    assert 0.5 < rows["shear_viscosity", ""]["mean"] < 20.0
    temperatures = thermo(lammps_lj / "log.lammps")
    assert rows["temperature", ""]["mean"] == pytest.approx(np.mean(list(temperatures.values())), rel=0.02)


def test_gromacs_folder_analysed(gromacs_water, tmp_path, capsys):
    folder = ordern(
        capsys,
        gromacs_water / "run.xtc",
        gromacs_water / "water.gro",
        "--pressure",
        gromacs_water / "energy.xvg",
        "--out",
        tmp_path / "run",
    )
    rows = analyze(capsys, folder, tmp_path / "results")
    d = rows["self_diffusion_pbc", "SOL"]
    assert finite_with_error(d, "m^2/s"), d
    # SPC/E water at 300 K in a box of 213 molecules: about 2.4e-9 m²/s; nm²/ps to m²/s wrong shows here.
    assert 1.5e-9 < d["mean"] < 3.5e-9
    box = np.array((gromacs_water / "water.gro").read_text().splitlines()[-1].split(), dtype=float)
    assert rows["volume", ""]["mean"] == pytest.approx(np.prod(box) * 1e-27, rel=1e-6)


def kinetic_temperature(dump, mass_g_per_mol, velocity_m_per_s):
    """Mean over frames of Σ m v² / ((3N − 3) k_B) from a dump's vx vy vz, with the exact constants."""
    text = dump.read_text()
    temperatures = []
    for frame in text.split("ITEM: TIMESTEP")[1:]:
        rows = np.loadtxt(frame.split("ITEM: ATOMS")[1].splitlines()[1:], ndmin=2)
        v = rows[:, -3:] * velocity_m_per_s
        temperatures.append(mass_g_per_mol * 1e-3 / AVOGADRO * np.sum(v * v) / ((3 * len(rows) - 3) * BOLTZMANN))
    return np.mean(temperatures)


def test_lammps_real_units_against_the_exact_constants(lammps_real, tmp_path, capsys):
    series = ["--pressure", lammps_real / "pressure.dat", "--heat-flux", lammps_real / "heatflux.dat"]
    arguments = [lammps_real / "unwrapped.dump", "--log", lammps_real / "log.lammps", "--mass", "1=39.948", *series]
    folder = ordern(capsys, *arguments, "--out", tmp_path / "run")
    measured = log_value(folder, "temperature")
    # Å/fs is 1e5 m/s. The velocities pass through single precision on the way (parts in 1e9 of the mean);
    # CODATA 2014's k_B is off by 3.5e-7, a count of 3N degrees of freedom by 4e-3.
    assert measured == pytest.approx(kinetic_temperature(lammps_real / "unwrapped.dump", 39.948, 1e5), rel=1e-8)
    temperatures = thermo(lammps_real / "log.lammps")
    # LAMMPS's real units take k_B = 0.0019872067 kcal/mol/K, 1.23e-6 above the exact k_B N_A / 4184 J/kcal.
    engine_boltzmann = 0.0019872067 / (BOLTZMANN * AVOGADRO / 4184.0)
    assert measured == pytest.approx(engine_boltzmann * np.mean(list(temperatures.values())), rel=1e-8)
    # The box too passes through single precision.
    assert log_value(folder, "volume") == pytest.approx((4 * 5.72) ** 3, rel=3e-7)
    rows = analyze(capsys, folder, tmp_path / "results")
    # Liquid argon near 120 K: D a few 1e-9 m²/s, η and κ of order 0.1 mPa·s and 0.1 W/(m·K). 20 ps pin
    # only D; a slip in fs, atm or kcal/mol moves a value by a factor of 1e3 or more.
    assert finite_with_error(rows["self_diffusion_pbc", "type1"], "m^2/s")
    assert 1e-9 < rows["self_diffusion_pbc", "type1"]["mean"] < 1e-8
    assert 2e-5 < rows["shear_viscosity", ""]["mean"] < 2e-3 and rows["shear_viscosity", ""]["unit"] == "Pa s"
    assert (
        0.02 < rows["thermal_conductivity", ""]["mean"] < 2.0 and rows["thermal_conductivity", ""]["unit"] == "W/(m K)"
    )


def test_gromacs_kinetic_temperature_of_rigid_water(gromacs_water, tmp_path, capsys):
    """From .trr velocities in nm/ps and masses in u: the engine's temperature once the dof are counted alike."""
    folder = ordern(capsys, gromacs_water / "run.trr", gromacs_water / "water.gro", "--out", tmp_path / "run")
    lines = (gromacs_water / "energy.xvg").read_text().splitlines()
    legends = [line.split('"')[1] for line in lines if re.match(r"@ s\d+ legend", line)]
    values = np.loadtxt([line for line in lines if line[:1] not in "#@"])
    engine = values[:, 1 + legends.index("Temperature")].mean()
    # 3N − 3 degrees of freedom counted; GROMACS counts 6 per rigid molecule less the centre of mass's 3.
    molecules = int((folder / "ordern.log").read_text().split("species: SOL ")[1].split()[0])
    counted = log_value(folder, "temperature") * (9 * molecules - 3) / (6 * molecules - 3)
    assert "constraints are not counted" in (folder / "ordern.log").read_text()
    # The .trr holds every 25th of the .xvg's frames.
    assert counted == pytest.approx(engine, rel=0.01), (counted, engine)


def dropped_frame(folder, tmp_path):
    """The unwrapped dump with its third frame left out: the time step between frames changes."""
    frames = (folder / "unwrapped.dump").read_text().split("ITEM: TIMESTEP")
    path = tmp_path / "gap.dump"
    path.write_text("ITEM: TIMESTEP".join(frames[:3] + frames[4:]))
    return path


@pytest.mark.parametrize(
    "engine, arguments, message",
    [
        ("gromacs_water", lambda f, p: [f / "run.xtc"], "give its topology"),
        (
            "gromacs_water",
            lambda f, p: [f / "run.xtc", f / "water.gro", "--species", "ion=resname NA"],
            "matches no atom",
        ),
        ("lammps_lj", lambda f, p: [dropped_frame(f, p), "--log", f / "log.lammps"], "time step changes at frame 2"),
        (
            "lammps_lj",
            lambda f, p: [f / "unwrapped.dump", "--log", f / "log.lammps", "--pressure", f / "missing.dat"],
            "missing.dat",
        ),
        pytest.param(
            "gromacs_water",
            lambda f, p: [f / "run.xtc", f / "run.tpr"],
            "give the run's .gro",
        ),
    ],
)
def test_bad_input_is_a_one_line_usage_error(engine, arguments, message, request, tmp_path, capsys):
    folder = request.getfixturevalue(engine)
    assert main(["ordern", *map(str, arguments(folder, tmp_path)), "--out", str(tmp_path / "run")]) == 2
    err = capsys.readouterr().err
    assert message in err and err.count("\n") == 1 and "Traceback" not in err
