"""The ``zorv-pp`` command: analyse run folders or a campaign file.

Exit status: 0 when every run was analysed, 1 when some run or state failed
or nothing was analysed at all (what could be analysed is still written),
2 for a usage error (bad arguments or a bad campaign file).
"""
from __future__ import annotations

import argparse
import dataclasses
import os
import re
import sys
import tempfile
from collections.abc import Callable, Mapping, Sequence
from pathlib import Path
from typing import Any

from . import __version__
from .errors import CampaignError, ZorvError
from .run.density import DENSITY_UNITS, density_unit_name
from .units import STYLES
from .msdfit.window import Window, windows_for
from .properties import fit_groups

#: Further subcommands register here: name -> function adding its parser.
SUBCOMMANDS: dict[str, Callable[[Any], None]] = {}

EXIT_CODES = """exit status:
  0  every run was analysed
  1  some run or state failed, or nothing was analysed (the rest is still written)
  2  usage error: bad arguments or a bad campaign file"""

FORMATS = ("png", "pdf", "svg")
#: Options that only run folders take; a campaign file sets each itself.
FOLDER_OPTIONS = {"units": "units =", "charge": "[species.NAME] charge =", "count": "[species.NAME] group =",
                  "group": "[species.NAME] group =", "temperature": "[[state]] temperature =",
                  "viscosity": "viscosity =", "run_length": "run_length =", "density_unit": "density_unit ="}


class UsageError(Exception):
    """Bad command-line arguments: exit status 2."""


def _pairs(values: Sequence[str] | None, convert: Callable[[str], Any], what: str) -> dict[str, Any]:
    found = {}
    for item in values or ():
        name, sep, value = item.partition("=")
        if not sep or not name:
            raise UsageError(f"{what} must be NAME=VALUE, not {item!r}")
        try:
            found[name] = convert(value)
        except ValueError:
            raise UsageError(f"{what} {item!r}: {value!r} is not a valid value") from None
    return found


def window_settings(values: Sequence[str] | None) -> dict[str, Window] | None:
    """Fit settings from ``KEY=VALUE`` (every group) or ``GROUP.KEY=VALUE`` items."""
    if not values:
        return None
    common: dict[str, Any] = {}
    per_group: dict[str, dict[str, Any]] = {}
    for key, value in _pairs(values, str, "--window").items():
        group, _, setting = key.rpartition(".")
        if group and group not in fit_groups():
            raise UsageError(f"--window: unknown fit group {group!r} (known: {', '.join(fit_groups())})")
        try:
            number: Any = (value if setting == "method" else
                           int(value) if setting in ("min_window", "max_window") else float(value))
        except ValueError:
            raise UsageError(f"--window {key}={value}: not a number") from None
        (per_group.setdefault(group, {}) if group else common)[setting] = number
    try:
        base = Window.from_mapping(common)
        windows = {"default": base}
        windows.update({group: Window.from_mapping(settings, base) for group, settings in per_group.items()})
    except ValueError as error:
        raise UsageError(f"--window: {error}") from None
    return windows


def safe_name(name: str) -> str:
    """A file-name-safe form of a state name."""
    return re.sub(r"[^A-Za-z0-9._-]+", "_", name).strip("._") or "state"


def missing_counts_hint(species: Sequence[str], campaign: bool) -> str:
    """How the interface in use takes the counts of ``species``: the flags, or a campaign file's keys."""
    names = ", ".join(species)
    if campaign:
        tables = ", ".join(f"[species.{name}]" for name in species)
        return (f"no molecule count for species {names}: give each a table {tables} in the campaign file whose "
                f"group = \"...\" names the log group counting it (and atoms_per_molecule if the group holds "
                f"whole molecules), and keep each run's LAMMPS log beside its tables")
    counts = " ".join(f"--count {name}=N" for name in species)
    return (f"no molecule count for species {names}: give {counts}, or --group SPECIES=GROUP for each to count "
            f"it by a group of the run's LAMMPS log")


def explain(failures: Sequence[Any], campaign: bool) -> list[Any]:
    """The failures, those of runs without molecule counts told how this interface takes them."""
    return [dataclasses.replace(f, message=missing_counts_hint(f.missing_species, campaign))
            if getattr(f, "missing_species", ()) else f for f in failures]


