"""A run folder sampled after the run (an ordern.log beside the tables) reads like the LAMMPS folder of the same
tables, and every line of its log that cannot be read is named."""

import math

import pytest

import zorv_pp
from zorv_pp import synthetic
from zorv_pp.run.sampling import Sampling

PAIRS = {("Na", "Na"): 5e-11, ("SOL", "SOL"): 2e-9, ("Na", "SOL"): -1e-12}
SPEC = synthetic.RunSpec({"Na": 20, "SOL": 500}, {"Na": 1.3e-9, "SOL": 2.3e-9}, PAIRS, rdf_rows=500)


def ordern_log(run, **lines):
    """The ordern.log stating what ``run`` (read through its LAMMPS log) holds; ``lines`` replace keys."""
    keys = {
        "source": "traj.trr, topol.tpr",
        "units": run.units.name,
        "engine units": "GROMACS nm, ps, bar, kJ/mol, converted to real",
        "species": ", ".join(f"{name} {count}" for name, count in run.counts.items()),
        "frames": "5000 (every 2nd of 10000)",
        **{
            f"sampling {kind}": f"interval {float(s.interval)!r} nbe {s.nbe} blocks {s.blocks} run_length {float(s.run_length)!r}"
            for kind, s in run.sampling.items()
        },
        "mean pressure": "1.0 (the run's own mean)",
        "temperature": "301.5 (given)",
        "volume": "27000.0 (box of the last frame)",
        "colour": "blue",  # a key of a later writer
        **lines,
    }
    return "zorv_pp order-n sampling after the run\n" + "".join(f"{k}: {v}\n" for k, v in keys.items() if v)


@pytest.fixture(scope="module")
def pair(tmp_path_factory):
    """A LAMMPS folder and the same tables as a folder sampled after the run (no log.lammps)."""
    root = tmp_path_factory.mktemp("sources")
    synthetic.write_run(root / "lammps", SPEC)
    synthetic.write_run(root / "after", SPEC, log=False)
    lammps = zorv_pp.Run.load(root / "lammps")
    (root / "after" / "ordern.log").write_text(ordern_log(lammps))
    return lammps, root / "after"


def test_a_folder_sampled_after_the_run_reads_like_its_lammps_twin(pair):
    lammps, after = pair
    run = zorv_pp.Run.load(after)
    assert (run.units, run.counts, run.sampling) == (lammps.units, lammps.counts, lammps.sampling)
    assert (run.temperature, run.volume) == (lammps.temperature, lammps.volume)  # the series win over the log
    fitted, twin = zorv_pp.fit_run(run), zorv_pp.fit_run(lammps)
    for key in (("self_diffusion_pbc", "Na"), ("shear_viscosity", None)):
        assert math.isfinite(twin.values[key]) and fitted.values[key] == twin.values[key]


def test_the_log_states_the_means_the_folder_lacks_and_options_override_it(pair, tmp_path):
    lammps, after = pair
    for file in after.iterdir():
        if file.name not in ("temperature.dat", "volume.dat"):
            (tmp_path / file.name).write_bytes(file.read_bytes())
    run = zorv_pp.Run.load(tmp_path)
    assert run.temperature == 301.5 and run.volume == pytest.approx(27000.0 * 1e-30, rel=1e-12)
    given = Sampling(lammps.sampling["diffself"].interval, 10, 5e6)
    run = zorv_pp.Run.load(tmp_path, units="metal", counts={"Na": 7}, temperature=280.0, sampling={"diffself": given})
    assert (run.units.name, run.counts, run.temperature) == ("metal", {"Na": 7, "SOL": 500}, 280.0)
    assert run.sampling["diffself"] == given and run.sampling["viscosity"] == lammps.sampling["viscosity"]
    assert zorv_pp.Run.load(tmp_path, run_length=123.0).sampling["viscosity"].run_length == 123.0


@pytest.mark.parametrize(
    "change, line, expected",
    [
        ({"units": "electron"}, 3, "one of real, metal, lj"),
        ({"species": "Na 20, SOL"}, 5, "NAME COUNT"),
        ({"species": "Na 20, Na 3"}, 5, "each name once"),
        ({"frames": "5000 of 10000"}, 6, "every Nth"),
        ({"sampling diffself": "interval 10 nbe 20 blocks 10"}, 7, "run_length T"),
        ({"sampling diffself": "interval 10 nbe 1 blocks 10 run_length 100"}, 7, "NBE at least 2"),
        ({"sampling msd": "interval 10 nbe 20 blocks 10 run_length 100"}, 15, "KIND one of"),
        ({"temperature": "-3 (given)"}, 12, "positive mean"),
        ({"mean pressure": "high"}, 11, "mean pressure: VALUE"),
    ],
)
def test_a_malformed_log_line_is_named(pair, tmp_path, change, line, expected):
    lammps, after = pair
    for file in after.iterdir():
        (tmp_path / file.name).write_bytes(file.read_bytes())
    (tmp_path / "ordern.log").write_text(ordern_log(lammps, **change))
    with pytest.raises(zorv_pp.RunError, match=f"line {line}: expected .*{expected}") as caught:
        zorv_pp.Run.load(tmp_path)
    assert caught.value.file == "ordern.log"


def test_a_species_the_log_does_not_count_is_named(pair, tmp_path):
    lammps, after = pair
    for file in after.iterdir():
        (tmp_path / file.name).write_bytes(file.read_bytes())
    (tmp_path / "ordern.log").write_text(ordern_log(lammps, species="Na 20"))
    with pytest.raises(zorv_pp.RunError, match="counts no 'SOL'") as caught:
        zorv_pp.Run.load(tmp_path)
    assert (
        tuple(caught.value.missing_species) == ("SOL",)
        and zorv_pp.Run.load(tmp_path, counts={"SOL": 3}).counts["SOL"] == 3
    )
