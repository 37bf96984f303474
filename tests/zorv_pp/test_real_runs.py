"""The two published run folders read from their logs alone."""

import math
import pathlib

import pytest

import zorv_pp
from zorv_pp.analysis.own_mean import own_mean_subtracted
from zorv_pp.msdfit import z
from zorv_pp.run.sampling import Sampling

Z95 = z(0.95)

RUNS = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data" / "zorv-runs"
needs_runs = pytest.mark.skipif(not RUNS.is_dir(), reason="needs ../shared/data (the real runs)")


@needs_runs
@pytest.mark.parametrize(
    "folder, units, counts, temperature, diffusion, flux, length",
    [
        # 1 fs steps: diffusivity every 1000 steps, viscosity sampled at 2 x 5 steps, 10^6 steps.
        ("water-methanol", "real", {"wat": 250, "met": 250}, 298.0, 1000.0, 10.0, 1e6),
        # Reduced time, timestep 0.001: the same settings give times a thousand times shorter;
        # no temperature.dat, so T* comes from the production run's thermo output.
        ("lj", "lj", {"1": 250, "2": 250}, 0.65, 1.0, 0.01, 1000.0),
    ],
)
def test_a_real_run_is_read_from_its_log(folder, units, counts, temperature, diffusion, flux, length):
    run = zorv_pp.Run.load(RUNS / folder)
    assert run.units.name == units and dict(run.counts) == counts
    assert run.temperature == pytest.approx(temperature, rel=0.01)
    for kind, interval in (
        ("diffself", diffusion),
        ("diffonsag", diffusion),
        ("viscosity", flux),
        ("tconductivity", flux),
    ):
        sampling = run.sampling[kind]
        assert (sampling.nbe, sampling.blocks) == (20, 10)
        assert sampling.interval == pytest.approx(interval, rel=1e-12)
        assert sampling.run_length == pytest.approx(length, rel=1e-12)
        # The Time column is in the style's time unit: its first lag is one interval.
        assert run.tables[kind]["Time"][0] == pytest.approx(interval, rel=1e-9)
    # Intact tables give no warning; only the density's unit is a judgement.
    assert {w.code for w in run.warnings} <= {"density_unit"}


@needs_runs
def test_water_methanol_density_is_the_block_mean_in_kg_per_m3():
    lines = (RUNS / "water-methanol" / "density.dat").read_text().splitlines()
    blocks = [float(line.split()[1]) for line in lines if line and not line.startswith("#")]
    assert len(blocks) == 5
    run = zorv_pp.Run.load(RUNS / "water-methanol", molar_masses={"wat": 18.015, "met": 32.042})
    assert run.density == pytest.approx(sum(blocks) / len(blocks), rel=5e-3)
    # Mass over volume agrees with the file, so no mismatch is flagged.
    assert "density_mismatch" not in {w.code for w in run.warnings}
    assert run.volume == pytest.approx(23748.1e-30, rel=1e-12)


@needs_runs
@pytest.mark.parametrize(
    "given, expected",
    [
        ({"run_length": 5e5}, {"diffself": (1000.0, 5e5), "viscosity": (10.0, 5e5)}),
        ({"sampling": Sampling(2000.0, 10, 4e5)}, {"diffself": (2000.0, 4e5), "viscosity": (2000.0, 4e5)}),
        (
            {"sampling": {"viscosity": Sampling(10.0, 20, 1e6, 10)}, "run_length": 2e5},
            {"diffself": (1000.0, 2e5), "viscosity": (10.0, 2e5)},
        ),
    ],
)
def test_given_sampling_replaces_the_logs(given, expected):
    run = zorv_pp.Run.load(RUNS / "water-methanol", **given)
    assert {k: (run.sampling[k].interval, run.sampling[k].run_length) for k in expected} == expected


@needs_runs
@pytest.mark.parametrize(
    "folder, checks",
    [
        # A 1 ns run of an equimolar water-methanol mixture at 298 K: values in the usual ranges, every
        # fitted one with an error of its own and an interval that holds its value.
        (
            "water-methanol",
            {
                ("self_diffusion_pbc", "wat"): (1e-9, 3e-9),
                ("self_diffusion_pbc", "met"): (1e-9, 3e-9),
                ("shear_viscosity", None): (0.5e-3, 2e-3),
                ("density", None): (870.8, 879.5),
                ("thermal_conductivity", None): (0.2, 1.0),
            },
        ),
        ("lj", {("self_diffusion_pbc", "1"): (0.005, 0.1), ("shear_viscosity", None): (1.0, 10.0)}),
    ],
)
def test_a_real_run_is_analysed_end_to_end(folder, checks):
    state = zorv_pp.analyze([RUNS / folder])
    for (prop, species), (low, high) in checks.items():
        estimate = state.get(prop, species)
        assert low < estimate.mean < high, (prop, estimate)
        if prop not in ("density",):
            assert 0 < estimate.sem < 0.3 * abs(estimate.mean) and estimate.ci95[0] < estimate.mean < estimate.ci95[1]
    unit = state.get("shear_viscosity").unit
    assert unit == ("reduced (lj)" if folder == "lj" else "Pa s")


