import math

import numpy as np
import pytest

import _zorv_pp
import zorv_pp
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import OrderNRunSpec, expected_msd, ordern_grid, simulate_table, write_ordern_run
from zorv_pp.synthetic.ordern import table as ordern_table

# The diffusion table of the real 1 ns water-methanol run: every 1000 fs, nbe 20.
WATER_METHANOL_TIMES = [1000.0 * k for k in range(1, 21)] + [20000.0 * k for k in range(1, 21)] + [400000.0, 800000.0]


@pytest.mark.parametrize(
    "sampling",
    [
        Sampling(1000.0, 20, 1e6, 10),
        Sampling(10.0, 20, 1e6, 10),
        Sampling(1.0, 10, 1000.0),  # T/Δ0 a power of nbe
        Sampling(0.5, 5, 40.0, 2),  # the blocks run out before the origins
        Sampling(2.0, 8, 1234.0, 10),
    ],
)
def test_rows_follow_the_order_n_blocks(sampling):
    grid = ordern_grid(sampling)
    if sampling.interval == 1000.0:
        assert grid.time.tolist() == WATER_METHANOL_TIMES
    if sampling.interval == 10.0:
        assert grid.time.size == 72 and grid.time[-1] == 960000.0  # as the real viscosity table
    assert np.all(grid.origins >= 1) and np.all(np.diff(grid.time) >= 0)
    for t, b, k, m in zip(grid.time, grid.block, grid.element, grid.origins):
        assert m == sampling.origins(int(b), int(k))
        assert t == pytest.approx(k * sampling.interval * sampling.nbe**b, rel=1e-12)
    last = np.flatnonzero(np.diff(grid.block)) + 1
    # Each new block starts by repeating the lag that ended the one before.
    assert np.array_equal(grid.time[last], grid.time[last - 1])
    assert np.all(grid.element[last - 1] == sampling.nbe)
    # No row is missing: the next lag after the grid's end has no origin or no block.
    b, k = int(grid.block[-1]), int(grid.element[-1])
    more_blocks = sampling.blocks is None or b + 1 < sampling.blocks
    assert (k < sampling.nbe and sampling.origins(b, k + 1) < 1) or (
        k == sampling.nbe and (not more_blocks or sampling.origins(b + 1, 1) < 1)
    )


@pytest.mark.parametrize(
    "interval, tau, share, walkers, samples",
    [
        (10.0, 50.0, 0.0, 2, 1500),  # sampled well inside the ballistic bend
        (1000.0, 200.0, 0.0, 3, 1500),  # sampled far beyond it
        (10.0, 30.0, 0.25, 1, 1500),  # with a slow second relaxation
        (1.0, 20.0, 0.0, 2, 30),  # a run so short that every origin sees the walkers' start
    ],
)
def test_rows_average_to_the_ou_msd(interval, tau, share, walkers, samples):
    sampling = Sampling(interval, 10, samples * interval)
    time, msd, answer = simulate_table(
        sampling,
        walkers,
        0.7,
        tau,
        np.random.default_rng(5),
        slow_share=share,
        slow_factor=15.0,
        scale=3.0,
        realisations=600,
    )
    assert answer == pytest.approx(2.1)
    expected = 3.0 * expected_msd(time, 0.7, tau, share, 15.0)
    z = (msd.mean(axis=0) - expected) / (msd.std(axis=0, ddof=1) / math.sqrt(len(msd)))
    assert np.abs(z).max() < 4.5, z


def test_row_variance_falls_with_walkers_and_is_exact_with_one_origin():
    sampling = Sampling(1.0, 10, 100.0)  # 100 = nbe²: the last rows have one origin
    grid = ordern_grid(sampling)
    variances = {}
    for walkers in (1, 4):
        time, msd, _ = simulate_table(sampling, walkers, 1.0, 2.0, np.random.default_rng(walkers), realisations=2000)
        single = np.flatnonzero(grid.origins == 1)
        # Two single-origin rows of the same lag are one estimate written twice.
        assert np.array_equal(msd[:, single[0]], msd[:, single[1]])
        # Δx²/2 of W Gaussian walkers: variance 2·E²/W.
        exact = 2.0 * expected_msd(time[single], 1.0, 2.0) ** 2 / walkers
        assert msd[:, single].var(axis=0, ddof=1) == pytest.approx(exact, rel=0.3)
        variances[walkers] = msd.var(axis=0, ddof=1)
    assert variances[1] / variances[4] == pytest.approx(np.full(grid.time.size, 4.0), rel=0.3)


