"""The faults a new user met (issue 21), each held by a test that failed before its fix."""

import dataclasses
import json
import math
import os
import pathlib
import shutil

import numpy as np
import pytest

import zorv_pp
from zorv_pp import cli, synthetic
from zorv_pp.analysis.rdf import first_shell, shell_with_floors
from zorv_pp.campaign import batch
from zorv_pp.run import parse_log
from zorv_pp.units import YEH_HUMMER_XI

ROOT = pathlib.Path(__file__).resolve().parents[2]
RUNS = ROOT.parent / "shared" / "data" / "zorv-runs"
needs_runs = pytest.mark.skipif(not RUNS.is_dir(), reason="needs ../shared/data (the real runs)")
SPEC = synthetic.RunSpec(
    counts={"K": 20, "OH": 20, "water": 500},
    self_diffusion={"K": 1.8e-9, "OH": 2.6e-9, "water": 2.1e-9},
    onsager={
        ("K", "K"): 7e-11,
        ("OH", "OH"): 1e-10,
        ("water", "water"): 2e-9,
        ("K", "OH"): 1e-12,
        ("K", "water"): 0.0,
        ("OH", "water"): 0.0,
    },
    noise=0.02,
    rdf_rows=400,
    temperature_rows=20,
)
NEUTRAL = ["--charge", "K=0", "--charge", "OH=0", "--charge", "water=0"]


def write(folder, seed=0, **changes):
    synthetic.write_run(folder, dataclasses.replace(SPEC, seed=seed, **changes))
    return folder


def copy_real(name, folder):
    if not RUNS.is_dir():
        pytest.skip("needs ../shared/data (the real runs)")
    folder.mkdir(parents=True)
    for file in (RUNS / name).iterdir():  # plain copies: the shared files are read-only
        shutil.copyfile(file, folder / file.name)
    return folder


# 1. All-zero charges crashed in the charge-displacement fit.


def test_neutral_species_have_a_conductivity_of_exactly_zero(tmp_path):
    state = zorv_pp.analyze([write(tmp_path / "s" / "rep1")], charges={"K": 0, "OH": 0, "water": 0})
    for prop in ("electrical_conductivity", "electrical_conductivity_ne"):
        estimate = state.get(prop)
        assert (estimate.mean, estimate.sem, estimate.ci95, estimate.count) == (0.0, 0.0, (0.0, 0.0), 1)
    with pytest.raises(KeyError):
        state.get("haven_ratio")  # 0 / 0


def test_neutral_species_on_the_command_line(tmp_path, capsys):
    run = write(tmp_path / "s" / "rep1")
    assert cli.main(["analyze", str(run), *NEUTRAL, "--out", str(tmp_path / "out"), "--no-figures"]) == 0
    rows = json.loads((tmp_path / "out" / "results.json").read_text())["rows"]
    assert [r["mean"] for r in rows if r["property"] == "electrical_conductivity"] == [0.0]


@needs_runs
def test_the_neutral_water_methanol_run(tmp_path):
    run = copy_real("water-methanol", tmp_path / "wm")
    assert (
        cli.main(
            [
                "analyze",
                str(run),
                "--charge",
                "met=0",
                "--charge",
                "wat=0",
                "--out",
                str(tmp_path / "o"),
                "--no-figures",
                "--quiet",
            ]
        )
        == 0
    )


# 2. A folder given twice counted as two replicas.


def test_a_folder_given_twice_is_a_usage_error(tmp_path, capsys):
    run = write(tmp_path / "s" / "rep1")
    again = tmp_path / "s" / "." / "rep1"
    assert cli.main(["analyze", str(run), str(again), "--out", str(tmp_path / "out")]) == 2
    err = capsys.readouterr().err
    assert "given twice" in err and str(run.resolve()) in err
    assert not (tmp_path / "out").exists()


