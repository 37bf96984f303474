import numpy as np
import pytest

import _zorv_pp
import zorv_pp
from zorv_pp.msdfit import fit_msd
from zorv_pp.ordern import (
    FluxOrderN,
    PositionOrderN,
    write_conductivity_table,
    write_diffusion_tables,
    write_viscosity_table,
)
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import ordern_grid
from zorv_pp.synthetic.ordern.folder import heat_columns, onsager_columns, self_column, viscosity_columns
from zorv_pp.synthetic.ordern.table import ordern_products
from zorv_pp.units import LJ, REAL

SPECIES = ["K", "OH", "H2O"]


def brute_force(x, nb, nbe):
    """Order-n sums of (frames, items, 3) positions from every frame: (block, k, origins, per-item Δ² sums)."""
    rows = []
    for b in range(nb):
        a = x[:: nbe**b]
        for k in range(1, min(nbe, a.shape[0] - 1) + 1):
            d = a[k:] - a[:-k]
            rows.append((b, k, a.shape[0] - k, d))
    return rows


def walkers(rng, frames, molecules):
    return np.cumsum(rng.normal(size=(frames, molecules, 3)), axis=0) + 50.0 * rng.normal(size=(molecules, 3))


@pytest.mark.parametrize("frames, nb, nbe", [(120, 3, 4), (257, 10, 2), (31, 2, 10)])
def test_position_sums_agree_with_a_brute_force_order_n(frames, nb, nbe):
    rng = np.random.default_rng(frames)
    which = rng.integers(0, 3, size=40)
    x = walkers(rng, frames, which.size)
    acc = PositionOrderN(SPECIES, which, nb, nbe, 0.5)
    acc.add(x[: frames // 3])  # several frames at once, then one by one
    for frame in x[frames // 3 :]:
        acc.add(frame)
    sums = acc.sums()
    rows = brute_force(x, nb, nbe)
    grid = ordern_grid(Sampling(0.5, nbe, 0.5 * (frames - 1), nb))
    assert [(b, k, m) for b, k, m, _ in rows] == list(zip(sums.block, sums.element, sums.origins))
    np.testing.assert_array_equal(sums.time, grid.time)
    np.testing.assert_array_equal(sums.origins, grid.origins)
    for row, (_, _, _, d) in enumerate(rows):
        squares = [np.sum(d[:, which == s] ** 2) for s in range(3)]
        collective = np.stack([d[:, which == s].sum(axis=1) for s in range(3)])
        products = [np.sum(collective[g] * collective[h]) for g in range(3) for h in range(g, 3)]
        np.testing.assert_allclose(sums.squares[row], squares, rtol=1e-9)
        np.testing.assert_allclose(sums.products[row], products, rtol=1e-9, atol=1e-9 * max(squares))


def integral(c, dt):
    """Trapezoidal time integrals of the columns of c, from 0 at the first frame."""
    return np.concatenate([np.zeros((1, c.shape[1])), np.cumsum(0.5 * dt * (c[1:] + c[:-1]), axis=0)])


def read(path):
    table = _zorv_pp.parse_zorv_file(str(path))
    return {name: np.array(values) for name, values in table.items()}


def test_tables_agree_with_the_synthetic_writers_on_the_same_walkers(tmp_path):
    rng = np.random.default_rng(7)
    frames, nb, nbe, dt = 150, 3, 5, 2.0
    which = np.repeat(np.arange(3), [4, 6, 10])
    x = walkers(rng, frames, which.size)
    positions = PositionOrderN(SPECIES, which, nb, nbe, dt)
    positions.add(x)
    write_diffusion_tables(tmp_path, positions)
    grid_sampling = Sampling(dt, nbe, dt * (frames - 1), nb)
    grid = ordern_grid(grid_sampling)
    own = read(tmp_path / "diffself.dat")
    np.testing.assert_allclose(own["Time"], grid.time, rtol=1e-15)
    for s, name in enumerate(SPECIES):
        walker_rows = x[:, which == s, :].reshape(frames, -1).T
        total = ordern_products(grid, walker_rows)
        np.testing.assert_allclose(own[f"MSD__{name}"], self_column(grid, total, int(np.sum(which == s))), rtol=1e-9)
    collective = np.stack([x[:, which == s, :].sum(axis=1).T for s in range(3)])
    onsager = read(tmp_path / "diffonsag.dat")
    expected = onsager_columns(grid, SPECIES, collective)
    names = [f"MSD__{a}_{b}" for i, a in enumerate(SPECIES) for b in SPECIES[i:]]
    for name, column in zip(names, expected):
        np.testing.assert_allclose(onsager[name], column, rtol=1e-9, atol=1e-9 * np.max(np.abs(column)))

    volume, mean = 8000.0, 1.25
    tensor = rng.normal(loc=mean, size=(frames, 6))
    heat = rng.normal(size=(frames, 3))
    pressure_acc, heat_acc = FluxOrderN.pressure(nb, nbe, dt, mean), FluxOrderN.heat(nb, nbe, dt)
    for p, h in zip(tensor, heat):
        pressure_acc.add(p)
        heat_acc.add(h)
    write_viscosity_table(tmp_path, pressure_acc, volume, REAL)
    write_conductivity_table(tmp_path, heat_acc, volume, LJ)
    p = tensor[:, :3].sum(axis=1) / 3.0
    channels = np.column_stack([tensor[:, :3] - p[:, None], tensor[:, 3:], p - mean])
    root = np.sqrt(volume * REAL.volume * REAL.pressure / (2.0 * REAL.boltzmann))
    i = root * integral(channels, dt).T
    names = ["xx", "yy", "zz", "xy", "xz", "yz", "off", "all", "bulkvisc"]
    viscosity = read(tmp_path / "viscosity.dat")
    for name, column in zip(names, viscosity_columns(grid, i[:6], i[6])):
        np.testing.assert_allclose(viscosity[f"MSD_{name}"], column, rtol=1e-9)
    conductivity = read(tmp_path / "tconductivity.dat")
    for name, column in zip(["x", "y", "z", "all"], heat_columns(grid, integral(heat, dt).T / np.sqrt(2.0 * volume))):
        np.testing.assert_allclose(conductivity[f"MSD_{name}"], column, rtol=1e-9)
    counts = {name: int(np.sum(which == s)) for s, name in enumerate(SPECIES)}
    run = zorv_pp.Run.load(tmp_path, units="real", counts=counts, temperature=300.0, sampling=grid_sampling)
    assert sorted(run.tables) == ["diffonsag", "diffself", "tconductivity", "viscosity"] and not run.warnings


@pytest.mark.parametrize(
    "make, message",
    [
        (lambda: PositionOrderN(SPECIES, [0, 3], 2, 4, 1.0), "group"),
        (lambda: PositionOrderN(SPECIES, [0, 1.5], 2, 4, 1.0), "whole"),
        (lambda: FluxOrderN.heat(2, 1, 1.0), "nbe"),
        (lambda: FluxOrderN.heat(2, 4, -1.0), "interval"),
        (lambda: FluxOrderN.heat(2, 4, 1.0).add(np.zeros(4)), "multiple of 3"),
        (lambda: FluxOrderN(6, 2, 4, 1.0, 1.0, own_mean=True), "either given"),
    ],
)
def test_refuses_what_it_cannot_accumulate(make, message):
    with pytest.raises(ValueError, match=message):
        make()


def test_the_runs_own_mean_pressure_leaves_a_bridge_that_its_fit_undoes():
    # Ornstein–Uhlenbeck pressures far from 0, each less its own mean after the pass: the bulk column bends
    # as 2·D·s·(1 − s/T). Fitted by that shape from T/20 the runs give the known integral; a line does not.
    h, tau, runs, frames, nb, nbe = 0.5, 2.0, 400, 4001, 3, 10
    phi = np.exp(-h / tau)
    known = h * (1.0 + phi) / (2.0 * (1.0 - phi))  # the sampled series' ∫C by trapezoids, unit variance
    rng = np.random.default_rng(3)
    x = np.empty((frames, runs))
    x[0] = rng.normal(size=runs)
    noise = rng.normal(size=(frames, runs)) * np.sqrt(1.0 - phi**2)
    for i in range(1, frames):
        x[i] = phi * x[i - 1] + noise[i]
    length = h * (frames - 1)
    sampling = Sampling(h, nbe, length, nb)
    slopes = {True: [], False: []}
    for r in range(runs):
        acc = FluxOrderN.pressure(nb, nbe, h, None)
        tensor = np.zeros((frames, 6))
        tensor[:, :3] = 7.0 + x[:, r, None]
        acc.add(tensor)
        sums = acc.sums()
        trapezoid = (np.sum(tensor[:, 0]) - 0.5 * (tensor[0, 0] + tensor[-1, 0])) / (frames - 1)
        assert sums.mean_pressure == pytest.approx(trapezoid, rel=1e-12)
        column = sums.squares[:, 6] / sums.origins / 2.0
        for bridge in slopes:
            fit = fit_msd(sums.time, column, sampling, 1.0, start_at=length / 20, bridge=bridge)
            slopes[bridge].append(fit.slope)
    bridged, line = (np.array(slopes[b]) for b in (True, False))
    sem = bridged.std(ddof=1) / np.sqrt(runs)
    assert abs(bridged.mean() - known) < 3.0 * sem
    assert line.mean() < known - 3.0 * sem
