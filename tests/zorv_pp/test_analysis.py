"""Known answers recovered from synthetic run folders, in SI units."""

import dataclasses
import math
import shutil

import pytest

import zorv_pp
from zorv_pp import synthetic
from zorv_pp.campaign.batch import StateJob, analyze_states

# Exact SI constants, written out independently of the package.
K_B, E, N_A = 1.380649e-23, 1.602176634e-19, 6.02214076e23
COUNTS = {"K": 40, "OH": 40, "water": 1000}
TOTAL = sum(COUNTS.values())
D = {"K": 1.8e-9, "OH": 2.6e-9, "water": 2.1e-9}
ONSAGER = {
    ("K", "K"): 6.5e-11,
    ("OH", "OH"): 9.1e-11,
    ("water", "water"): 2.0e-9,
    ("K", "OH"): 2e-12,
    ("K", "water"): -1e-12,
    ("OH", "water"): -1.5e-12,
}
CHARGES = {"K": 1, "OH": -1, "water": 0}


def spec(**changes):
    return synthetic.RunSpec(counts=COUNTS, self_diffusion=D, onsager=ONSAGER, **changes)


@pytest.fixture(scope="module", params=["real", "metal"])
def exact_state(request, tmp_path_factory):
    """Three replicas of noise-free straight lines, at three temperatures."""
    root = tmp_path_factory.mktemp(request.param)
    specs = [
        spec(units=request.param, ballistic=False, temperature=t, volume=v, seed=k)
        for k, (t, v) in enumerate([(298.15, 2.7e-26), (310.0, 2.8e-26), (330.0, 2.9e-26)])
    ]
    answers = [synthetic.write_run(root / f"rep{k}", s) for k, s in enumerate(specs)]
    state = zorv_pp.analyze(sorted(root.iterdir()), charges=CHARGES)
    return state, specs, answers


@pytest.mark.parametrize(
    "prop, species, expected",
    [
        ("self_diffusion_pbc", "K", lambda s: s.self_diffusion["K"]),
        ("self_diffusion_pbc", "water", lambda s: s.self_diffusion["water"]),
        ("onsager", ("water", "OH"), lambda s: s.onsager[("OH", "water")]),
        ("onsager", ("K", "K"), lambda s: s.onsager[("K", "K")]),
        ("shear_viscosity", None, lambda s: s.shear_viscosity),
        ("shear_viscosity_off", None, lambda s: s.shear_viscosity),
        ("bulk_viscosity", None, lambda s: s.bulk_viscosity),
        ("thermal_conductivity", None, lambda s: s.thermal_conductivity),
        ("temperature", None, lambda s: s.temperature),
        ("volume", None, lambda s: s.volume),
        ("density", None, lambda s: s.density),
    ],
)
def test_straight_lines_give_the_coefficients_exactly(exact_state, prop, species, expected):
    state, specs, _ = exact_state
    estimate = state.get(prop, species)
    assert estimate.count == 3
    assert estimate.per_run == pytest.approx([expected(s) for s in specs], rel=1e-12)


def test_derived_properties_follow_their_formulas(exact_state):
    state, specs, _ = exact_state
    eta = state.get("shear_viscosity").mean  # the runs' inverse-variance weighted value
    for k, s in enumerate(specs):
        box = s.volume ** (1 / 3)
        correction = 2.837297 * K_B * s.temperature / (6 * math.pi * eta * box)
        d_inf = {name: D[name] + correction for name in D}
        assert state.get("self_diffusion", "OH").per_run[k] == pytest.approx(d_inf["OH"], rel=1e-12)
        lam = lambda a, b: ONSAGER.get((a, b), ONSAGER.get((b, a)))  # noqa: E731
        ordered = sum(CHARGES[a] * CHARGES[b] * lam(a, b) for a in D for b in D)
        sigma = E * E * TOTAL / (s.volume * K_B * s.temperature) * ordered
        sigma_ne = E * E / (s.volume * K_B * s.temperature) * sum(COUNTS[n] * CHARGES[n] ** 2 * d_inf[n] for n in D)
        assert state.get("electrical_conductivity").per_run[k] == pytest.approx(sigma, rel=1e-12)
        assert state.get("electrical_conductivity_ne").per_run[k] == pytest.approx(sigma_ne, rel=1e-12)


def test_rdf_first_shell(exact_state):
    state, _, answers = exact_state
    for k, run_answers in enumerate(answers):
        for (first, second), shell in run_answers["rdf"].items():
            # Pairs are looked up in either order. The answers are the grid's highest point; the shell
            # search fits the curve between grid points, so it agrees within the grid's 0.01 A.
            assert state.get("rdf_peak_position", (second, first)).per_run[k] == pytest.approx(
                shell["peak_position"], abs=1e-12
            )
            assert state.get("rdf_peak_height", (first, second)).per_run[k] == pytest.approx(
                shell["peak_height"], rel=2e-3
            )
            # The answer integrates up to the grid's lowest point, within 0.005 A of the curve's minimum.
            assert state.get("coordination_number", (first, second)).per_run[k] == pytest.approx(
                shell["coordination_number"], rel=5e-3
            )