def test_a_copy_of_a_run_counts_once(tmp_path, capsys):
    first = write(tmp_path / "s" / "rep1")
    copy = tmp_path / "s" / "rep2"
    shutil.copytree(first, copy)
    state = zorv_pp.analyze([first, copy])
    assert state.runs == (str(first),) and state.get("self_diffusion_pbc", "K").count == 1
    assert state.warnings[str(copy)][-1].code == "duplicate_run"
    assert zorv_pp.analyze([first, first]).get("self_diffusion_pbc", "K").count == 1
    # Through the command line: a warning on standard error and in results.json.
    assert cli.main(["analyze", str(first), str(copy), "--out", str(tmp_path / "out"), "--no-figures"]) == 0
    err = capsys.readouterr().err
    assert "zorv-pp: warning: state " in err and f": {copy}: " in err
    document = json.loads((tmp_path / "out" / "results.json").read_text())
    record = next(r for r in document["runs"] if r["run"] == str(copy))
    assert "duplicate_run" in [w["code"] for w in record["warnings"]]
    assert {r["count"] for r in document["rows"] if r["property"] == "self_diffusion_pbc"} == {1}
    # A true replica still counts.
    other = write(tmp_path / "s" / "rep3", seed=1)
    assert zorv_pp.analyze([first, other]).get("self_diffusion_pbc", "K").count == 2


# 4. The RDF shell depended on the bin width.


def g_of_r(r, r0=2.8, height=3.2):
    """A first peak of ``height`` exactly at r0 (A), a Gaussian rise and a damped oscillation whose
    first minimum lies exactly at r0 + 0.21 r0."""
    sigma, period = 0.07 * r0, 0.42 * r0
    k, lam = 2 * math.pi / period, period / (2 * math.log(1 + 2 * (height - 1)))
    x = np.asarray(r, dtype=float) - r0
    rise = np.where(x < -3.5 * sigma, 0.0, height * np.exp(-((x / sigma) ** 2)))
    with np.errstate(over="ignore"):
        tail = 1 + (height - 1) * np.exp(-x / lam) * (np.cos(k * x) + np.sin(k * x) / (k * lam))
    return np.where(x < 0, rise, tail)


RHO = 3.34e28  # 1/m^3, water's


def exact_coordination(r0=2.8, height=3.2):
    r = np.linspace(r0 - 3.5 * 0.07 * r0, r0 * 1.21, 400_001)
    g = g_of_r(r, r0, height)
    return 4 * math.pi * RHO * float(np.sum((g * r * r)[1:] + (g * r * r)[:-1]) / 2 * (r[1] - r[0])) * 1e-30


@pytest.mark.parametrize("r0, height", [(2.8, 3.2), (2.62, 1.4)])
def test_the_first_shell_is_a_property_of_the_curve_not_of_its_bins(r0, height):
    shells = []
    for bins in (500, 2000, 20000):
        r = (np.arange(bins) + 0.5) * 12.0 / bins  # bin centres over 12 A
        shells.append(first_shell(r, g_of_r(r, r0, height), RHO, 1e-10))
    exact = exact_coordination(r0, height)
    for position, peak, coordination in shells:
        assert position == pytest.approx(r0 * 1e-10, abs=2e-12)  # 0.002 nm
        assert peak == pytest.approx(height, rel=0.01)
        assert coordination == pytest.approx(exact, rel=0.01)
    assert max(s[0] for s in shells) - min(s[0] for s in shells) < 2e-12
    assert max(s[2] for s in shells) / min(s[2] for s in shells) < 1.01


@pytest.mark.parametrize("bins", [500, 2000, 8000])
def test_a_shell_value_is_known_no_better_than_its_grid(bins):
    r = (np.arange(bins) + 0.5) * 12.0 / bins
    step = 12.0 / bins * 1e-10
    shell, floors = shell_with_floors(r, g_of_r(r), RHO, 1e-10)
    assert floors[0] == pytest.approx(step / math.sqrt(12))
    # The height's floor is second order in the step: |g''| step² / (2√80), g'' between the peak's two sides'
    # (about -80/A² after it, -167/A² before).
    assert 75 <= floors[1] / (step * 1e10) ** 2 * 2 * math.sqrt(80) <= 170
    # The coordination number's: 4πρ g r² at the minimum times the step's uniform error.
    minimum = 2.8 * 1.21e-10
    edge = 4 * math.pi * RHO * float(g_of_r([minimum * 1e10])[0]) * minimum**2 * step / math.sqrt(12)
    assert floors[2] == pytest.approx(edge, rel=0.05) and shell == first_shell(r, g_of_r(r), RHO, 1e-10)