def _state_jobs(args: argparse.Namespace) -> tuple[list[Any], Any, bool]:
    from .campaign.batch import StateJob, jobs_of
    from .campaign.file import load_campaign

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
    if args.density_unit is not None and density_unit_name(args.density_unit) is None:
        raise UsageError(f"--density-unit {args.density_unit}: not a unit of density.dat; give one of "
                         f"{', '.join(DENSITY_UNITS)}")
    given: dict[Path, Path] = {}
    for path in paths:
        if path.resolve() in given:
            twice = f"{given[path.resolve()]} and {path}" if given[path.resolve()] != path else f"{path} twice"
            raise UsageError(f"the run folder {path.resolve()} is given twice ({twice}): a replica counts once, "
                             f"so give each run folder once")
        given[path.resolve()] = path
    states: dict[str, list[str]] = {}
    for path in paths:
        states.setdefault(os.fspath(path.resolve().parent), []).append(os.fspath(path))
    # A state of one run is named after that run's folder, several after the folder holding them.
    names = [Path(runs[0]).resolve().name if len(runs) == 1 else Path(parent).name or parent
             for parent, runs in states.items()]
    if len(set(names)) != len(names):
        names = list(states)
    charges = _pairs(args.charge, float, "--charge") or None
    counts = _pairs(args.count, int, "--count") or None
    groups = _pairs(args.group, str, "--group") or None
    check_species_options(paths, {"--count": counts or {}, "--group": groups or {}})
    jobs = [StateJob(name, runs, args.units, counts, groups, args.temperature, charges, args.viscosity,
                     run_length=args.run_length, density_unit=args.density_unit)
            for name, runs in zip(names, states.values())]
    return jobs, window_settings(args.window), False


def check_species_options(paths: Sequence[Path], options: Mapping[str, Mapping[str, Any]]) -> None:
    """Refuse an option that names a species none of the runs' tables name, listing those they do."""
    from .run.species import header_species

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
            raise UsageError(f"{flag} {unknown[0]}=...: no run has a species {unknown[0]!r}; the runs' species are "
                             f"{', '.join(have)}")


def check_output_folder(out: Path) -> None:
    """Create ``out`` and write a scratch file into it, before any analysis: a usage error if it cannot be."""
    try:
        out.mkdir(parents=True, exist_ok=True)
        with tempfile.TemporaryFile(dir=out):
            pass
    except OSError as error:
        why = "it is a file" if out.exists() and not out.is_dir() else error.strerror or str(error)
        raise UsageError(f"cannot write the output folder {out}: {why}") from None


def _warning_fields(warning: Any) -> dict[str, Any]:
    return {"code": getattr(warning, "code", ""), "file": getattr(warning, "file", None),
            "message": getattr(warning, "message", str(warning))}


def report_warnings(records: Sequence[Any]) -> list[dict[str, Any]]:
    """Print every run warning on standard error; their records, per run, for results.json."""
    runs = []
    for record in records:
        fields = [_warning_fields(w) for w in record.warnings]
        for w in fields:
            where = f"{record.run}: {w['file']}" if w["file"] else record.run
            print(f"zorv-pp: warning: {where}: {w['message']} [{w['code']}]", file=sys.stderr)
        runs.append({"state": record.state, "run": record.run, "warnings": fields})
    return runs


def run_analyze(args: argparse.Namespace) -> int:
    from .campaign.batch import analyze_states
    from .output.results import write_results

    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    jobs, windows, campaign = _state_jobs(args)
    out = Path(args.out)
    check_output_folder(out)
    result = analyze_states(jobs, window=windows, jobs=args.jobs, progress=args.progress, curves=args.figures)
    failures = explain(result.failures, campaign)
    states = {s.name: {"runs": list(s.runs), "metadata": dict(s.metadata)} for s in result.states}
    extra = {"version": __version__, "states": states, "runs": report_warnings(result.runs),
             "failures": [dataclasses.asdict(f) for f in failures]}
    if not args.quiet:
        for state in result.states:
            print(f"{state}\n")
    csv_path, json_path = write_results(out, result.rows(), extra)
    print(f"results: {csv_path} and {json_path} ({len(result.rows())} rows, {len(result.states)} states)")
    drawn: list[Path] = []
    if args.figures and result.states:
        charges = {name: q for job in jobs for name, q in (job.charges or {}).items()}
        drawn = _figures(result.states, out / "figures", args.format, charges)
        print(f"figures: {len(drawn)} in {out / 'figures'}")
    settings = {"windows": {g: dataclasses.asdict(w) for g, w in windows_for(windows).items()},
                "paths": list(args.paths), "jobs": args.jobs, "format": args.format, "version": __version__}
    page = _html_report(out / "report.html", dataclasses.replace(result, failures=failures), drawn, settings)
    if page is not None:
        print(f"report: {page}")
    status = finish(failures)
    if not result.states:
        print("zorv-pp: error: nothing was analysed", file=sys.stderr)
        return 1
    return status


def _figures(states: Sequence[Any], folder: Path, fmt: str, charges: dict[str, float]) -> list[Path]:
    from .figures import draw_all

    return list(draw_all(states, folder, fmt=fmt, charges=charges or None))


def _html_report(path: Path, result: Any, figures: list[Path], settings: dict[str, Any]) -> Path | None:
    from .output.report_page import write_report

    write_report(path, result, figures=figures, settings=settings)
    return path


