"""The ``zorv-pp ordern`` subcommand: a run folder of order-n tables from a trajectory and series files."""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path
from typing import Any

from ..errors import ZorvError
from ..units import STYLES
from .options import UsageError, check_output_folder, pairs

ORDERN_EPILOG = """examples:
  zorv-pp ordern dump.lammpstrj --units real --log log.lammps --mass 1=15.9994 --mass 2=1.008 --out run
  zorv-pp ordern traj.xtc topol.tpr --species wat="resname SOL" --species na="name NA" --out run
  zorv-pp ordern traj.trr topol.tpr --pressure energy.xvg --every 10 --out run
  zorv-pp ordern --pressure pressure.dat --heat-flux flux.dat --units metal --timestep 0.001 --out run

Positions are unwrapped by the dump's xu yu zu or image flags, else from frame
to frame; molecules are followed by their centres of mass. A LAMMPS series is
a fix ave/time file; a GROMACS one the xvg of 'gmx energy'. Then:
  zorv-pp analyze run

exit status:
  0  the run folder was written
  2  usage error: bad arguments or input that cannot be sampled"""


def _names(value: str | None, count: int, flag: str) -> list[str] | None:
    if value is None:
        return None
    names = [n for n in value.replace(",", " ").split() if n]
    if len(names) != count:
        raise UsageError(f"{flag} takes {count} column names separated by commas, not {value!r}")
    return names


def _positive(args: argparse.Namespace, *names: str) -> None:
    for name in names:
        value = getattr(args, name)
        if value is not None and not (math.isfinite(value) and value > 0.0):
            raise UsageError(f"--{name.replace('_', '-')} must be a positive number, not {value!r}")


def _temperature(value: str | None) -> float | str | None:
    """A number of kelvin, or the name of a series file of the engine's temperature."""
    if value is None:
        return None
    try:
        kelvin = float(value)
    except ValueError:
        return value
    if not (math.isfinite(kelvin) and kelvin > 0.0):
        raise UsageError(f"--temperature must be a positive number or a series file, not {value!r}")
    return kelvin


def run_ordern(args: argparse.Namespace) -> int:
    from ..ordern import ordern

    if args.topology is not None and args.trajectory is None:
        raise UsageError("a topology needs its trajectory")
    _positive(args, "timestep", "volume")
    if args.mean_pressure is not None and not math.isfinite(args.mean_pressure):
        raise UsageError(f"--mean-pressure must be a number, not {args.mean_pressure!r}")
    check_output_folder(Path(args.out))
    try:
        folder = ordern(
            args.trajectory,
            args.topology,
            out=args.out,
            species=pairs(args.species, str, "--species") or None,
            pressure=args.pressure,
            heat_flux=args.heat_flux,
            nb=args.nb,
            nbe=args.nbe,
            every=args.every,
            units=args.units,
            mean_pressure=args.mean_pressure,
            temperature=_temperature(args.temperature),
            volume=args.volume,
            timestep=args.timestep,
            log=args.log,
            masses=pairs(args.mass, float, "--mass") or None,
            pressure_columns=_names(args.pressure_columns, 6, "--pressure-columns"),
            heat_flux_columns=_names(args.heat_flux_columns, 3, "--heat-flux-columns"),
            overwrite=args.overwrite,
            progress=bool(args.progress),
        )
    except (ZorvError, OSError) as error:
        raise UsageError(str(error)) from None
    for warning in folder.warnings:
        print(f"zorv-pp: warning: {warning}", file=sys.stderr)
    tables = ", ".join(f"{kind}.dat" for kind in folder.sampling)
    species = ", ".join(f"{name} {count}" for name, count in folder.counts.items())
    print(f"run folder: {folder.path} ({tables}{'; species ' + species if species else ''})")
    print(f"next: zorv-pp analyze {folder.path}")
    return 0


def add_ordern(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "ordern",
        help="a run folder of order-n tables from a trajectory and pressure or heat-flux series",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog=ORDERN_EPILOG,
        description="Sample order-n MSD tables after the run: diffself.dat and diffonsag.dat from a trajectory "
        "(LAMMPS dump, GROMACS xtc/trr, DCD; read with MDAnalysis), viscosity.dat and tconductivity.dat from "
        "pressure-tensor and heat-flux series, with volume.dat, temperature.dat and ordern.log.",
    )
    parser.add_argument("trajectory", nargs="?", metavar="TRAJECTORY", help="trajectory file (optional)")
    parser.add_argument("topology", nargs="?", metavar="TOPOLOGY", help="topology (.tpr, .gro, PSF, LAMMPS data)")
    parser.add_argument("--out", required=True, metavar="RUN_FOLDER", help="the run folder to write")
    parser.add_argument(
        "--species", action="append", metavar="NAME=SELECTION", help="a species as an MDAnalysis selection (repeat)"
    )
    parser.add_argument("--pressure", metavar="FILE", help="pressure-tensor series (fix ave/time or xvg)")
    parser.add_argument("--heat-flux", metavar="FILE", help="heat-flux series (fix ave/time of compute heat/flux)")
    parser.add_argument("--pressure-columns", metavar="XX,YY,ZZ,XY,XZ,YZ", help="names of the pressure columns")
    parser.add_argument("--heat-flux-columns", metavar="X,Y,Z", help="names of the heat-flux columns")
    parser.add_argument("--nb", type=int, default=10, help="order-n blocks (default: 10)")
    parser.add_argument("--nbe", type=int, default=20, help="elements per block (default: 20)")
    parser.add_argument("--every", type=int, default=1, metavar="N", help="use every N-th frame (default: 1)")
    parser.add_argument("--units", choices=sorted(STYLES), help="LAMMPS unit style (default: --log's)")
    parser.add_argument("--timestep", type=float, metavar="DT", help="LAMMPS timestep (default: --log's)")
    parser.add_argument("--log", metavar="LOG", help="the LAMMPS log, for the unit style and timestep")
    parser.add_argument("--mass", action="append", metavar="TYPE=MASS", help="mass of a dump's atom type (repeat)")
    parser.add_argument(
        "--mean-pressure",
        type=float,
        metavar="P",
        help="pressure subtracted for the bulk viscosity (default: own mean)",
    )
    parser.add_argument(
        "--temperature",
        metavar="K_OR_FILE",
        help="temperature, or a series file of the engine's (default: a series' Temperature column, else the "
        "trajectory's velocities)",
    )
    parser.add_argument("--volume", type=float, metavar="V", help="volume in the style's unit, replacing the files'")
    parser.add_argument("--overwrite", action="store_true", help="replace the tables of an earlier folder")
    parser.add_argument("--progress", action="store_true", help="a progress bar over the frames")
    parser.set_defaults(func=run_ordern)