def test_noise_between_neighbouring_bins_is_no_shell():
    r = (np.arange(20000) + 0.5) * 12.0 / 20000
    noisy = g_of_r(r) * (1 + 0.03 * np.random.default_rng(0).standard_normal(r.size))
    position, peak, coordination = first_shell(r, noisy, RHO, 1e-10)
    assert position == pytest.approx(2.8e-10, abs=2e-12)
    assert peak == pytest.approx(3.2, rel=0.02) and coordination == pytest.approx(exact_coordination(), rel=0.01)


@needs_runs
@pytest.mark.parametrize("column", ["rdf__wat_wat", "finiterdf__met_wat", "rdf__met_met"])
def test_the_real_rdf_on_finer_bins_gives_the_same_shell(column):
    import _zorv_pp

    table = _zorv_pp.parse_zorv_file(str(RUNS / "water-methanol" / "rdf.dat"))
    r, g = np.array(table["Radius"]), np.array(table[column])
    step = r[1] - r[0]
    shells = [first_shell(r, g, RHO, 1e-10)]
    for factor in (4, 10):  # the same curve, resampled
        fine = (np.arange(len(r) * factor) + 0.5) * step / factor
        shells.append(first_shell(fine, np.interp(fine, r, g), RHO, 1e-10))
    for position, peak, coordination in shells[1:]:
        assert position == pytest.approx(shells[0][0], abs=2e-12)
        assert peak == pytest.approx(shells[0][1], rel=0.01)
        assert coordination == pytest.approx(shells[0][2], rel=0.01)


# 5. A stated density unit that contradicts the data was accepted.


def test_a_stated_density_unit_the_data_contradict_is_a_warning(tmp_path):
    run = write(tmp_path / "run")  # density.dat holds LAMMPS's density, about 1 g/cm3
    loaded = zorv_pp.Run.load(run, density_unit="kg/m3")
    (warning,) = [w for w in loaded.warnings if w.code == "implausible_density"]
    assert warning.file == "density.dat" and "g/cm3" in warning.message
    assert "implausible_density" not in {w.code for w in zorv_pp.Run.load(run, density_unit="g/cm3").warnings}


@needs_runs
def test_the_water_methanol_density_stated_in_g_per_cm3(tmp_path, capsys):
    run = copy_real("water-methanol", tmp_path / "wm")
    assert (
        cli.main(
            ["analyze", str(run), "--density-unit", "g/cm3", "--out", str(tmp_path / "o"), "--no-figures", "--quiet"]
        )
        == 0
    )
    assert "[implausible_density]" in capsys.readouterr().err


def write_data_file(run, masses, counts):
    """A LAMMPS data file of ``counts[type]`` atoms of each type, named by the run's read_data line."""
    lines = ["LAMMPS data file", "", f"{sum(counts.values())} atoms", f"{len(counts)} atom types", "", "Masses", ""]
    lines += [f"{kind} {mass} # a comment" for kind, mass in masses.items()]
    lines += ["", "Atoms # full", ""]
    number = 0
    for kind, count in counts.items():
        for _ in range(count):
            number += 1
            lines.append(f"{number} {number} {kind} 0.0 1.0 2.0 3.0")
    lines += ["", "Velocities", "", "1 0.0 0.0 0.0"]
    (run / "system.data").write_text("\n".join(lines) + "\n")


def test_the_density_is_checked_against_the_runs_own_masses(tmp_path):
    run = write(tmp_path / "run")
    counts = {"1": 20, "2": 20, "3": 500}  # K, OH, water: the log's groups are these types
    total = SPEC.density * SPEC.volume * 1e3 * 6.02214076e23  # g/mol
    water = (total - 20 * 39.0983 - 20 * 17.007) / 500
    write_data_file(run, {"1": 39.0983, "2": 17.007, "3": water}, counts)
    assert "density_mismatch" not in {w.code for w in zorv_pp.Run.load(run).warnings}
    write_data_file(run, {"1": 39.0983, "2": 17.007, "3": 1.05 * water}, counts)
    (warning,) = [w for w in zorv_pp.Run.load(run).warnings if w.code == "density_mismatch"]
    assert "system.data" in warning.message
    # A mass command of the log wins over the data file, as in LAMMPS.
    write_data_file(run, {"1": 39.0983, "2": 17.007, "3": water}, counts)
    log = run / "log.lammps"
    log.write_text(log.read_text().replace("read_data system.data\n", f"read_data system.data\nmass 3 {2 * water}\n"))
    assert "density_mismatch" in {w.code for w in zorv_pp.Run.load(run).warnings}


