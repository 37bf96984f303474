"""Run folders from trajectories: the tables against the synthetic package's order-n of the same frames,
the units against the exact SI constants, and bad input against its message."""

from pathlib import Path

import numpy as np
import pytest

import _zorv_pp
import zorv_pp
from zorv_pp.cli import main
from zorv_pp.ordern import SourceError
from zorv_pp.ordern.trajectory import kinetic_temperature
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import ordern_grid, ordern_products, ou_positions
from zorv_pp.synthetic.ordern.folder import heat_columns, onsager_columns, self_column, viscosity_columns
from zorv_pp.units import LJ, METAL, REAL

try:
    import MDAnalysis as mda
except ImportError:  # the series need no MDAnalysis; the trajectories do
    mda = None
needs_mdanalysis = pytest.mark.skipif(mda is None, reason="MDAnalysis is not installed")

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
            f.write("".join(f"0 {float(s)!r}\n" for s in side) + f"ITEM: ATOMS id mol type {cols}\n")
            for a in np.random.default_rng(t).permutation(len(types)):  # LAMMPS writes atoms in any order
                p = x[t, a] if mode == "unwrapped" else wrapped[a]
                extra = " {:d} {:d} {:d}".format(*images[a].astype(int)) if mode == "image flags" else ""
                f.write(f"{a + 1} {mol[a]} {types[a]} {float(p[0])!r} {float(p[1])!r} {float(p[2])!r}{extra}\n")


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