def test_maxwell_stefan_of_a_binary_mixture(tmp_path):
    counts, d = {"A": 100, "B": 300}, {"A": 2e-9, "B": 1e-9}
    onsager = {("A", "A"): 4e-10, ("B", "B"): 6e-10, ("A", "B"): 5e-11}
    synthetic.write_run(
        tmp_path / "r",
        synthetic.RunSpec(
            counts=counts, self_diffusion=d, onsager=onsager, ballistic=False, rdf_pairs={("A", "B"): (3e-10, 2.0)}
        ),
    )
    state = zorv_pp.analyze([tmp_path / "r"])
    x1, x2 = 0.25, 0.75
    expected = (x2 / x1) * 4e-10 + (x1 / x2) * 6e-10 - 2 * 5e-11
    assert state.get("maxwell_stefan", ("B", "A")).mean == pytest.approx(expected, rel=1e-12)


@pytest.mark.parametrize("seed", range(4))
def test_noisy_realistic_curves_are_recovered_within_their_noise(tmp_path, seed):
    # Ballistic start, 5 % noise at the longest lag: the default windows must
    # land on the diffusive stretch.
    answers = synthetic.write_run(tmp_path, spec(noise=0.05, seed=seed))
    values = zorv_pp.fit_run(zorv_pp.Run.load(tmp_path)).values
    for name, d in answers["self_diffusion"].items():
        assert values[("self_diffusion_pbc", name)] == pytest.approx(d, rel=0.08)
    for prop in ("shear_viscosity", "bulk_viscosity", "thermal_conductivity"):
        assert values[(prop, None)] == pytest.approx(answers[prop], rel=0.08)


def test_a_run_fitted_without_its_curves_gives_the_same_numbers(tmp_path):
    synthetic.write_run(tmp_path, spec(noise=0.05, seed=1))
    run = zorv_pp.Run.load(tmp_path)
    full, bare = zorv_pp.fit_run(run), zorv_pp.fit_run(run, curves=False)
    assert full.curves and not bare.curves
    assert repr(dataclasses.replace(full, curves=[])) == repr(bare)


def test_units_convert_with_exact_constants():
    assert zorv_pp.REAL.viscosity == pytest.approx(1.01325e-10, rel=1e-15)
    assert zorv_pp.REAL.thermal_conductivity == pytest.approx(4184 / N_A / 1e-25, rel=1e-15)
    assert zorv_pp.METAL.thermal_conductivity == pytest.approx(E / 1e-22, rel=1e-15)
    assert zorv_pp.METAL.diffusion == pytest.approx(1e-8, rel=1e-15)


def test_a_run_without_a_window_lowers_the_count(tmp_path):
    synthetic.write_run(tmp_path / "a", spec(ballistic=False))
    # Another replica, not a copy of the first (a copy counts once).
    synthetic.write_run(tmp_path / "b", spec(ballistic=False, temperature=310.0))
    runs = [
        zorv_pp.fit_run(zorv_pp.Run.load(tmp_path / "a")),
        zorv_pp.fit_run(zorv_pp.Run.load(tmp_path / "b"), zorv_pp.Window(method="window", max_error=0.0)),
    ]
    estimate = zorv_pp.analyze(runs).get("self_diffusion_pbc", "K")
    assert (estimate.count, estimate.mean, estimate.std) == (1, pytest.approx(D["K"], rel=1e-12), 0.0)
    assert math.isnan(estimate.per_run[1]) and estimate.sem == estimate.per_run_sem[0] > 0.0
    assert "no_diffusive_regime" in estimate.flags


def test_estimate_statistics():
    estimate = zorv_pp.Estimate.of([1.0, 2.0, math.nan, 3.0], "K")
    assert (estimate.mean, estimate.count) == (2.0, 3)
    assert estimate.std == pytest.approx(math.sqrt(2 / 3))
    assert estimate.sem == pytest.approx(1 / math.sqrt(3))  # sample std / sqrt(n)


def _break(folder, what):
    if what == "missing viscosity":
        (folder / "viscosity.dat").unlink()
    elif what == "corrupt":
        (folder / "diffself.dat").write_bytes(b"#Time MSD__K\n1 \xff\n")
    elif what == "zero count":
        log = folder / "log.lammps"
        log.write_text(log.read_text().replace("40 atoms in group K", "0 atoms in group K"))
    elif what == "unknown units":
        log = folder / "log.lammps"
        log.write_text(log.read_text().replace("units real", "units electron"))
    elif what == "no log":
        (folder / "log.lammps").unlink()
    elif what == "negative volume":
        (folder / "volume.dat").write_text("# v\n# TimeStep v_volume\n0 -27000\n")
    elif what == "empty temperature":
        (folder / "temperature.dat").write_text("# t\n# TimeStep v_temp\n")