# 8. A count for one species stopped the log's counts being used.


def test_a_count_for_one_species_adds_to_the_logs(tmp_path, capsys):
    run = write(tmp_path / "s" / "rep1")
    assert dict(zorv_pp.Run.load(run, counts={"K": 20}).counts) == {"K": 20, "OH": 20, "water": 500}
    # A count for a species the tables do not name changes nothing (it once joined the Onsager total).
    stray = zorv_pp.fit_run(zorv_pp.Run.load(run, counts={"eth": 250}))
    assert stray.values == zorv_pp.fit_run(zorv_pp.Run.load(run)).values
    out = str(tmp_path / "out")
    assert cli.main(["analyze", str(run), "--count", "K=20", "--out", out, "--no-figures", "--quiet"]) == 0
    capsys.readouterr()
    assert cli.main(["analyze", str(run), "--count", "eth=250", "--out", out, "--no-figures"]) == 2
    assert "'eth'" in (err := capsys.readouterr().err) and "K, OH, water" in err


# 9. An invalid density unit exited 1.


def test_an_unknown_density_unit_is_a_usage_error(tmp_path, capsys):
    run = write(tmp_path / "s" / "rep1")
    assert cli.main(["analyze", str(run), "--density-unit", "lb/ft3", "--out", str(tmp_path / "out")]) == 2
    err = capsys.readouterr().err
    assert "lb/ft3" in err and "kg/m3" in err and "g/cm3" in err


# 10. An unwritable output folder gave a traceback after the whole analysis.


def test_an_output_folder_that_cannot_be_written_stops_before_the_analysis(tmp_path, capsys, monkeypatch):
    run = write(tmp_path / "s" / "rep1")
    analysed = []
    monkeypatch.setattr(batch, "analyze_states", lambda *args, **kwargs: analysed.append(args))
    (tmp_path / "file").write_text("")
    targets = [tmp_path / "file" / "results", tmp_path / "file"]
    if os.geteuid() != 0:  # root writes anywhere
        (tmp_path / "locked").mkdir(mode=0o500)
        targets.append(tmp_path / "locked")
    for out in targets:
        assert cli.main(["analyze", str(run), "--out", str(out)]) == 2
        err = capsys.readouterr().err
        assert err.startswith(f"zorv-pp: error: cannot write the output folder {out}: ") and err.count("\n") == 1
    assert not analysed


# 11. window_sensitive disagreed with itself.


def test_a_periodic_box_values_fit_flags_are_on_its_corrected_value():
    runs = sorted((ROOT / "examples" / "campaign" / "m2.0_T298").iterdir())
    state = zorv_pp.analyze(runs, charges={"K": 1, "OH": -1, "water": 0})
    fit_flags = {"not_converged", "window_sensitive", "poor_fit", "no_diffusive_regime"}
    for name in ("K", "OH", "water"):
        pbc, corrected = state.get("self_diffusion_pbc", name), state.get("self_diffusion", name)
        assert fit_flags & set(pbc.flags) <= set(corrected.flags), name


# 12. The volume of a run without volume.dat, from its log.

LOG_HEAD = """units lj
Created orthogonal box = (0 0 0) to (10 10 10)
"""
PRODUCTION = """fix f3 all ordern diffusivity 1000 100000 c_positions nb 10 nbe 20 file diffself.dat diffonsag.dat
run 1000
   Step          Temp{extra}
         0          0.7{zero}
       100          0.7{one}
       200          0.7{two}
Loop time of 1.0 on 1 procs for 1000 steps with 500 atoms
"""


