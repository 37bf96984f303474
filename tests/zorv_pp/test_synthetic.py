import dataclasses
import itertools
import math
import os
import pathlib
import subprocess
import sys
import tomllib

import numpy as np
import pytest

import _zorv_pp
from zorv_pp import synthetic

# Exact SI values of the unit styles: seconds per time unit, pascals per
# pressure unit, joules per energy unit.
AVOGADRO = 6.02214076e23
STYLES = {"real": (1e-15, 101325.0, 4184.0 / AVOGADRO), "metal": (1e-12, 1e5, 1.602176634e-19)}
ANGSTROM = 1e-10
ROOT = pathlib.Path(__file__).resolve().parents[2]


def koh(**changes):
    base = synthetic.RunSpec(
        counts={"K": 36, "OH": 36, "water": 1000},
        self_diffusion={"K": 1.7e-9, "OH": 2.6e-9, "water": 2.1e-9},
        onsager={
            ("K", "K"): 6e-11,
            ("OH", "K"): 5e-12,
            ("K", "water"): -2e-12,
            ("OH", "OH"): 8e-11,
            ("water", "OH"): -3e-12,
            ("water", "water"): 1.9e-9,
        },
        temperature=301.3,
        volume=3.1e-26,
        density=1093.5,
        rdf_pairs={("K", "water"): (2.8e-10, 3.2), ("water", "OH"): (2.62e-10, 1.4)},
    )
    return dataclasses.replace(base, **changes)


def table(folder, name):
    return {k: np.array(v) for k, v in _zorv_pp.parse_zorv_file(str(folder / name)).items()}


@pytest.mark.parametrize("first, last, block", [(1000.0, 1e7, 20), (10.0, 8e6, 25), (0.01, 8000.0, 25), (1.0, 1.0, 20)])
def test_order_n_grid_is_blocks_of_growing_spacing(first, last, block):
    t = synthetic.order_n_times(first, last, block)
    assert t[0] == first and t[-1] <= last
    steps = np.diff(t)
    assert np.all(steps > 0)
    if len(t) > 1:
        # Constant spacing inside a block, `block` times coarser in the next;
        # every full block holds block - 1 new points; nothing fits after the end.
        ratios = steps[1:] / steps[:-1]
        assert np.all(np.isclose(ratios, 1.0) | np.isclose(ratios, block))
        edges = np.flatnonzero(np.isclose(ratios, block)) + 1
        lengths = np.diff(np.concatenate(([0], edges, [len(steps)])))
        assert np.all(lengths[:-1] == block - 1) and lengths[-1] <= block - 1
        assert np.allclose(steps[edges], first * block ** np.arange(1, len(edges) + 1))
        multiples = t / np.concatenate(([first], steps))
        assert np.allclose(multiples, np.round(multiples))
        after = 2.0 * t[-1] if lengths[-1] == block - 1 else t[-1] + steps[-1]
        assert after > last


@pytest.mark.parametrize("units", ["real", "metal"])
def test_files_read_back_with_the_module_readers(tmp_path, units):
    spec = koh(units=units, noise=0.05, temperature_rows=201)
    expected = synthetic.write_run(tmp_path, spec)
    names = {
        "diffself.dat": ["Time", "MSD__K", "MSD__OH", "MSD__water"],
        "diffonsag.dat": [
            "Time",
            "MSD__K_K",
            "MSD__OH_K",
            "MSD__K_water",
            "MSD__OH_OH",
            "MSD__OH_water",
            "MSD__water_water",
        ],
        "viscosity.dat": ["Time"]
        + [f"MSD_{c}" for c in ("xx", "yy", "zz", "xy", "xz", "yz", "off", "all", "bulkvisc")],
        "tconductivity.dat": ["Time", "MSD_x", "MSD_y", "MSD_z", "MSD_all"],
    }
    for name, columns in names.items():
        data = table(tmp_path, name)
        assert list(data) == columns
        assert 50 <= len(data["Time"]) <= 110
        assert np.all(np.diff(data["Time"]) > 0)
    rdf = table(tmp_path, "rdf.dat")
    assert list(rdf) == ["Radius", "rdf__K_water", "finiterdf__K_water", "rdf__water_OH", "finiterdf__water_OH"]
    assert len(rdf["Radius"]) == 2000 and rdf["Radius"][0] == 0.005
    # Block averages scatter about the answer, their mean.
    for name, column, factor, answer in (
        ("volume.dat", "v_volume", ANGSTROM**3, 3.1e-26),
        ("density.dat", "v_density", 1000.0, 1093.5),
    ):
        blocks = np.array(_zorv_pp.parse_thermoprop(str(tmp_path / name))[column])
        assert np.std(blocks) > 0 and np.mean(blocks) * factor == pytest.approx(answer, rel=1e-14)
    temperature = np.array(_zorv_pp.parse_thermoprop(str(tmp_path / "temperature.dat"))["v_temp"])
    assert len(temperature) == 201 and np.std(temperature) > 1.0
    assert math.fsum(temperature) / len(temperature) == pytest.approx(expected["temperature"], rel=1e-14)
    for name, count in spec.counts.items():
        assert _zorv_pp.read_group_count(str(tmp_path / "log.lammps"), name) == count
    assert f"units {units}" in (tmp_path / "log.lammps").read_text().splitlines()