@needs_runs
@pytest.mark.parametrize(
    "folder, late, keys",
    [
        # Late starts at 2 % of each run (20 ps; 20 τ in lj), far past the caging both liquids show.
        # Methanol's slope still falls by three of its errors from 16 ps to 40 ps, which the 20 ps fit
        # cannot see: its start moves out to 80 ps and its error doubles; water's is widened by that
        # fall's noise. The Onsager curves wait for their species' 16 ps start and are widened by their own
        # change of slope from there. Every other interval is no wider than the late fit's.
        (
            "water-methanol",
            2e-11,
            {
                ("self_diffusion_pbc", "wat"): 1.5,
                ("self_diffusion_pbc", "met"): 2.5,
                ("onsager", ("met", "met")): 1.3,
                ("onsager", ("wat", "wat")): 1.3,
                ("onsager", ("met", "wat")): 1.3,
            },
        ),
        (
            "lj",
            20.0,
            {
                ("self_diffusion_pbc", "1"): 1.0,
                ("self_diffusion_pbc", "2"): 1.0,
                ("onsager", ("1", "1")): 1.0,
                ("onsager", ("2", "2")): 1.0,
                ("onsager", ("1", "2")): 1.0,
            },
        ),
    ],
)
def test_default_fits_agree_with_late_starts(folder, late, keys):
    # Both MSDs approach their lines from above: a fit from the first row came out 20 % high.
    default = zorv_pp.analyze([RUNS / folder])
    fixed = zorv_pp.analyze([RUNS / folder], window=zorv_pp.Window(start=late))
    for key, wider in keys.items():
        ours, theirs = default.get(*key), fixed.get(*key)
        assert theirs.fit_start[0] == pytest.approx(late, rel=0.3)
        assert abs(ours.mean - theirs.mean) <= Z95 * math.hypot(ours.sem, theirs.sem), key
        assert ours.sem <= wider * theirs.sem, key


@needs_runs
def test_a_fit_differs_from_the_first_difference_of_its_table():
    # The old default took the slope of the first two rows: the value must come from the diffusive range.
    run = zorv_pp.Run.load(RUNS / "water-methanol")
    table = run.tables["diffself"]
    state = zorv_pp.analyze([run])
    for name in ("wat", "met"):
        first = (table[f"MSD__{name}"][1] - table[f"MSD__{name}"][0]) / (table["Time"][1] - table["Time"][0])
        slope = state.get("self_diffusion_pbc", name).mean / run.units.diffusion * run.counts[name]
        assert slope < 0.9 * first


@needs_runs
def test_a_run_cut_short_gets_an_interval_that_says_so(tmp_path):
    # Half the rows of every table: the viscosity's Helfand moment is still bending where the table ends.
    for path in (RUNS / "water-methanol").iterdir():
        text = path.read_text(encoding="utf-8", errors="replace")
        if path.name in ("viscosity.dat", "diffself.dat", "diffonsag.dat", "tconductivity.dat"):
            lines = text.splitlines()
            header = [line for line in lines if line.startswith("#")]
            rows = [line for line in lines if line and not line.startswith("#")]
            text = "\n".join(header + rows[: len(rows) // 2]) + "\n"
        (tmp_path / path.name).write_text(text, encoding="utf-8")
    full, cut = zorv_pp.analyze([RUNS / "water-methanol"]), zorv_pp.analyze([tmp_path])
    for key in (("shear_viscosity", None), ("bulk_viscosity", None)):
        short = cut.get(*key)
        assert "not_converged" in short.flags
        assert short.ci95[0] <= full.get(*key).mean <= short.ci95[1], key


@pytest.mark.parametrize(
    "log, own",
    [
        (None, True),  # the engine's own tables: their bulk moment ends as the bridge
        ("mean pressure: 1.25 (the run's own mean)", True),
        ("mean pressure: 1.25 (given)", False),
        ("units: real", False),
    ],
)
def test_a_bulk_column_is_bridged_when_its_run_took_its_own_mean(tmp_path, log, own):
    if log is not None:
        (tmp_path / "ordern.log").write_text(f"zorv_pp order-n sampling after the run\n{log}\n", encoding="utf-8")
    assert own_mean_subtracted(tmp_path) is own


@needs_runs
@pytest.mark.parametrize("folder", ["water-methanol", "lj"])
def test_an_onsager_diagonal_waits_for_its_species_self_diffusion_start(folder):
    # Three walkers cannot see a bend that hundreds of molecules show; their curve shares its dynamics.
    state = zorv_pp.analyze([RUNS / folder])
    for name in zorv_pp.Run.load(RUNS / folder).counts:
        own = state.get("self_diffusion_pbc", name).fit_start[0]
        assert state.get("onsager", (name, name)).fit_start[0] >= own * (1.0 - 1e-9)