@pytest.mark.parametrize(
    "middle, columns, expected",
    [
        ("fix integrate all nvt temp 1 1 1\n", ("", "", "", ""), 1000.0),  # the box it was made with
        ("fix integrate all npt temp 1 1 1 iso 1 1 1\n", ("", "", "", ""), None),  # a barostat moves it
        (
            "fix integrate all npt temp 1 1 1 iso 1 1 1\nunfix integrate\n"  # ...unless it stopped, and the box changed
            "change_box all x final 0 9 y final 0 9 z final 0 9\n  orthogonal box = (0 0 0) to (9 9 9)\n"
            "fix integrate all nve\n",
            ("", "", "", ""),
            729.0,
        ),
        # The mean over the production runs, the first row (where each run starts) left out.
        ("fix integrate all npt temp 1 1 1 iso 1 1 1\n", ("  Volume", "  999", "  1001", "  1003"), 1002.0),
        ("fix integrate all nph iso 1 1 1\n", ("  Lx  Ly  Lz", "  9 9 9", "  10 9 8", "  10 11 12"), 1000.0),
    ],
)
def test_the_volume_of_the_production_box_comes_from_the_log(tmp_path, middle, columns, expected):
    extra, zero, one, two = columns
    log = tmp_path / "log.lammps"
    log.write_text(LOG_HEAD + middle + PRODUCTION.format(extra=extra, zero=zero, one=one, two=two))
    volume = parse_log(log).box_volume()
    assert volume == (None if expected is None else pytest.approx(expected, rel=1e-12))


def test_a_run_without_volume_dat_takes_the_volume_of_its_log(tmp_path):
    run = write(tmp_path / "s" / "rep1")
    (run / "volume.dat").unlink()
    state = zorv_pp.analyze([run])
    assert state.get("volume").mean == pytest.approx(27000e-30, rel=1e-12)  # the log's Volume column
    assert math.isfinite(state.get("self_diffusion", "K").mean)
    assert "no_volume" not in state.get("self_diffusion", "K").flags


@needs_runs
def test_the_lj_run_has_its_volume_and_a_yeh_hummer_d_in_reduced_units():
    state = zorv_pp.analyze([RUNS / "lj"])
    volume = state.get("volume")
    assert volume.mean == pytest.approx(9.2445539**3, rel=1e-6) and volume.unit == "reduced (lj)"
    eta, temperature = state.get("shear_viscosity").mean, state.get("temperature").mean
    correction = YEH_HUMMER_XI * temperature / (6 * math.pi * eta * volume.mean ** (1 / 3))  # k_B = 1
    for name in ("1", "2"):
        corrected = state.get("self_diffusion", name)
        assert corrected.mean == pytest.approx(state.get("self_diffusion_pbc", name).mean + correction, rel=1e-12)
        assert corrected.unit == "reduced (lj)" and "no_volume" not in corrected.flags


# 14. The command line printed only file paths.


def test_the_command_line_prints_every_value_then_where_the_files_went(tmp_path, capsys):
    run = write(tmp_path / "s" / "rep1")
    out = tmp_path / "out"
    assert cli.main(["analyze", str(run), "--out", str(out), "--no-figures", *NEUTRAL]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines[0] == "state rep1: 1 run"  # one run: named after its own folder
    assert lines[1].split()[:5] == ["property", "species", "value", "±", "standard"]
    row = next(line for line in lines if line.split()[:2] == ["self_diffusion", "K"])
    estimate = zorv_pp.analyze([run]).get("self_diffusion", "K")
    assert " ".join(row.split()[2:5]) in str(estimate) and "10⁻⁹ m²/s" in row  # rounded as the report rounds
    results = next(line for line in lines if line.startswith("results: "))
    assert lines.index(row) < lines.index(results) and results.endswith("rows, 1 state)")
    assert "<title>Transport properties of rep1 (1 run folder)</title>" in (out / "report.html").read_text()
    assert cli.main(["analyze", str(run), "--out", str(out), "--no-figures", "--quiet"]) == 0
    assert [line.split(":")[0] for line in capsys.readouterr().out.splitlines()] == ["results", "report"]
