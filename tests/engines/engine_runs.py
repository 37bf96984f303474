"""Short runs of real MD engines (LAMMPS, GROMACS) from the inputs beside this file, as a user runs them.

Used by the engine tests' fixtures and, with longer runs, by the script that draws the engines page.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import time
from pathlib import Path

INPUTS = Path(__file__).resolve().parent / "inputs"
# GROMACS keeps numbered backups of every file it overwrites; OpenMPI and UCX probe devices a
# chroot lacks and say so on stderr, which only hides a real error.
QUIET = {"GMX_MAXBACKUP": "-1", "OMPI_MCA_btl": "self", "OMPI_MCA_pml": "ob1", "UCX_WARN_UNUSED_ENV_VARS": "n"}
# The sanitized pass preloads its runtime into the interpreter; the engines are not built for it.
ENVIRONMENT = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"} | QUIET


class EngineFailed(RuntimeError):
    pass


def _run(command: list[str], folder: Path, stdin: str | None = None) -> None:
    done = subprocess.run(
        command, cwd=folder, input=stdin, capture_output=True, text=True, env=ENVIRONMENT, check=False
    )
    if done.returncode != 0:
        tail = "\n".join((done.stdout + done.stderr).splitlines()[-25:])
        raise EngineFailed(f"{' '.join(command)} failed in {folder} ({done.returncode}):\n{tail}")


def lammps(folder: Path, script: str, **variables: int) -> float:
    """Runs ``inputs/script`` with ``-var NAME VALUE`` for each variable in ``folder``; the seconds it took."""
    folder.mkdir(parents=True, exist_ok=True)
    start = time.perf_counter()
    command = ["lmp", "-nocite", "-screen", "none", "-log", "log.lammps", "-in", str(INPUTS / script)]
    for name, value in variables.items():
        command += ["-var", name, str(value)]
    _run(command, folder)
    return time.perf_counter() - start


def gromacs_water(folder: Path, nsteps: int | None = None) -> float:
    """SPC/E water: solvate a 1.9 nm box, grompp, mdrun on one thread, then the energy terms as .xvg."""
    folder.mkdir(parents=True, exist_ok=True)
    start = time.perf_counter()
    shutil.copy(INPUTS / "topol.top", folder / "topol.top")
    gmx = ["gmx", "-quiet"]
    _run(
        [*gmx, "solvate", "-cs", "spc216.gro", "-box", "1.9", "1.9", "1.9", "-o", "water.gro", "-p", "topol.top"],
        folder,
    )
    _run(
        [*gmx, "grompp", "-f", str(INPUTS / "water.mdp"), "-c", "water.gro", "-p", "topol.top", "-o", "run.tpr"], folder
    )
    steps = [] if nsteps is None else ["-nsteps", str(nsteps)]
    _run([*gmx, "mdrun", "-nt", "1", "-s", "run.tpr", "-deffnm", "run", *steps], folder)
    # gmx energy takes one term per line; the output's columns follow the energy file's order.
    terms = [f"Pres-{c}" for c in ("XX", "YY", "ZZ", "XY", "XZ", "YZ")] + ["Temperature"]
    _run([*gmx, "energy", "-f", "run.edr", "-o", "energy.xvg"], folder, stdin="\n".join(terms) + "\n\n")
    return time.perf_counter() - start