@needs_mdanalysis
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
    # The unit style and the timestep of the last run from the log, or given.
    log = tmp_path / "log.lammps"
    # The masses too: a range first, then the types it does not fit, as LAMMPS applies them.
    log.write_text("units real\nmass * 7.0\nmass 1 16.0\nmass 2 1.0\ntimestep 4.0\nrun 100\nLoop time of 1.0 on 1 procs for 100 steps with 29 atoms\n"
                   "timestep 0.5\nrun 600\nLoop time of 1.0 on 1 procs for 600 steps with 29 atoms\n")  # fmt: skip
    settings = {"log": log} if mode == "image flags" else {"units": "real", "timestep": 0.5, "masses": MASSES}
    folder = zorv_pp.ordern(tmp_path / "run.dump", out=tmp_path / "run", species=species, nb=3, nbe=4,
                            every=every, **settings)  # fmt: skip
    names = ("water", "ion") if species else ("mol1_2", "type3")
    assert folder.counts == dict(zip(names, (12, 5)))
    sampling = Sampling(5.0 * every, 4, 5.0 * every * ((frames - 1) // every), 3)
    assert folder.sampling["diffself"] == sampling
    which = np.repeat([0, 1], [12, 5])
    assert_tables(folder.path, *expected_tables(centres_of(x, 12, (16.0, 1.0)), which, names, sampling, every))
    # The folder reads from its own log: units, counts and sampling.
    run = zorv_pp.Run.load(folder.path, temperature=300.0)
    assert run.units.name == "real" and run.counts == folder.counts and run.sampling["diffonsag"] == sampling
    assert run.volume == pytest.approx(18 * 20 * 22 * 1e-30, rel=1e-12) and not run.warnings
    log = dict(line.split(": ", 1) for line in (folder.path / "ordern.log").read_text().splitlines()[1:])
    assert log["frames"] == f"{-(-frames // every)} (every {('1st', '2nd', '3rd')[every - 1]} of {frames})"
    assert log["sampling diffonsag"] == f"interval {5.0 * every!r} nbe 4 blocks 3 run_length {sampling.run_length!r}"
    assert log["units"] == "real" and log["species"] == f"{names[0]} 12, {names[1]} 5"


def write_gromacs(folder, x, velocities, boxes):
    """A GROMACS .gro topology (water-like molecules SOL of OW HW, ions NA) and a .trr of atoms wrapped into
    each frame's box."""
    n_mol, n_atoms = 12, x.shape[1]
    resindex = [i // 2 for i in range(24)] + list(range(12, 12 + n_atoms - 24))
    u = mda.Universe.empty(
        n_atoms, n_residues=n_mol + n_atoms - 24, atom_resindex=resindex, trajectory=True, velocities=True
    )
    u.add_TopologyAttr("name", ["OW", "HW1"] * 12 + ["NA"] * (n_atoms - 24))
    u.add_TopologyAttr("resname", ["SOL"] * 12 + ["NA"] * (n_atoms - 24))
    u.add_TopologyAttr("resid", np.arange(1, n_mol + n_atoms - 24 + 1))
    with mda.Writer(str(folder / "traj.trr"), n_atoms) as trr:
        for t in range(x.shape[0]):
            u.dimensions = mda.lib.mdamath.triclinic_box(*boxes[t])
            images = np.floor(x[t] @ np.linalg.inv(boxes[t]))
            u.atoms.positions = x[t] - images @ boxes[t]
            u.atoms.velocities = velocities[t]
            u.trajectory.ts.time = 0.25 * t
            trr.write(u.atoms)
            if t == 0:
                u.atoms.write(str(folder / "conf.gro"))


@needs_mdanalysis
# A fixed box and the velocities' temperature; a box breathing as under a barostat and the engine's temperature.
@pytest.mark.parametrize("npt", [False, True])
def test_gromacs_trajectory_in_a_tilted_box(tmp_path, npt):
    frames = 40
    box = np.array([[20.0, 0.0, 0.0], [5.0, 20.0, 0.0], [3.0, -4.0, 20.0]])
    boxes = box * (1.0 + (0.02 * np.sin(np.arange(frames)) if npt else np.zeros(frames)))[:, None, None]
    centres = walkers(3, frames, 12 + 4, box)
    x = atoms_of(centres, 12)
    rng = np.random.default_rng(5)
    velocities = rng.normal(size=(frames, x.shape[1], 3))
    write_gromacs(tmp_path, x, velocities, boxes)
    # The engine's temperature (it counts constraints) comes before the velocities'.
    thermostat = write_rows(
        tmp_path / "t.xvg", '@ s0 legend "Temperature"\n', [0.0, 0.5, 1.0], [[299.0], [300.0], [304.0]]
    )
    given = {"temperature": thermostat} if npt else {}
    # Masses per atom type replace those MDAnalysis guesses from the names, for the centres and the temperature.
    types = mda.Universe(str(tmp_path / "conf.gro")).atoms.types
    per_type = dict(zip(dict.fromkeys(types), (16.5, 1.5, 23.0)))
    masses = np.array([per_type[t] for t in types])
    folder = zorv_pp.ordern(tmp_path / "traj.trr", tmp_path / "conf.gro", out=tmp_path / "run", nb=2, nbe=5,
                            masses=per_type, **given)  # fmt: skip
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
    expected = 301.0 if npt else np.mean(twice) / ((3 * x.shape[1] - 3) * K_B)
    run = zorv_pp.Run.load(folder.path)
    assert run.units.name == "metal" and run.counts == folder.counts and run.sampling["diffself"] == sampling
    assert run.temperature == pytest.approx(expected, rel=1e-6)  # float32 velocities
    assert run.volume == pytest.approx(np.mean(np.linalg.det(boxes)) * 1e-30, rel=1e-6)
    assert (folder.path / "ordern.log").read_text().count("converted to metal") == 1


@needs_mdanalysis
@pytest.mark.parametrize("units, interval", [("real", 2.0), ("metal", 0.002)])
def test_lammps_dcd_times_in_the_style_unit(tmp_path, units, interval):
    from MDAnalysis.coordinates.LAMMPS import DCDWriter

    box = np.diag([40.0, 40.0, 40.0])
    x = walkers(4, 30, 6, box)
    u = mda.Universe.empty(6, n_residues=6, atom_resindex=np.arange(6), trajectory=True)
    u.add_TopologyAttr("name", ["AR"] * 6)
    u.add_TopologyAttr("resname", ["ARG"] * 6)
    u.add_TopologyAttr("resid", np.arange(1, 7))
    u.dimensions = [40.0, 40.0, 40.0, 90.0, 90.0, 90.0]
    u.atoms.write(str(tmp_path / "top.pdb"))
    with DCDWriter(str(tmp_path / "traj.dcd"), 6, dt=0.002, timeunit={"real": "fs", "metal": "ps"}[units]) as dcd:
        for frame in x:
            u.atoms.positions = frame - np.floor(frame / 40.0) * 40.0
            dcd.write(u.atoms)
    folder = zorv_pp.ordern(tmp_path / "traj.dcd", tmp_path / "top.pdb", out=tmp_path / "run", units=units,
                            masses={"A": 39.948}, nb=2, nbe=4)  # fmt: skip
    sampling = Sampling(interval, 4, interval * 29, 2)
    assert folder.sampling["diffself"] == sampling and folder.counts == {"ARG": 6}
    assert_tables(folder.path, *expected_tables(x, np.zeros(6, dtype=int), ("ARG",), sampling, 1))


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


def no_positions(path):
    text = open(dump_with(path)).read().replace("id mol type xu yu zu", "id mol type vx vy vz")
    (path / "bad.dump").write_text(text)
    return str(path / "bad.dump")


def garbage(path):
    path.write_text("not a trajectory")
    return str(path)


def series(path, names, steps=(0, 10, 20, 30)):
    header = f"# Time-averaged data for fix f\n# TimeStep {' '.join(names)}\n"
    return str(write_rows(path / "s.dat", header, steps, np.ones((len(steps), len(names)))))


SIX = [f"c_a[{i}]" for i in range(1, 7)]


RUN = ["--units", "real", "--timestep", "1"]


def opening(arguments, message):
    """A case that opens the trajectory, which takes MDAnalysis."""
    return pytest.param(arguments, message, marks=needs_mdanalysis)


@pytest.mark.parametrize(
    "arguments, message",
    [
        opening(lambda p: [dump_with(p), "--units", "real"], "holds steps, not times"),
        opening(lambda p: [dump_with(p), "--timestep", "1"], "does not say its unit style"),
        opening(lambda p: [dump_with(p), *RUN, "--species", "a=type 9"], "matches no atom"),
        opening(lambda p: [dump_with(p), *RUN, "--species", "a=type 1", "--species", "b=index 0"], "both select"),
        opening(lambda p: [dump_with(p), *RUN, "--species", "a=nonsense ("], "cannot select"),
        opening(lambda p: [dump_with(p, steps=[0, 10, 20, 35, 45, 55]), *RUN], "time step changes at frame 3"),
        opening(lambda p: [jumping(p), "--units", "lj", "--timestep", "0.005"], "moved 0.40 of the box"),
        opening(lambda p: [growing(p), *RUN], "the box changes at frame 5"),
        opening(lambda p: [garbage(p / "x.xtc")], "give its topology"),
        opening(lambda p: [no_positions(p), *RUN], "the dump has no positions"),
        (lambda p: [str(p / "traj.xtc"), "--units", "real"], "no trajectory file"),
        (lambda p: [dump_with(p), *RUN, "--nbe", "1"], "nbe must be"),
        (lambda p: [], "nothing to sample"),
        (
            lambda p: ["--pressure", series(p, SIX + [f"c_b[{i}]" for i in range(1, 7)] + ["v_vol"]), *RUN],
            "several column sets",
        ),
        (
            lambda p: ["--pressure", series(p, SIX + ["v_vol"], steps=(0, 10, 30)), *RUN],
            "not equally spaced in time (row 3)",
        ),
        (lambda p: ["--pressure", series(p, SIX), *RUN], "need the volume"),
        (lambda p: ["--pressure", series(p, SIX + ["v_vol"]), "--timestep", "1"], "does not say its LAMMPS unit style"),
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


def integral(c, dt):
    """Trapezoidal time integrals of the columns of c, from 0 at the first row."""
    return np.concatenate([np.zeros((1, c.shape[1])), np.cumsum(0.5 * dt * (c[1:] + c[:-1]), axis=0)])


def own_mean(tensor, dt):
    """The run's own mean pressure: the trapezoidal integral over the run divided by its length."""
    p = tensor[:, :3].sum(axis=1) / 3.0
    return float(integral(p[:, None], dt)[-1, 0] / (dt * (p.size - 1)))


def expected_viscosity(tensor, mean, dt, scale, sampling):
    p = tensor[:, :3].sum(axis=1) / 3.0
    channels = np.column_stack([tensor[:, :3] - p[:, None], tensor[:, 3:], p - mean])
    i = np.sqrt(scale) * integral(channels, dt).T
    names = ["xx", "yy", "zz", "xy", "xz", "yz", "off", "all", "bulkvisc"]
    return {f"MSD_{n}": c for n, c in zip(names, viscosity_columns(ordern_grid(sampling), i[:6], i[6]))}


def write_rows(path, header, time, values):
    path.write_text(
        header
        + "".join(f"{float(t)!r} " + " ".join(repr(float(v)) for v in row) + "\n" for t, row in zip(time, values))
    )
    return path


@pytest.mark.parametrize("mean_pressure", [None, 2.5])
def test_lammps_pressure_and_heat_flux_series(tmp_path, mean_pressure):
    rows, every, timestep, volume = 90, 5, 2.0, 9261.0
    rng = np.random.default_rng(11)
    tensor, heat = rng.normal(loc=1.0, size=(rows, 6)), rng.normal(size=(rows, 3)) * 40.0
    temperature = 300.0 + rng.normal(size=rows)
    names = " ".join([f"c_P[{i}]" for i in range(1, 7)] + [f"c_flux[{i}]" for i in range(1, 4)] + ["v_T", "v_vol"])
    path = write_rows(tmp_path / "fluxes.dat", f"# Time-averaged data for fix f\n# TimeStep {names}\n",
                      np.arange(rows) * every, np.column_stack([tensor, heat, temperature, np.full(rows, volume)]))  # fmt: skip
    folder = zorv_pp.ordern(pressure=path, heat_flux=path, out=tmp_path / "run", units="real", timestep=timestep,
                            mean_pressure=mean_pressure, nb=3, nbe=4)  # fmt: skip
    dt = every * timestep
    sampling = Sampling(dt, 4, dt * (rows - 1), 3)
    assert folder.sampling == {"viscosity": sampling, "tconductivity": sampling}
    mean = own_mean(tensor, dt) if mean_pressure is None else mean_pressure
    # real: Å³ = 1e-30 m³, atm = 101325 Pa, kcal/mol = 4184 J / N_A.
    viscosity = expected_viscosity(tensor, mean, dt, volume * 1e-30 * 101325.0 / (2.0 * K_B), sampling)
    conduction = 4184.0 / N_A * 1e-30 / (2.0 * volume * 1e-30 * K_B)
    heat_parts = heat_columns(ordern_grid(sampling), np.sqrt(conduction) * integral(heat, dt).T)
    expected = {
        "viscosity.dat": viscosity,
        "tconductivity.dat": dict(zip(["MSD_x", "MSD_y", "MSD_z", "MSD_all"], heat_parts)),
    }
    for file, columns in expected.items():
        table = read(folder.path / file)
        for name, column in columns.items():
            np.testing.assert_allclose(table[name], column, rtol=1e-9, err_msg=f"{file} {name}")
    run = zorv_pp.Run.load(folder.path)
    assert run.sampling == {"viscosity": sampling, "tconductivity": sampling}
    assert run.temperature == pytest.approx(np.mean(temperature), rel=1e-12) and not run.warnings
    source = "the run's own mean" if mean_pressure is None else "given"
    value, said = folder.log["mean pressure"].split(" ", 1)
    assert float(value) == pytest.approx(mean, rel=1e-12) and said == f"({source})"


def test_gromacs_energies_become_metal(tmp_path):
    rows = 50
    rng = np.random.default_rng(2)
    tensor, volume_nm3 = rng.normal(loc=1.0, size=(rows, 6)) * 100.0, 27.0 + 0.01 * rng.normal(size=rows)
    legends = ["Pres-XX", "Pres-YY", "Pres-ZZ", "Volume", "Pres-XY", "Pres-XZ", "Pres-YZ", "Temperature"]
    header = '@    xaxis  label "Time (ps)"\n' + "".join(f'@ s{i} legend "{n}"\n' for i, n in enumerate(legends))
    values = np.column_stack([tensor[:, :3], volume_nm3, tensor[:, 3:], np.full(rows, 298.0)])
    path = write_rows(tmp_path / "energy.xvg", header, np.arange(rows) * 0.004, values)
    folder = zorv_pp.ordern(pressure=path, out=tmp_path / "run", nb=2, nbe=5)
    sampling = Sampling(0.004, 5, 0.004 * (rows - 1), 2)
    volume = float(np.mean(volume_nm3)) * 1000.0  # Å³
    mean = own_mean(tensor, 0.004)
    expected = expected_viscosity(tensor, mean, 0.004, volume * 1e-30 * 1e5 / (2.0 * K_B), sampling)  # bar = 1e5 Pa
    table = read(folder.path / "viscosity.dat")
    for name, column in expected.items():
        np.testing.assert_allclose(table[name], column, rtol=1e-9, err_msg=name)
    run = zorv_pp.Run.load(folder.path)
    assert run.units.name == "metal" and run.sampling == {"viscosity": sampling}
    assert run.volume == pytest.approx(volume * 1e-30, rel=1e-12) and run.temperature == 298.0
    value, source = folder.log["volume"].split(" ", 1)
    assert float(value) == pytest.approx(volume, rel=1e-12) and source == "(energy.xvg column Volume, nm³ × 1000 to Å³)"


def test_series_damage_is_told_and_the_folder_still_written(tmp_path, capsys):
    path = Path(series(tmp_path, SIX + ["v_vol"], steps=(0, 10, 20, 30, 40)))
    path.write_text(path.read_text() + "50 1 1")  # a last row cut mid-write
    assert (
        main(["ordern", "--pressure", str(path), "--units", "real", "--timestep", "1", "--out", str(tmp_path / "run")])
        == 0
    )
    out, err = capsys.readouterr()
    assert "viscosity.dat" in out and "zorv-pp: warning: s.dat: " in err and "[partial_last_row]" in err
