"""Run folders from trajectories: the tables against the synthetic package's order-n of the same frames,
the units against the exact SI constants, and bad input against its message."""

import numpy as np
import pytest

import _zorv_pp
import zorv_pp
from zorv_pp.cli import main
from zorv_pp.ordern import SourceError
from zorv_pp.ordern.trajectory import kinetic_temperature
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import ordern_grid, ordern_products, ou_positions
from zorv_pp.synthetic.ordern.folder import onsager_columns, self_column
from zorv_pp.units import LJ, METAL, REAL

mda = pytest.importorskip("MDAnalysis")

K_B, N_A = 1.380649e-23, 6.02214076e23  # exact (SI 2019)
GRID = 10.0 / 256  # positions on it stay exact through float32, nm and Å
MASSES = {"1": 16.0, "2": 1.0, "3": 7.0}


def walkers(seed, frames, molecules, box):
    """Molecule centres (frames, molecules, 3) of OU walkers on the grid, spread over the box."""
    rng = np.random.default_rng(seed)
    x = ou_positions(rng, 3 * molecules, frames - 1, 1.0, 2.0, 1.5).reshape(molecules, 3, frames)
    x = x.transpose(2, 0, 1) + rng.uniform(0.0, 1.0, size=(molecules, 3)) @ box
    return np.round(x / GRID) * GRID


def atoms_of(centres, pairs):
    """Two-atom molecules (a heavy and a light atom about each centre) then one-atom ones, (frames, atoms, 3)."""
    offset = np.array([1.25, -0.75, 0.5])
    heavy, light = centres[:, :pairs] - offset / 17.0, centres[:, :pairs] + 16.0 * offset / 17.0
    both = np.stack([heavy, light], axis=2).reshape(centres.shape[0], -1, 3)
    return np.round(np.concatenate([both, centres[:, pairs:]], axis=1) / GRID) * GRID


def centres_of(x, pairs, masses):
    """Centres of mass of the molecules of :func:`atoms_of` from unwrapped atoms, heavy and light masses given."""
    heavy, light = masses
    return np.concatenate([(x[:, 0 : 2 * pairs : 2] * heavy + x[:, 1 : 2 * pairs : 2] * light) / (heavy + light),
                           x[:, 2 * pairs :]], axis=1)  # fmt: skip


def write_dump(path, x, mol, types, box, mode, steps):
    side = np.diag(box)
    with open(path, "w") as f:
        for t, step in enumerate(steps):
            images = np.floor(x[t] / side)
            wrapped = x[t] - images * side
            cols = {"unwrapped": "xu yu zu", "image flags": "x y z ix iy iz", "wrapped": "x y z"}[mode]
            f.write(f"ITEM: TIMESTEP\n{step}\nITEM: NUMBER OF ATOMS\n{len(types)}\nITEM: BOX BOUNDS pp pp pp\n")
            f.write("".join(f"0 {s!r}\n" for s in side) + f"ITEM: ATOMS id mol type {cols}\n")
            for a in np.random.default_rng(t).permutation(len(types)):  # LAMMPS writes atoms in any order
                p = x[t, a] if mode == "unwrapped" else wrapped[a]
                extra = " {:d} {:d} {:d}".format(*images[a].astype(int)) if mode == "image flags" else ""
                f.write(f"{a + 1} {mol[a]} {types[a]} {p[0]!r} {p[1]!r} {p[2]!r}{extra}\n")


def read(path):
    return {name: np.array(values) for name, values in _zorv_pp.parse_zorv_file(str(path)).items()}


def expected_tables(x, which, names, sampling, every):
    """diffself and diffonsag columns of centres (frames, molecules, 3) by the synthetic package's order-n."""
    x = x[::every]
    grid = ordern_grid(sampling)
    own = {}
    for s, name in enumerate(names):
        rows = x[:, which == s, :].reshape(x.shape[0], -1).T
        own[f"MSD__{name}"] = self_column(grid, ordern_products(grid, rows), int(np.sum(which == s)))
    collective = np.stack([x[:, which == s, :].sum(axis=1).T for s in range(len(names))])
    pairs = [f"MSD__{a}_{b}" for i, a in enumerate(names) for b in names[i:]]
    return own, dict(zip(pairs, onsager_columns(grid, list(names), collective)))


def assert_tables(folder, own, onsager):
    for file, columns in (("diffself.dat", own), ("diffonsag.dat", onsager)):
        table = read(folder / file)
        for name, column in columns.items():
            scale = np.max(np.abs(column))
            np.testing.assert_allclose(table[name], column, rtol=1e-9, atol=1e-9 * scale, err_msg=name)


