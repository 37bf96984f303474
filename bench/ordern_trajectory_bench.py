"""zorv_pp.ordern on a trajectory (read, unwrap, centres of mass, order-n, tables) against its peer, MDAnalysis
reading the same frames and nothing else, in one run; for a LAMMPS dump of wrapped atoms with image flags and
for a GROMACS xtc. Prints frames per second and the ratio peer time / ours: the share of the time that is
reading, which no sampling after the run can avoid.

    python3 bench/ordern_trajectory_bench.py [--molecules 1000] [--frames 200]

Needs the built module on sys.path (ZORV_MODULE_DIR, as the tests do) and Debian's python3-mdanalysis.
"""

import argparse
import json
import os
import sys
import tempfile
import time
import warnings
from pathlib import Path

import numpy as np

sys.path.insert(0, os.environ.get("ZORV_MODULE_DIR", ""))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))
import zorv_pp  # noqa: E402

TARGET = 0.5  # the sampling at most doubles the time MDAnalysis takes to read the frames


def bench_row(function, workload, ours, peer, ratio, target, met):
    verdict = "information" if met is None else "pass" if met else "fall short"
    row = {"function": function, "workload": workload, "time": ours, "peer": peer, "ratio": ratio}
    print("bench-row " + json.dumps({**row, "target": target, "verdict": verdict}))


def water(molecules, frames, side):
    """Three-atom molecules walking through a cubic box: unwrapped atom positions (frames, atoms, 3)."""
    rng = np.random.default_rng(1)
    centres = np.cumsum(rng.normal(scale=0.2, size=(frames, molecules, 3)), axis=0) + rng.uniform(
        0, side, (molecules, 3)
    )
    shape = np.array([[0.0, 0.0, 0.0], [0.8, 0.6, 0.0], [-0.8, 0.6, 0.0]])
    return (centres[:, :, None, :] + shape).reshape(frames, 3 * molecules, 3)


def write_dump(path, x, side):
    n = x.shape[1]
    ids = np.arange(1, n + 1)
    mol, types = (ids - 1) // 3 + 1, np.where((ids - 1) % 3 == 0, 1, 2)
    with open(path, "w") as f:
        for t, frame in enumerate(x):
            images = np.floor(frame / side)
            wrapped = frame - images * side
            f.write(f"ITEM: TIMESTEP\n{10 * t}\nITEM: NUMBER OF ATOMS\n{n}\nITEM: BOX BOUNDS pp pp pp\n")
            f.write(f"0 {side}\n0 {side}\n0 {side}\nITEM: ATOMS id mol type x y z ix iy iz\n")
            rows = np.column_stack([ids, mol, types, wrapped, images])
            np.savetxt(f, rows, fmt="%d %d %d %.5f %.5f %.5f %d %d %d")


def write_xtc(folder, x, side):
    import MDAnalysis as mda

    n = x.shape[1]
    u = mda.Universe.empty(n, n_residues=n // 3, atom_resindex=np.arange(n) // 3, trajectory=True)
    u.add_TopologyAttr("name", ["OW", "HW1", "HW2"] * (n // 3))
    u.add_TopologyAttr("resname", ["SOL"] * (n // 3))
    u.dimensions = [side, side, side, 90.0, 90.0, 90.0]
    with mda.Writer(str(folder / "traj.xtc"), n) as xtc:
        for t, frame in enumerate(x):
            u.atoms.positions = frame - np.floor(frame / side) * side
            u.trajectory.ts.time = 0.5 * t
            xtc.write(u.atoms)
            if t == 0:
                u.atoms.write(str(folder / "conf.gro"))


def read_only(*files, **options):
    import MDAnalysis as mda

    u = mda.Universe(*files, **options)
    total = 0.0
    for ts in u.trajectory:
        total += float(ts.positions[0, 0])
    return total


def measure(name, workload, frames, ours, peer):
    start = time.perf_counter()
    peer()
    theirs = time.perf_counter() - start
    start = time.perf_counter()
    ours()
    own = time.perf_counter() - start
    bench_row(
        name,
        workload,
        f"{own:.2f} s ({frames / own:.0f} frames/s)",
        f"MDAnalysis reading alone {theirs:.2f} s",
        f"{theirs / own:.2f}",
        f">= {TARGET}",
        theirs / own >= TARGET,
    )


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--molecules", type=int, default=1000)
    parser.add_argument("--frames", type=int, default=200)
    args = parser.parse_args()
    warnings.simplefilter("ignore")
    side = (args.molecules * 30.0) ** (1 / 3)
    x = water(args.molecules, args.frames, side)
    workload = f"{args.molecules} three-atom molecules x {args.frames} frames, nb 10, nbe 20"
    masses = {"1": 15.9994, "2": 1.008}
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(scratch)
        write_dump(folder / "run.dump", x, side)
        write_xtc(folder, x, side)
        dump_options = {"format": "LAMMPSDUMP", "lammps_coordinate_convention": "unscaled", "unwrap_images": True}
        measure(
            "ordern (LAMMPS dump, image flags)",
            workload,
            args.frames,
            lambda: zorv_pp.ordern(folder / "run.dump", out=folder / "a", units="real", timestep=1.0, masses=masses),
            lambda: read_only(str(folder / "run.dump"), **dump_options),
        )
        measure(
            "ordern (GROMACS xtc, wrapped)",
            workload,
            args.frames,
            lambda: zorv_pp.ordern(folder / "traj.xtc", folder / "conf.gro", out=folder / "b"),
            lambda: read_only(str(folder / "conf.gro"), str(folder / "traj.xtc")),
        )


if __name__ == "__main__":
    main()