@pytest.mark.parametrize("chunk", [None, 1000])  # 1000: the path that draws a copy's walkers in pieces
def test_a_shared_flow_keeps_the_slope_and_widens_its_scatter(monkeypatch, chunk):
    if chunk:
        monkeypatch.setattr(ordern_table, "_CHUNK", chunk)
    sampling, molecules = Sampling(1.0, 10, 200.0), 16
    slopes = {}
    for shared in (0.0, 0.5):
        time, msd, _ = simulate_table(
            sampling, 3 * molecules, 1.0, 1.0, np.random.default_rng(7), realisations=300, shared=shared
        )
        late = time >= 20.0
        slopes[shared] = np.polyfit(time[late], msd[:, late].T, 1)[0]
        assert slopes[shared].mean() == pytest.approx(1.0, abs=4.0 * slopes[shared].std() / math.sqrt(300))
    # Two molecules' squared displacements covary by 2(s·σ²)²: (1 + (N − 1)s²) times the independent scatter.
    assert slopes[0.5].var() / slopes[0.0].var() == pytest.approx(1.0 + (molecules - 1) * 0.25, rel=0.3)


def small_salt(seed, **changes):
    base = dict(
        counts={"Na": 6, "Cl": 6, "water": 20},
        self_diffusion={"Na": 1.3e-9, "Cl": 2.0e-9, "water": 2.3e-9},
        onsager={
            ("Na", "Na"): 3e-10,
            ("Cl", "Na"): 1e-10,
            ("Na", "water"): -1.5e-10,
            ("Cl", "Cl"): 4e-10,
            ("Cl", "water"): -2e-10,
            ("water", "water"): 1.5e-9,
        },
        tau_diffusion=4e-13,
        tau_flux=6e-14,
        steps=40000,
        diffusion_every=200,
        flux_every=5,
        nbe=10,
        charges={"Na": 1, "Cl": -1, "water": 0},
        seed=seed,
    )
    base.update(changes)
    return OrderNRunSpec(**base)


@pytest.mark.parametrize("shared", [1.5, {"Na": -0.1}, {"K": 0.2}])
def test_a_share_of_the_flow_outside_0_to_1_or_of_no_species_is_refused(shared):
    with pytest.raises(ValueError, match="shared"):
        small_salt(0, shared=shared)


@pytest.mark.parametrize(
    "cage", [{}, {"rattle_share": 0.8, "rattle_factor": 6.0}, {"shared": {"Na": 0.6, "water": 0.3}}]
)
def test_every_column_of_a_folder_averages_to_its_known_curve(tmp_path, cage):
    tables = {"diffself.dat": [], "diffonsag.dat": [], "viscosity.dat": [], "tconductivity.dat": []}
    for seed in range(40):
        answers = write_ordern_run(tmp_path / str(seed), small_salt(seed, **cage))
        for name, runs in tables.items():
            runs.append(_zorv_pp.parse_zorv_file(str(tmp_path / str(seed) / name)))
    spec = small_salt(0, **cage)
    total, temperature = sum(spec.counts.values()), spec.temperature
    diffusion, shear = 1e-5, spec.shear_viscosity * temperature / (101325.0 * 1e-15)
    slopes = {
        ("diffself.dat", f"MSD__{n}"): spec.counts[n] * answers["self_diffusion"][n] / diffusion for n in spec.counts
    }
    for a, b in (("Na", "Na"), ("Na", "Cl"), ("Na", "water"), ("Cl", "water"), ("water", "water")):
        slopes[("diffonsag.dat", f"MSD__{a}_{b}")] = total * spec.onsager_coefficient(a, b) / diffusion
    for c in ("xx", "zz", "xy", "yz", "off", "all"):
        slopes[("viscosity.dat", f"MSD_{c}")] = shear
    slopes[("viscosity.dat", "MSD_bulkvisc")] = spec.bulk_viscosity * temperature / (101325.0 * 1e-15)
    kappa = spec.thermal_conductivity * temperature**2 / (4184.0 / 6.02214076e23 / 1e-25)
    slopes.update({("tconductivity.dat", c): kappa for c in ("MSD_x", "MSD_all")})
    for (name, column), slope in slopes.items():
        runs = tables[name]
        time = np.array(runs[0]["Time"])
        values = np.array([run[column] for run in runs])
        tau = (spec.tau_diffusion if name.startswith("diff") else spec.tau_flux) / 1e-15
        expected = expected_msd(time, 1.0, tau)
        # A cage of variance share·τ_r (per unit D) relaxing in τ_r: from above.
        expected -= spec.rattle_share * tau * spec.rattle_factor * np.expm1(-time / (tau * spec.rattle_factor))
        if column == "MSD_bulkvisc":  # less the run's own mean: the bridge's −D·s²/T to O(τ/T), lags to T/2
            length = answers["sampling"]["flux"].run_length
            expected, values = expected - time**2 / length, values[:, time <= length / 2]
            expected = expected[time <= length / 2]
        z = (values.mean(axis=0) - slope * expected) / (values.std(axis=0, ddof=1) / math.sqrt(40))
        assert np.abs(z).max() < 4.5, (name, column, z)


