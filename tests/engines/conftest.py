"""Real engine runs, once per test session however many workers share it, in the session's scratch folder.

On the host (Debian 12) the engines are absent and these tests skip, saying what is missing; inside the
test root (ZORV_IN_ROOT) the engines are part of its provisioning, so their absence is a failure.
"""

import fcntl
import importlib
import os
import shutil
import sys
from collections.abc import Callable
from pathlib import Path
from types import ModuleType

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent))
import engine_runs as runs  # noqa: E402


def _missing(what: str) -> None:
    message = f"{what} is not installed (tools/sid-root.sh provisions it in the test root)"
    if os.environ.get("ZORV_IN_ROOT"):
        pytest.fail(message, pytrace=False)
    pytest.skip(message)


def require_program(name: str) -> None:
    if shutil.which(name) is None:
        _missing(f"the program {name!r}")


def require_module(name: str) -> ModuleType:
    try:
        return importlib.import_module(name)
    except ImportError:
        _missing(f"the Python module {name!r}")
        raise


def _shared_run(factory: pytest.TempPathFactory, name: str, make: Callable[[Path], float]) -> Path:
    """``make(folder)`` once for all xdist workers: the first one runs it under a lock, the others reuse it."""
    base = factory.getbasetemp()
    if os.environ.get("PYTEST_XDIST_WORKER"):
        base = base.parent
    folder, done = base / name, base / f"{name}.seconds"
    with open(base / f"{name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not done.exists():
            shutil.rmtree(folder, ignore_errors=True)
            done.write_text(f"{make(folder):.1f}\n")
    return folder


@pytest.fixture(scope="session")
def lammps_lj(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """Two-type LJ liquid, units lj: dumps unwrapped (+velocities), with images, wrapped, sparse; P tensor, J."""
    require_program("lmp")
    return _shared_run(tmp_path_factory, "lammps-lj", lambda folder: runs.lammps(folder, "lj.in"))


@pytest.fixture(scope="session")
def lammps_real(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """Liquid argon, units real, 20 ps: a dump with velocities beside the thermo temperature; P tensor, J."""
    require_program("lmp")
    return _shared_run(tmp_path_factory, "lammps-real", lambda folder: runs.lammps(folder, "real.in"))


@pytest.fixture(scope="session")
def gromacs_water(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """SPC/E water for 10 ps (NVT): run.tpr, run.xtc, run.trr (velocities), run.gro, energy.xvg (pressure tensor and temperature)."""
    require_program("gmx")
    return _shared_run(tmp_path_factory, "gromacs-water", runs.gromacs_water)


@pytest.fixture(scope="session")
def mda() -> ModuleType:
    return require_module("MDAnalysis")