@pytest.mark.parametrize(
    "mode, every, species",
    [
        ("unwrapped", 1, None),
        ("image flags", 2, None),
        ("wrapped", 3, {"water": "type 1 2", "ion": "type 3"}),
    ],
)
def test_dump_tables_agree_with_an_order_n_of_the_same_frames(tmp_path, mode, every, species):
    frames, box = 61, np.diag([18.0, 20.0, 22.0])
    centres = walkers(7, frames, 12 + 5, box)
    types = [1, 2] * 12 + [3] * 5
    mol = [i // 2 + 1 for i in range(24)] + list(range(13, 18))
    x = atoms_of(centres, 12)
    write_dump(tmp_path / "run.dump", x, mol, types, box, mode, steps=range(1000, 1000 + 10 * frames, 10))
    folder = zorv_pp.ordern(
        tmp_path / "run.dump", out=tmp_path / "run", units="real", timestep=0.5, masses=MASSES,
        species=species, nb=3, nbe=4, every=every,
    )  # fmt: skip
    names = ("water", "ion") if species else ("mol1_2", "type3")
    assert folder.counts == dict(zip(names, (12, 5)))
    sampling = Sampling(5.0 * every, 4, 5.0 * every * ((frames - 1) // every), 3)
    assert folder.sampling["diffself"] == sampling
    which = np.repeat([0, 1], [12, 5])
    assert_tables(folder.path, *expected_tables(centres_of(x, 12, (16.0, 1.0)), which, names, sampling, every))
    run = zorv_pp.Run.load(folder.path, units="real", counts=folder.counts, sampling=sampling, temperature=300.0)
    assert run.volume == pytest.approx(18 * 20 * 22 * 1e-30, rel=1e-12) and not run.warnings
    log = dict(line.split(": ", 1) for line in (folder.path / "ordern.log").read_text().splitlines()[1:])
    assert log["frames"] == f"{-(-frames // every)} (every {every}th of {frames})"
    assert log["sampling diffonsag"] == f"interval {5.0 * every!r} nbe 4 blocks 3 run_length {sampling.run_length!r}"
    assert log["units"] == "real" and log["species"] == f"{names[0]} 12, {names[1]} 5"


def write_gromacs(folder, x, velocities, box_vectors):
    """A GROMACS .gro topology (water-like molecules SOL of OW HW, ions NA) and a .trr of wrapped atoms."""
    n_mol, n_atoms = 12, x.shape[1]
    resindex = [i // 2 for i in range(24)] + list(range(12, 12 + n_atoms - 24))
    u = mda.Universe.empty(
        n_atoms, n_residues=n_mol + n_atoms - 24, atom_resindex=resindex, trajectory=True, velocities=True
    )
    u.add_TopologyAttr("name", ["OW", "HW1"] * 12 + ["NA"] * (n_atoms - 24))
    u.add_TopologyAttr("resname", ["SOL"] * 12 + ["NA"] * (n_atoms - 24))
    u.add_TopologyAttr("resid", np.arange(1, n_mol + n_atoms - 24 + 1))
    dims = mda.lib.mdamath.triclinic_box(*box_vectors)
    inverse = np.linalg.inv(box_vectors)
    u.dimensions = dims
    with mda.Writer(str(folder / "traj.trr"), n_atoms) as trr:
        for t in range(x.shape[0]):
            images = np.floor(x[t] @ inverse)
            u.atoms.positions = x[t] - images @ box_vectors
            u.atoms.velocities = velocities[t]
            u.trajectory.ts.time = 0.25 * t
            trr.write(u.atoms)
            if t == 0:
                u.atoms.write(str(folder / "conf.gro"))


def test_gromacs_trajectory_in_a_tilted_box(tmp_path):
    frames = 40
    box = np.array([[20.0, 0.0, 0.0], [5.0, 20.0, 0.0], [3.0, -4.0, 20.0]])
    centres = walkers(3, frames, 12 + 4, box)
    x = atoms_of(centres, 12)
    rng = np.random.default_rng(5)
    velocities = rng.normal(size=(frames, x.shape[1], 3))
    write_gromacs(tmp_path, x, velocities, box)
    folder = zorv_pp.ordern(tmp_path / "traj.trr", tmp_path / "conf.gro", out=tmp_path / "run", nb=2, nbe=5)
    masses = mda.Universe(str(tmp_path / "conf.gro")).atoms.masses
    # Centres of the atoms as read back, their true images known: no unwrapping by neighbours.
    read_back = mda.Universe(str(tmp_path / "conf.gro"), str(tmp_path / "traj.trr"))
    true = np.array([ts.positions + np.round((x[ts.frame] - ts.positions) @ np.linalg.inv(ts.triclinic_dimensions))
                     @ ts.triclinic_dimensions for ts in read_back.trajectory])  # fmt: skip
    centre = centres_of(true, 12, masses[:2])
    sampling = Sampling(0.25, 5, 0.25 * (frames - 1), 2)
    assert folder.counts == {"SOL": 12, "NA": 4} and folder.sampling["diffself"] == sampling
    assert_tables(folder.path, *expected_tables(centre, np.repeat([0, 1], [12, 4]), ("SOL", "NA"), sampling, 1))
    # Velocities in Å/ps (metal), masses in g/mol: T = Σ m v² / ((3N − 3) k_B), in SI from the exact constants.
    twice = [np.sum(masses[:, None] * v**2) * 1e-3 / N_A * 1e4 for v in velocities]
    expected = np.mean(twice) / ((3 * x.shape[1] - 3) * K_B)
    run = zorv_pp.Run.load(folder.path, units="metal", counts=folder.counts, sampling=sampling)
    assert run.temperature == pytest.approx(expected, rel=1e-6)  # float32 velocities
    assert run.volume == pytest.approx(np.linalg.det(box) * 1e-30, rel=1e-6)
    assert (folder.path / "ordern.log").read_text().count("converted to metal") == 1


@pytest.mark.parametrize(
    "style, speed_si, mass_si",
    [(REAL, 1e5, 1e-3 / N_A), (METAL, 1e2, 1e-3 / N_A), (LJ, 1.0, 1.0)],
)
def test_kinetic_temperature_in_each_style(style, speed_si, mass_si):
    masses = np.array([15.9994, 1.008, 1.008])
    v = np.array([[0.01, -0.02, 0.005], [0.03, 0.0, -0.01], [-0.02, 0.01, 0.02]])
    boltzmann = 1.0 if style is LJ else K_B
    expected = np.sum(masses[:, None] * mass_si * (v * speed_si) ** 2) / (6 * boltzmann)
    assert kinetic_temperature(masses, v, style) == pytest.approx(expected, rel=1e-13)


def dump_with(tmp_path, mode="unwrapped", steps=None, box=None, x=None):
    frames = 6
    x = walkers(1, frames, 3, np.diag([10.0] * 3)) if x is None else x
    path = tmp_path / "bad.dump"
    write_dump(path, x, [1, 2, 3], [1, 1, 1], np.diag([10.0] * 3) if box is None else box, mode,
               steps if steps is not None else range(0, 10 * frames, 10))  # fmt: skip
    return str(path)


def jumping(tmp_path):
    x = np.zeros((4, 3, 3)) + 1.0
    x[2:, 0, 0] += 4.0  # 0.4 of the box in one frame
    return dump_with(tmp_path, "wrapped", x=x, steps=range(4))


def growing(tmp_path):
    path = dump_with(tmp_path)
    text = open(path).read().split("ITEM: TIMESTEP")
    text[-1] = text[-1].replace("0 10.0\n", "0 10.5\n")
    open(path, "w").write("ITEM: TIMESTEP".join(text))
    return path


def garbage(path):
    path.write_text("not a trajectory")
    return str(path)


@pytest.mark.parametrize(
    "arguments, message",
    [
        (lambda p: [dump_with(p), "--units", "real"], "holds steps, not times"),
        (lambda p: [dump_with(p), "--timestep", "1"], "does not say its unit style"),
        (lambda p: [dump_with(p), "--units", "real", "--timestep", "1", "--species", "a=type 9"], "matches no atom"),
        (
            lambda p: [
                dump_with(p),
                "--units",
                "real",
                "--timestep",
                "1",
                "--species",
                "a=type 1",
                "--species",
                "b=index 0",
            ],
            "both select",
        ),
        (lambda p: [dump_with(p), "--units", "real", "--timestep", "1", "--species", "a=nonsense ("], "cannot select"),
        (
            lambda p: [dump_with(p, steps=[0, 10, 20, 35, 45, 55]), "--units", "real", "--timestep", "1"],
            "time step changes at frame 3",
        ),
        (lambda p: [jumping(p), "--units", "lj", "--timestep", "0.005"], "moved 0.40 of the box"),
        (lambda p: [growing(p), "--units", "real", "--timestep", "1"], "the box changes at frame 5"),
        (lambda p: [str(p / "traj.xtc"), "--units", "real"], "no trajectory file"),
        (lambda p: [garbage(p / "x.xtc")], "give its topology"),
        (lambda p: [dump_with(p), "--units", "real", "--timestep", "1", "--nbe", "1"], "nbe must be"),
        (lambda p: [], "nothing to sample"),
    ],
)
def test_bad_input_is_a_usage_error(tmp_path, capsys, arguments, message):
    assert main(["ordern", *arguments(tmp_path), "--out", str(tmp_path / "run")]) == 2
    err = capsys.readouterr().err
    assert message in err and err.count("\n") == 1 and "Traceback" not in err


def test_without_mdanalysis_says_what_to_install(tmp_path, monkeypatch):
    path = dump_with(tmp_path)
    monkeypatch.setitem(__import__("sys").modules, "MDAnalysis", None)
    with pytest.raises(SourceError, match="apt-get install python3-mdanalysis"):
        zorv_pp.ordern(path, out=tmp_path / "run", units="real", timestep=1.0)
