"""The ``zorv-pp analyze`` subcommand: transport properties of run folders or of a campaign file."""

from __future__ import annotations

import argparse
import dataclasses
import math
import os
import sys
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any

from .. import __version__
from ..errors import ZorvError
from ..msdfit.window import windows_for
from ..output.writer import Outputs, write_outputs
from ..run import DENSITY_UNITS, density_unit_name
from ..units import STYLES
from .options import (
    EXIT_CODES,
    UsageError,
    check_output_folder,
    common_options,
    counted,
    explain,
    finish,
    pairs,
    report_warnings,
    tell,
    window_settings,
)

#: Options that only run folders take; a campaign file sets each itself.
FOLDER_OPTIONS = {
    "units": "units =",
    "charge": "[species.NAME] charge =",
    "count": "[species.NAME] group =",
    "group": "[species.NAME] group =",
    "temperature": "[[state]] temperature =",
    "viscosity": "viscosity =",
    "run_length": "run_length =",
    "density_unit": "density_unit =",
}


def state_jobs(args: argparse.Namespace) -> tuple[list[Any], Any, bool]:
    from ..campaign.batch import StateJob, jobs_of
    from ..campaign.file import load_campaign

    paths = [Path(p) for p in args.paths]
    if any(p.suffix == ".toml" for p in paths):
        if len(paths) != 1:
            raise UsageError("give either one campaign file or run folders, not both")
        for option, key in FOLDER_OPTIONS.items():
            if getattr(args, option) is not None:
                flag = "--" + option.replace("_", "-")
                raise UsageError(f"{flag} applies to run folders; a campaign file sets it itself ({key})")
        campaign = load_campaign(paths[0])
        windows = window_settings(args.window) or campaign.windows
        return jobs_of(campaign), windows, True
    missing = [str(p) for p in paths if not p.is_dir()]
    if missing:
        raise UsageError(f"not a run folder: {', '.join(missing)}")
    for option in ("temperature", "viscosity", "run_length"):
        value = getattr(args, option)
        if value is not None and not (math.isfinite(value) and value > 0.0):
            raise UsageError(f"--{option.replace('_', '-')} must be a positive number, not {value!r}")
    if args.density_unit is not None and density_unit_name(args.density_unit) is None:
        raise UsageError(
            f"--density-unit {args.density_unit}: not a unit of density.dat; give one of {', '.join(DENSITY_UNITS)}"
        )
    given: dict[Path, Path] = {}
    for path in paths:
        if path.resolve() in given:
            twice = f"{given[path.resolve()]} and {path}" if given[path.resolve()] != path else f"{path} twice"
            raise UsageError(
                f"the run folder {path.resolve()} is given twice ({twice}): a replica counts once, "
                f"so give each run folder once"
            )
        given[path.resolve()] = path
    states: dict[str, list[str]] = {}
    for path in paths:
        states.setdefault(os.fspath(path.resolve().parent), []).append(os.fspath(path))
    # A state of one run is named after that run's folder, several after the folder holding them.
    names = [
        Path(runs[0]).resolve().name if len(runs) == 1 else Path(parent).name or parent
        for parent, runs in states.items()
    ]
    if len(set(names)) != len(names):
        names = list(states)
    charges = pairs(args.charge, float, "--charge") or None
    counts = pairs(args.count, int, "--count") or None
    groups = pairs(args.group, str, "--group") or None
    check_species_options(paths, {"--count": counts or {}, "--group": groups or {}})
    jobs = [
        StateJob(
            name,
            runs,
            args.units,
            counts,
            groups,
            args.temperature,
            charges,
            args.viscosity,
            run_length=args.run_length,
            density_unit=args.density_unit,
        )
        for name, runs in zip(names, states.values())
    ]
    return jobs, window_settings(args.window), False


def check_species_options(paths: Sequence[Path], options: Mapping[str, Mapping[str, Any]]) -> None:
    """Refuse an option that names a species none of the runs' tables name, listing those they do."""
    from ..run.species import header_species

    given = {name for values in options.values() for name in values}
    if not given:
        return
    have: dict[str, None] = {}
    for path in paths:
        try:
            have.update(dict.fromkeys(header_species(path, given)))
        except (ZorvError, OSError):
            continue  # the analysis says what is wrong with this run
    if not have:
        return
    for flag, values in options.items():
        unknown = [name for name in values if name not in have]
        if unknown:
            raise UsageError(
                f"{flag} {unknown[0]}=...: no run has a species {unknown[0]!r}; the runs' species are {', '.join(have)}"
            )


