"""The two published run folders read from their logs alone."""
import pathlib

import pytest

import zorv_pp
from zorv_pp.sampling import Sampling

RUNS = pathlib.Path(__file__).resolve().parents[3] / "shared" / "data" / "zorv-runs"
needs_runs = pytest.mark.skipif(not RUNS.is_dir(), reason="needs ../shared/data (the real runs)")


@needs_runs
@pytest.mark.parametrize("folder, units, counts, temperature, diffusion, flux, length", [
    # 1 fs steps: diffusivity every 1000 steps, viscosity sampled at 2 x 5 steps, 10^6 steps.
    ("water-methanol", "real", {"wat": 250, "met": 250}, 298.0, 1000.0, 10.0, 1e6),
    # Reduced time, timestep 0.001: the same settings give times a thousand times shorter;
    # no temperature.dat, so T* comes from the production run's thermo output.
    ("lj", "lj", {"1": 250, "2": 250}, 0.65, 1.0, 0.01, 1000.0),
])
def test_a_real_run_is_read_from_its_log(folder, units, counts, temperature, diffusion, flux, length):
    run = zorv_pp.Run.load(RUNS / folder)
    assert run.units.name == units and dict(run.counts) == counts
    assert run.temperature == pytest.approx(temperature, rel=0.01)
    for kind, interval in (("diffself", diffusion), ("diffonsag", diffusion),
                           ("viscosity", flux), ("tconductivity", flux)):
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
@pytest.mark.parametrize("given, expected", [
    ({"run_length": 5e5}, {"diffself": (1000.0, 5e5), "viscosity": (10.0, 5e5)}),
    ({"sampling": Sampling(2000.0, 10, 4e5)}, {"diffself": (2000.0, 4e5), "viscosity": (2000.0, 4e5)}),
    ({"sampling": {"viscosity": Sampling(10.0, 20, 1e6, 10)}, "run_length": 2e5},
     {"diffself": (1000.0, 2e5), "viscosity": (10.0, 2e5)}),
])
def test_given_sampling_replaces_the_logs(given, expected):
    run = zorv_pp.Run.load(RUNS / "water-methanol", **given)
    assert {k: (run.sampling[k].interval, run.sampling[k].run_length) for k in expected} == expected


@needs_runs
@pytest.mark.parametrize("folder, checks", [
    # A 1 ns run of an equimolar water-methanol mixture at 298 K: values in the usual ranges, every
    # fitted one with an error of its own and an interval that holds its value.
    ("water-methanol", {("self_diffusion_pbc", "wat"): (1e-9, 3e-9), ("self_diffusion_pbc", "met"): (1e-9, 3e-9),
                        ("shear_viscosity", None): (0.5e-3, 2e-3), ("density", None): (870.8, 879.5),
                        ("thermal_conductivity", None): (0.2, 1.0)}),
    ("lj", {("self_diffusion_pbc", "1"): (0.005, 0.1), ("shear_viscosity", None): (1.0, 10.0)}),
])
def test_a_real_run_is_analysed_end_to_end(folder, checks):
    state = zorv_pp.analyze([RUNS / folder])
    for (prop, species), (low, high) in checks.items():
        estimate = state.get(prop, species)
        assert low < estimate.mean < high, (prop, estimate)
        if prop not in ("density",):
            assert 0 < estimate.sem < 0.3 * abs(estimate.mean) and estimate.ci95[0] < estimate.mean < estimate.ci95[1]
    unit = state.get("shear_viscosity").unit
    assert unit == ("reduced (lj)" if folder == "lj" else "Pa s")