def finish(failures: Sequence[Any]) -> int:
    """Report every failure on standard error; the exit status: 1 if there were any."""
    for failure in failures:
        print(f"zorv-pp: failed: {failure}", file=sys.stderr)
    return 1 if failures else 0


def common_options(parser: argparse.ArgumentParser, out: str) -> argparse._ArgumentGroup:
    """The options of output and fitting that folders and campaign files share, in their own group."""
    group = parser.add_argument_group("output and fitting (run folders and campaign files)")
    group.add_argument("--out", default=out, help=f"output folder (default: {out})")
    group.add_argument("--jobs", type=int, default=1, metavar="N", help="analyse runs in N processes (default: 1)")
    settings = ", ".join(f.name for f in dataclasses.fields(Window))
    group.add_argument("--window", action="append", metavar="[GROUP.]KEY=VALUE",
                       help=f"fit setting ({settings}); GROUP one of {', '.join(fit_groups())}; "
                            f"with a campaign file, replaces its [window]")
    group.add_argument("--format", choices=FORMATS, default="png", help="figure format (default: png)")
    group.add_argument("--no-figures", dest="figures", action="store_false", help="write no figures")
    group.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                       help="progress bar on standard error (default: when it is a terminal)")
    return group


ANALYZE_EPILOG = f"""examples:
  zorv-pp analyze runs/m2.0/rep1 runs/m2.0/rep2 --charge K=1 --charge OH=-1 --charge water=0
  zorv-pp analyze run_without_log --units real --count K=20 --count OH=20 --count water=500
  zorv-pp analyze campaign.toml --jobs 2 --format pdf --out results

Run folders are grouped into state points by their parent folder. A campaign
file sets units, species, counts and state metadata itself (see the README).

{EXIT_CODES}"""


def add_analyze(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "analyze", help="transport properties of run folders or of a campaign file",
        formatter_class=argparse.RawDescriptionHelpFormatter, epilog=ANALYZE_EPILOG,
        description="Analyse MD run folders (grouped into state points by their parent folder) or one "
                    "campaign file (TOML); write results.csv, results.json, figures and report.html.")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="run folders, or one campaign .toml file")
    output = common_options(parser, "zorv_results")
    output.add_argument("--quiet", action="store_true",
                        help="print only where the files went, not the table of every state's values")
    folders = parser.add_argument_group("run folders only (a campaign file sets these itself)")
    folders.add_argument("--units", choices=sorted(STYLES), help="LAMMPS unit style (default: each run's log)")
    folders.add_argument("--charge", action="append", metavar="SPECIES=Q", help="charge in e (repeat per species)")
    folders.add_argument("--count", action="append", metavar="SPECIES=N",
                         help="molecule count (default: the log's group of that name)")
    folders.add_argument("--group", action="append", metavar="SPECIES=GROUP", help="log group counting a species")
    folders.add_argument("--temperature", type=float, metavar="K", help="temperature of runs without temperature.dat")
    folders.add_argument("--viscosity", type=float, metavar="PA_S", help="shear viscosity for the Yeh-Hummer correction")
    folders.add_argument("--run-length", type=float, metavar="T",
                         help="production length in the runs' time unit (default: the log)")
    folders.add_argument("--density-unit", metavar="UNIT",
                         help=f"unit of density.dat: {' or '.join(DENSITY_UNITS)} (default: decided from the run)")
    parser.set_defaults(func=run_analyze)


MAIN_EPILOG = f"""examples:
  zorv-pp analyze path/to/run                      # one run folder, units and counts from its log
  zorv-pp analyze campaign.toml --out results      # every state point of a campaign file
  zorv-pp koh campaign.toml                        # the KOH(aq) study of a campaign

'zorv-pp COMMAND --help' tells more about each command.

{EXIT_CODES}"""


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="zorv-pp", description="Transport properties of MD runs in SI units.",
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=MAIN_EPILOG)
    parser.add_argument("--version", action="version", version=f"zorv-pp {__version__}")
    subparsers = parser.add_subparsers(dest="command", metavar="COMMAND")
    add_analyze(subparsers)
    for add in SUBCOMMANDS.values():
        add(subparsers)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line; returns the exit status."""
    _load_subcommands()
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
        if args.command is None:  # no command: the whole help, as a usage error
            parser.print_help(sys.stderr)
            return 2
        return int(args.func(args))
    except SystemExit as stop:  # argparse: --help gives 0, a usage error 2
        return stop.code if isinstance(stop.code, int) else 2
    except (UsageError, CampaignError) as error:
        print(f"zorv-pp: error: {error}", file=sys.stderr)
        return 2


def _load_subcommands() -> None:
    # Subcommands of other modules register themselves on import.
    import importlib

    for module in ("zorv_pp.koh.command",):
        try:
            importlib.import_module(module)
        except ModuleNotFoundError as error:
            if error.name is None or not module.startswith(error.name):
                raise


if __name__ == "__main__":
    sys.exit(main())
