"""The order-n accumulators fed real engine output agree with a brute-force order-n of the same frames."""

import numpy as np
import pytest

from zorv_pp.ordern import FluxOrderN, PositionOrderN

# MDAnalysis says so when a LAMMPS dump has no masses or times; the tests give both where they matter.
pytestmark = [
    pytest.mark.engines,
    pytest.mark.filterwarnings("ignore:(Guessed all Masses|Reader has no dt):UserWarning"),
]

NB, NBE = 3, 10


def order_n_rows(x, nb, nbe):
    """(block, k, origins, increments) for every lag k·nbe^b over every origin on block b's grid of ``x``."""
    for b in range(nb):
        grid = x[:: nbe**b]
        for k in range(1, min(nbe, grid.shape[0] - 1) + 1):
            yield b, k, grid.shape[0] - k, grid[k:] - grid[:-k]


def unwrapped_centres(universe):
    """Residue centres of mass of molecules made whole, followed across frames through nearest images."""
    atoms = universe.atoms
    first = np.array([r.atoms.indices[0] for r in universe.residues])[atoms.resindices]
    weight = atoms.masses / np.bincount(atoms.resindices, atoms.masses)[atoms.resindices]
    frames = []
    for ts in universe.trajectory:
        box = ts.dimensions[:3].astype(np.float64)
        x = ts.positions.astype(np.float64)
        d = x - x[first]
        whole = x[first] + d - box * np.round(d / box)
        centres = np.stack([np.bincount(atoms.resindices, weight * whole[:, i]) for i in range(3)], axis=1)
        if frames:
            step = centres - frames[-1]
            centres = frames[-1] + step - box * np.round(step / box)
        frames.append(centres)
    return np.array(frames)


def check_positions(x, which, species):
    acc = PositionOrderN(species, which, NB, NBE, 1.0)
    for frame in x:
        acc.add(frame)
    sums = acc.sums()
    rows = list(order_n_rows(x, NB, NBE))
    assert [(b, k, m) for b, k, m, _ in rows] == list(zip(sums.block, sums.element, sums.origins))
    groups = range(len(species))
    for row, (_, _, m, d) in enumerate(rows):
        squares = [np.sum(d[:, which == g] ** 2) / m for g in groups]
        collective = [d[:, which == g].sum(axis=1) for g in groups]
        products = [np.sum(collective[g] * collective[h]) / m for g in groups for h in groups if h >= g]
        np.testing.assert_allclose(sums.squares[row] / m, squares, rtol=1e-9)
        np.testing.assert_allclose(sums.products[row] / m, products, rtol=1e-9, atol=1e-9 * max(squares))


def test_lammps_unwrapped_positions(lammps_lj, mda):
    u = mda.Universe(str(lammps_lj / "unwrapped.dump"), format="LAMMPSDUMP", lammps_coordinate_convention="unwrapped")
    x = np.array([ts.positions.astype(np.float64) for ts in u.trajectory])
    assert x.shape == (201, 256, 3)
    which = u.atoms.types.astype(int) - 1
    check_positions(x, which, ["1", "2"])


def test_gromacs_water_centres_of_mass(gromacs_water, mda):
    # MDAnalysis reads no .tpr written by a GROMACS as new as Debian's, so the .gro is the topology.
    u = mda.Universe(str(gromacs_water / "water.gro"), str(gromacs_water / "run.xtc"))
    x = unwrapped_centres(u)
    assert x.shape == (501, len(u.residues), 3)
    check_positions(x, np.zeros(len(u.residues), dtype=int), ["SOL"])


def lammps_series(path):
    return np.loadtxt(path, comments="#")[:, 1:]


def xvg_series(path, names):
    lines = path.read_text().splitlines()
    legends = [line.split('"')[1] for line in lines if line.startswith("@ s") and " legend " in line]
    values = np.loadtxt([line for line in lines if line[:1] not in "#@"])
    return values[:, [1 + legends.index(name) for name in names]]


PRESSURE = ["Pres-XX", "Pres-YY", "Pres-ZZ", "Pres-XY", "Pres-XZ", "Pres-YZ"]


@pytest.mark.parametrize(
    "engine, read, kind",
    [
        ("lammps_lj", lambda f: lammps_series(f / "pressure.dat"), "pressure"),
        ("lammps_lj", lambda f: lammps_series(f / "heatflux.dat"), "heat"),
        ("gromacs_water", lambda f: xvg_series(f / "energy.xvg", PRESSURE), "pressure"),
    ],
)
def test_flux_integrals(engine, read, kind, request):
    series = read(request.getfixturevalue(engine))
    dt = 0.025
    if kind == "pressure":
        mean = float(series[:, :3].mean())
        acc = FluxOrderN.pressure(NB, NBE, dt, mean)
        p = series[:, :3].mean(axis=1)
        channels = np.column_stack([series[:, :3] - p[:, None], series[:, 3:], p - mean])
    else:
        acc = FluxOrderN.heat(NB, NBE, dt)
        channels = series
    acc.add(series)
    integral = np.concatenate(
        [np.zeros((1, channels.shape[1])), np.cumsum(0.5 * dt * (channels[1:] + channels[:-1]), 0)]
    )
    sums = acc.sums()
    rows = list(order_n_rows(integral, NB, NBE))
    assert len(rows) == sums.block.size and series.shape[0] > 200
    for row, (_, _, m, d) in enumerate(rows):
        np.testing.assert_allclose(sums.squares[row] / m, np.mean(d**2, axis=0), rtol=1e-9)