def test_group_counts_of_names_that_prefix_others(tmp_path):
    counts = {"OH": 20, "O": 30, "H2O": 500, "H": 7}
    pairs = itertools.combinations_with_replacement(counts, 2)
    spec = synthetic.RunSpec(
        counts=counts, self_diffusion=dict.fromkeys(counts, 2e-9), onsager=dict.fromkeys(pairs, 1e-10)
    )
    synthetic.write_run(tmp_path, spec)
    assert {n: _zorv_pp.read_group_count(str(tmp_path / "log.lammps"), n) for n in counts} == counts


@pytest.mark.parametrize("rows", [None, 2000])
@pytest.mark.parametrize("units", ["real", "metal"])
def test_straight_lines_give_back_the_inputs_exactly(tmp_path, units, rows):
    spec = koh(units=units, ballistic=False, rows=rows)
    expected = synthetic.write_run(tmp_path, spec, log=False)
    assert not (tmp_path / "log.lammps").exists()
    second, pascal, joule = STYLES[units]
    diffusivity = ANGSTROM**2 / second
    total = sum(spec.counts.values())

    def slope(name, column, bridge=False):
        data = table(tmp_path, name)
        if rows is not None:
            assert len(data["Time"]) == rows
        t, msd = data["Time"], data[column]
        if bridge and rows is None:  # less the 10 ns run's own mean pressure, as the engine writes it
            msd = msd / (1.0 - t * second / 1e-8)
        return (msd[-1] - msd[0]) / (t[-1] - t[0])

    got = {
        ("self_diffusion", n): slope("diffself.dat", f"MSD__{n}") / spec.counts[n] * diffusivity for n in spec.counts
    }
    got[("onsager", ("K", "OH"))] = slope("diffonsag.dat", "MSD__OH_K") / total * diffusivity
    got[("onsager", ("water", "water"))] = slope("diffonsag.dat", "MSD__water_water") / total * diffusivity
    for column in ("MSD_xy", "MSD_off", "MSD_all"):
        got[("shear_viscosity", column)] = slope("viscosity.dat", column) / spec.temperature * pascal * second
    got[("bulk_viscosity", None)] = slope("viscosity.dat", "MSD_bulkvisc", True) / spec.temperature * pascal * second
    for column in ("MSD_x", "MSD_all"):
        got[("thermal_conductivity", column)] = (
            slope("tconductivity.dat", column) / spec.temperature**2 * joule / (ANGSTROM * second)
        )
    for (prop, key), value in got.items():
        answer = expected[prop][key] if prop in ("self_diffusion", "onsager") else expected[prop]
        assert value == pytest.approx(answer, rel=1e-12, abs=0.0), (prop, key)


def test_ballistic_start_and_noise_that_grows_with_lag_time(tmp_path):
    synthetic.write_run(tmp_path / "clean", koh())
    synthetic.write_run(tmp_path / "noisy", koh(noise=0.04, seed=7))
    clean, noisy = table(tmp_path / "clean", "viscosity.dat"), table(tmp_path / "noisy", "viscosity.dat")
    t = clean["Time"]
    loglog = np.diff(np.log(clean["MSD_xx"])) / np.diff(np.log(t))
    assert loglog[0] > 1.9 and abs(loglog[-1] - 1.0) < 1e-3
    ratios = np.array([noisy[c] / clean[c] - 1.0 for c in ("MSD_xx", "MSD_yy", "MSD_zz", "MSD_xy", "MSD_xz", "MSD_yz")])
    assert np.abs(ratios[:, :10]).max() < 0.004
    assert 0.01 < np.sqrt(np.mean(ratios[:, -1] ** 2)) < 0.1