def test_a_folder_loads_with_its_sampling_and_gives_back_its_answers(tmp_path):
    spec = small_salt(
        1, counts={"Na": 40, "Cl": 40, "water": 300}, steps=600000, diffusion_every=1000, flux_every=4, nbe=20
    )
    folders = [tmp_path / f"rep{k}" for k in range(4)]
    answers = [
        write_ordern_run(
            folder,
            small_salt(k, **{f: getattr(spec, f) for f in ("counts", "steps", "diffusion_every", "flux_every", "nbe")}),
        )
        for k, folder in enumerate(folders)
    ]
    runs = [zorv_pp.Run.load(folder) for folder in folders]
    assert runs[0].units.name == "real" and dict(runs[0].counts) == dict(spec.counts)
    assert runs[0].sampling["diffself"] == spec.sampling("diffusion") == answers[0]["sampling"]["diffusion"]
    assert runs[0].sampling["viscosity"] == Sampling(8.0, 20, 600000.0, 10)
    assert not runs[0].warnings
    state = zorv_pp.analyze(runs, charges=spec.charges)
    truth = answers[0]
    checks = [(("self_diffusion_pbc", n), truth["self_diffusion"][n]) for n in spec.counts]
    checks += [
        (("shear_viscosity", None), truth["shear_viscosity"]),
        (("thermal_conductivity", None), truth["thermal_conductivity"]),
        (("electrical_conductivity", None), truth["electrical_conductivity"]),
    ]
    for (prop, species), value in checks:
        estimate = state.get(prop, species)
        assert abs(estimate.mean - value) < max(4.0 * estimate.sem, 0.05 * value), (prop, species, estimate, value)


@pytest.mark.parametrize("seed, slow", [(3, False), (4, False), (5, True)])
def test_random_runs_are_read_back_without_complaint(tmp_path, seed, slow):
    spec = OrderNRunSpec.random(np.random.default_rng(seed), slow=slow)
    assert (0.05 <= spec.slow_share <= 0.3) if slow else spec.slow_share == 0.0
    answers = write_ordern_run(tmp_path, spec)
    run = zorv_pp.Run.load(tmp_path)
    assert not run.warnings and dict(run.counts) == dict(spec.counts)
    assert run.sampling["diffonsag"] == answers["sampling"]["diffusion"]
    assert run.sampling["tconductivity"] == answers["sampling"]["flux"]
    assert len(run.tables["viscosity"]["Time"]) == ordern_grid(spec.sampling("flux")).time.size


@pytest.mark.slow
def test_replicas_of_a_single_walker_column_share_the_start_their_mean_curve_shows(tmp_path):
    # A third of the bulk viscosity relaxing 50x slower hides under one walker's noise, so each run's own
    # start is early and low (their state missed the truth, 1.3-2.2 against 2.4 mPa·s); the 16 replicas'
    # mean curve shows it, and their state refitted from its start holds the truth.
    runs = []
    for seed in range(16):
        spec = small_salt(seed, slow_share=0.3, slow_factor=50.0, steps=200000)
        answers = write_ordern_run(tmp_path / str(seed), spec)
        runs.append(zorv_pp.fit_run(zorv_pp.Run.load(tmp_path / str(seed)), curves=False))  # none for figures
    state = zorv_pp.combine(runs).get("bulk_viscosity")
    assert state.ci95[0] <= answers["bulk_viscosity"] <= state.ci95[1]
    assert len(set(state.fit_start)) == 1 and "one_run_start" not in state.flags
    assert "one_run_start" in zorv_pp.combine(runs[:1]).get("bulk_viscosity").flags  # alone, it says so