@pytest.mark.parametrize(
    "what, file, message",
    [
        ("corrupt", "diffself.dat", "UTF-8"),
        ("zero count", "log.lammps", "species 'K' has a molecule count of 0"),
        ("unknown units", "log.lammps", "unsupported LAMMPS unit style 'electron'"),
        ("no log", None, "no unit style"),
        ("empty temperature", "temperature.dat", "no temperature values"),
        ("negative volume", "volume.dat", "the volume must be a positive number"),
    ],
)
def test_bad_runs_name_the_file_and_the_reason(tmp_path, what, file, message):
    synthetic.write_run(tmp_path / "run", spec(ballistic=False))
    _break(tmp_path / "run", what)
    with pytest.raises(zorv_pp.RunError, match=message) as caught:
        zorv_pp.Run.load(tmp_path / "run")
    assert (caught.value.file, caught.value.run) == (file, str(tmp_path / "run"))


def test_missing_table_leaves_its_properties_absent(tmp_path):
    synthetic.write_run(tmp_path / "run", spec(ballistic=False))
    _break(tmp_path / "run", "missing viscosity")
    state = zorv_pp.analyze([tmp_path / "run"], charges=CHARGES, viscosity=1e-3)
    with pytest.raises(KeyError, match="no shear_viscosity"):
        state.get("shear_viscosity")
    assert state.get("self_diffusion", "K").count == 1  # the given viscosity stands in
    with pytest.raises(ValueError, match="unknown property"):
        state.get("viscosity")


def test_species_missing_from_a_replica_is_an_error(tmp_path):
    synthetic.write_run(tmp_path / "a", spec(ballistic=False))
    three = dict(COUNTS, Cl=5)
    synthetic.write_run(
        tmp_path / "b",
        synthetic.RunSpec(
            counts=three,
            self_diffusion=dict(D, Cl=1e-9),
            ballistic=False,
            onsager={**ONSAGER, ("Cl", "Cl"): 1e-11, ("Cl", "K"): 0.0, ("Cl", "OH"): 0.0, ("Cl", "water"): 0.0},
        ),
    )
    with pytest.raises(zorv_pp.RunError, match="species Cl of self_diffusion_pbc is missing") as caught:
        zorv_pp.analyze([tmp_path / "a", tmp_path / "b"])
    assert caught.value.run == str(tmp_path / "a")


def test_rows_and_frame(exact_state):
    state, _, _ = exact_state
    rows = state.rows()
    assert {r["species"] for r in rows if r["property"] == "onsager"} >= {"K-OH", "OH-water"}
    assert all(len(r["per_run"]) == 3 for r in rows)
    pytest.importorskip("pandas")
    assert len(state.to_frame()) == len(rows)


def test_an_rdf_species_without_a_count_only_loses_its_coordination_number(tmp_path):
    synthetic.write_run(tmp_path / "run", spec(ballistic=False))
    rdf = tmp_path / "run" / "rdf.dat"
    rdf.write_text(rdf.read_text().replace("_OH_water", "_OH_Ow"))
    state = zorv_pp.analyze([tmp_path / "run"])
    assert state.get("rdf_peak_height", ("Ow", "OH")).count == 1
    assert state.get("coordination_number", ("OH", "Ow")).count == 0
    assert state.get("coordination_number", ("K", "OH")).count == 1


CORRUPTIONS = [
    b"",
    b"\xff\xfe\x00",
    b"#Time MSD__K\n",
    b"a b c\nd e f\n",
    b"#Time MSD__K\n1 2\n",
    b"#Time MSD__K MSD__OH MSD__water\n1 nan nan nan\n2 inf -inf nan\n",
    b"#Time MSD__K MSD__OH MSD__water\n1 -1 -2 -3\n2 -2 -4 -6\n3 -3 -6 -9\n",
    b"Radius rdf__K_OH\n0 0\n0 0\n",
    b"#Time MSD__K MSD__K\n1 1 1\n",
]


def test_no_corrupt_file_stops_a_campaign(tmp_path):
    # Every file of a run, replaced by every kind of damage: each run is either
    # analysed or reported as a failure; nothing escapes.
    synthetic.write_run(tmp_path / "good", spec(rdf_rows=500, temperature_rows=10))
    jobs = []
    for file in sorted(p.name for p in (tmp_path / "good").iterdir()):
        for k, data in enumerate(CORRUPTIONS):
            run = tmp_path / f"{file}-{k}"
            shutil.copytree(tmp_path / "good", run)
            (run / file).write_bytes(data)
            jobs.append(StateJob(run.name, [str(run)], charges=CHARGES))
    result = analyze_states(jobs, progress=False)
    analysed, failed = {s.name for s in result.states}, {f.state for f in result.failures}
    assert analysed | failed == {job.name for job in jobs} and not analysed & failed
    # Each failed run names the file at fault.
    assert {f.state for f in result.failures if f.file == f.state.rsplit("-", 1)[0]} == failed