def page_title(paths: Sequence[str], campaign: bool, result: Any) -> str:
    """What the report page is of: the campaign file, or the states of the run folders given."""
    if campaign:
        return f"Transport properties of the campaign {Path(paths[0]).name}"
    names = ", ".join(state.name for state in result.states) or "no state"
    return f"Transport properties of {names} ({counted(len(paths), 'run folder')})"


def run_analyze(args: argparse.Namespace) -> int:
    from ..campaign.batch import analyze_states
    from ..figures import draw_all
    from ..output.report_page import write_report

    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    jobs, windows, campaign = state_jobs(args)
    out = Path(args.out)
    check_output_folder(out)
    result = analyze_states(jobs, window=windows, jobs=args.jobs, progress=args.progress, curves=args.figures)
    failures = explain(result.failures, campaign)
    states = {s.name: {"runs": list(s.runs), "metadata": dict(s.metadata)} for s in result.states}
    extra = {
        "version": __version__,
        "states": states,
        "runs": report_warnings(result.runs),
        "failures": [dataclasses.asdict(f) for f in failures],
    }
    if not args.quiet:
        for state in result.states:
            print(f"{state}\n")
    charges = {name: q for job in jobs for name, q in (job.charges or {}).items()} or None
    settings = {
        "windows": {g: dataclasses.asdict(w) for g, w in windows_for(windows).items()},
        "paths": list(args.paths),
        "jobs": args.jobs,
        "format": args.format,
        "version": __version__,
    }
    shown = dataclasses.replace(result, failures=failures)
    rows = result.rows()
    written = write_outputs(
        out,
        Outputs(
            rows,
            extra,
            lambda path, drawn: write_report(path, shown, drawn, settings, page_title(args.paths, campaign, result)),
            (lambda folder: draw_all(result.states, folder, fmt=args.format, charges=charges))
            if args.figures and result.states
            else None,
        ),
    )
    tell(written, f"{counted(len(rows), 'row')}, {counted(len(result.states), 'state')}")
    status = finish(failures)
    if not result.states:
        print("zorv-pp: error: nothing was analysed", file=sys.stderr)
        return 1
    return status


ANALYZE_EPILOG = f"""examples:
  zorv-pp analyze runs/m2.0/rep1 runs/m2.0/rep2 --charge K=1 --charge OH=-1 --charge water=0
  zorv-pp analyze run_without_log --units real --count K=20 --count OH=20 --count water=500
  zorv-pp analyze campaign.toml --jobs 2 --format pdf --out results

Run folders are grouped into state points by their parent folder. A campaign
file sets units, species, counts and state metadata itself (see the README).

{EXIT_CODES}"""


def add_analyze(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "analyze",
        help="transport properties of run folders or of a campaign file",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog=ANALYZE_EPILOG,
        description="Analyse MD run folders (grouped into state points by their parent folder) or one "
        "campaign file (TOML); write results.csv, results.json, figures and report.html.",
    )
    parser.add_argument("paths", nargs="+", metavar="PATH", help="run folders, or one campaign .toml file")
    output = common_options(parser, "zorv_results")
    output.add_argument(
        "--quiet", action="store_true", help="print only where the files went, not the table of every state's values"
    )
    folders = parser.add_argument_group("run folders only (a campaign file sets these itself)")
    folders.add_argument("--units", choices=sorted(STYLES), help="LAMMPS unit style (default: each run's log)")
    folders.add_argument("--charge", action="append", metavar="SPECIES=Q", help="charge in e (repeat per species)")
    folders.add_argument(
        "--count", action="append", metavar="SPECIES=N", help="molecule count (default: the log's group of that name)"
    )
    folders.add_argument("--group", action="append", metavar="SPECIES=GROUP", help="log group counting a species")
    folders.add_argument("--temperature", type=float, metavar="K", help="temperature of runs without temperature.dat")
    folders.add_argument(
        "--viscosity", type=float, metavar="PA_S", help="shear viscosity for the Yeh-Hummer correction"
    )
    folders.add_argument(
        "--run-length", type=float, metavar="T", help="production length in the runs' time unit (default: the log)"
    )
    folders.add_argument(
        "--density-unit",
        metavar="UNIT",
        help=f"unit of density.dat: {' or '.join(DENSITY_UNITS)} (default: decided from the run)",
    )
    parser.set_defaults(func=run_analyze)
