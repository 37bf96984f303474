"""Runs the engines page's example from raw engine output to the analysis, and draws its figures.

A LAMMPS Lennard-Jones liquid and a GROMACS SPC/E water box (the test suite's inputs, run longer), then
``zorv-pp ordern`` and ``zorv-pp analyze`` on each as docs/engines.md shows them. Needs lmp, gmx and
MDAnalysis (the test root has them: ``tools/sid-root.sh run python3 tools/engine_docs.py``) and the
built modules (ZORV_MODULE_DIR, default build/sid-py314/python). Takes a few minutes on one core.
Writes docs/figures/engines_*.png and prints every command with what it printed.
"""

from __future__ import annotations

import argparse
import os
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "engines"))
import engine_runs  # noqa: E402

FIGURES = {
    "lj-results/figures/lj-run_msd_diffusion.png": "engines_lj_diffusion.png",
    "lj-results/figures/lj-run_msd_viscosity.png": "engines_lj_viscosity.png",
    "water-results/figures/water-run_msd_diffusion.png": "engines_water_diffusion.png",
    "water-results/figures/water-run_slope.png": "engines_water_slope.png",
}


def zorv_pp(work: Path, *arguments: str) -> None:
    """Runs zorv-pp in ``work`` as the page shows it: the command, then what it printed."""
    module_dir = os.environ.get("ZORV_MODULE_DIR", str(ROOT / "build" / "sid-py314" / "python"))
    env = {**os.environ, "PYTHONPATH": os.pathsep.join([str(ROOT / "python"), module_dir]), "PYTHONWARNINGS": "ignore"}
    print(f"$ zorv-pp {shlex.join(arguments)}", flush=True)
    done = subprocess.run(
        [sys.executable, "-m", "zorv_pp", *arguments], cwd=work, env=env, text=True, capture_output=True
    )
    print(done.stdout + done.stderr, flush=True)
    if done.returncode not in (0, 1):
        raise SystemExit(f"zorv-pp {arguments[0]} failed with status {done.returncode}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--work", type=Path, default=ROOT / "build" / "engine-docs", help="scratch folder")
    parser.add_argument("--lammps-steps", type=int, default=100_000)
    parser.add_argument("--gromacs-steps", type=int, default=50_000)
    parser.add_argument("--reuse", action="store_true", help="keep engine output already in --work")
    args = parser.parse_args()
    work = args.work.resolve()
    if not args.reuse:
        shutil.rmtree(work, ignore_errors=True)
        seconds = engine_runs.lammps(work / "lammps", "lj.in", steps=args.lammps_steps, every=50)
        print(f"# LAMMPS, {args.lammps_steps} steps: {seconds:.0f} s")
        seconds = engine_runs.gromacs_water(work / "gromacs", nsteps=args.gromacs_steps)
        print(f"# GROMACS, {args.gromacs_steps} steps: {seconds:.0f} s")
    for folder in ("lj-run", "lj-results", "water-run", "water-results"):
        shutil.rmtree(work / folder, ignore_errors=True)
    lj = ["lammps/unwrapped.dump", "--log", "lammps/log.lammps", "--mass", "1=1.0", "--mass", "2=2.0"]
    zorv_pp(
        work,
        "ordern",
        *lj,
        "--pressure",
        "lammps/pressure.dat",
        "--heat-flux",
        "lammps/heatflux.dat",
        "--out",
        "lj-run",
    )
    zorv_pp(work, "analyze", "lj-run", "--out", "lj-results")
    water = [
        "gromacs/run.xtc",
        "gromacs/water.gro",
        "--pressure",
        "gromacs/energy.xvg",
        "--species",
        "water=resname SOL",
    ]
    zorv_pp(work, "ordern", *water, "--out", "water-run")
    zorv_pp(work, "analyze", "water-run", "--out", "water-results")
    print((work / "water-run" / "ordern.log").read_text())
    for source, target in FIGURES.items():
        shutil.copy(work / source, ROOT / "docs" / "figures" / target)
        print(f"# docs/figures/{target}")


if __name__ == "__main__":
    main()