def test_rdf_answers_come_from_the_finite_size_column(tmp_path):
    spec = koh()
    expected = synthetic.write_run(tmp_path, spec)["rdf"]
    rdf = table(tmp_path, "rdf.dat")
    r = rdf["Radius"]
    for (a, b), answer in expected.items():
        g, raw = rdf[f"finiterdf__{a}_{b}"], rdf[f"rdf__{a}_{b}"]
        peak = _zorv_pp.local_maximum_finder(g.tolist(), 0, 1)
        assert (answer["peak_position"], answer["peak_height"]) == (r[peak] * ANGSTROM, g[peak])
        assert abs(raw[_zorv_pp.local_maximum_finder(raw.tolist(), 0, 1)] / g[peak] - 1.0) > 1e-3
        low = int(np.argmin(np.abs(r * ANGSTROM - answer["first_minimum"])))
        assert low > peak and np.all(np.diff(g[peak : low + 1]) < 0) and g[low + 1] > g[low]
        assert abs(g[-1] - 1.0) < 1e-6 and abs(raw[-1] - 1.0) > 1e-3
        # A plain trapezoid over the written grid agrees to its own accuracy.
        rho = spec.counts[b] / (spec.volume / ANGSTROM**3)
        f = g[: low + 1] * r[: low + 1] ** 2
        shell = 4.0 * math.pi * rho * np.sum((f[1:] + f[:-1]) / 2.0 * np.diff(r[: low + 1]))
        assert shell == pytest.approx(answer["coordination_number"], rel=2e-5)


@pytest.mark.parametrize(
    "change",
    [
        {"onsager": {("K", "K"): 1e-11}},
        {"onsager": {**koh().onsager, ("OH", "water"): 1e-12}},
        {"self_diffusion": {"K": 1e-9}},
        {"counts": {"K": 36, "OH": 0, "water": 1000}},
        {"units": "lj"},
        {"rdf_pairs": {("K", "Cl"): (3e-10, 2.0)}},
    ],
)
def test_inconsistent_specs_are_refused(change):
    with pytest.raises(ValueError):
        koh(**change)


def test_campaign_file_names_every_replica(tmp_path):
    states = [
        synthetic.CampaignState("m1.0_T298", koh(noise=0.02), {"molality": 1.0}),
        synthetic.CampaignState("m3.0_T298", koh(noise=0.02, seed=50), {"molality": 3.0}),
    ]
    species = {
        "K": synthetic.Species(1, 39.0983),
        "OH": synthetic.Species(-1, 17.007),
        "water": synthetic.Species(0, 18.015),
    }
    expected = synthetic.write_campaign(tmp_path, states=states, replicas=2, species=species, window={"margin": 0.1})
    campaign = tomllib.loads((tmp_path / "campaign.toml").read_text())
    assert campaign["units"] == "real" and campaign["window"] == {"margin": 0.1}
    assert campaign["species"]["OH"] == {"group": "OH", "charge": -1, "molar_mass": 17.007}
    assert [s["metadata"]["molality"] for s in campaign["state"]] == [1.0, 3.0]
    for state in campaign["state"]:
        runs = sorted(p for g in state["runs"] for p in tmp_path.glob(g))
        assert [p.name for p in runs] == ["rep1", "rep2"] and state["temperature"] == 301.3
        assert expected[state["name"]]["self_diffusion"]["OH"] == 2.6e-9
        first, second = (table(p, "diffself.dat")["MSD__OH"] for p in runs)
        assert not np.array_equal(first, second)


@pytest.mark.slow
def test_bundled_campaign_is_what_the_script_writes(tmp_path):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    subprocess.run([sys.executable, str(ROOT / "examples" / "make_campaign.py"), str(tmp_path)], check=True, env=env)
    bundled = ROOT / "examples" / "campaign"
    written = sorted(p.relative_to(tmp_path) for p in tmp_path.rglob("*") if p.is_file())
    assert written == sorted(p.relative_to(bundled) for p in bundled.rglob("*") if p.is_file())
    assert (tmp_path / "campaign.toml").read_text() == (bundled / "campaign.toml").read_text()
    for path in written:
        if path.suffix == ".dat" and path.name not in ("volume.dat", "density.dat", "temperature.dat"):
            new, old = table(tmp_path, path), table(bundled, path)
            assert list(new) == list(old)
            # rdf.dat holds ten digits: a last-digit flip from another libm is fine.
            rtol = 1e-9 if path.name == "rdf.dat" else 1e-12
            for column in new:
                np.testing.assert_allclose(new[column], old[column], rtol=rtol)
