"""The ``zorv-pp`` command: analyse run folders or a campaign file.

Exit status: 0 when every run was analysed, 1 when some failed (the rest are
still reported), 2 for a usage error (bad arguments or a bad campaign file).
"""
from __future__ import annotations

import argparse
import dataclasses
import os
import re
import sys
from collections.abc import Callable, Sequence
from pathlib import Path
from typing import Any

from .errors import CampaignError
from .units import STYLES
from .window import FIT_GROUPS, Window

#: Further subcommands register here: name -> function adding its parser.
SUBCOMMANDS: dict[str, Callable[[Any], None]] = {}


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
    common: dict[str, float | int] = {}
    per_group: dict[str, dict[str, float | int]] = {}
    for key, value in _pairs(values, str, "--window").items():
        group, _, setting = key.rpartition(".")
        if group and group not in FIT_GROUPS:
            raise UsageError(f"--window: unknown fit group {group!r} (known: {', '.join(FIT_GROUPS)})")
        try:
            number: float | int = int(value) if setting in ("min_window", "max_window") else float(value)
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


def _state_jobs(args: argparse.Namespace) -> tuple[list[Any], Any]:
    from .batch import StateJob, jobs_of
    from .campaign import load_campaign

    paths = [Path(p) for p in args.paths]
    if any(p.suffix == ".toml" for p in paths):
        if len(paths) != 1:
            raise UsageError("give either one campaign file or run folders, not both")
        campaign = load_campaign(paths[0])
        windows = window_settings(args.window) or campaign.windows
        return jobs_of(campaign), windows
    missing = [str(p) for p in paths if not p.is_dir()]
    if missing:
        raise UsageError(f"not a run folder: {', '.join(missing)}")
    states: dict[str, list[str]] = {}
    for path in paths:
        states.setdefault(os.fspath(path.resolve().parent), []).append(os.fspath(path))
    names = [Path(parent).name or parent for parent in states]
    if len(set(names)) != len(names):
        names = list(states)
    charges = _pairs(args.charge, float, "--charge") or None
    counts = _pairs(args.count, int, "--count") or None
    groups = _pairs(args.group, str, "--group") or None
    jobs = [StateJob(name, runs, args.units, counts, groups, args.temperature, charges, args.viscosity)
            for name, runs in zip(names, states.values())]
    return jobs, window_settings(args.window)


def run_analyze(args: argparse.Namespace) -> int:
    from .batch import analyze_states
    from .report import write_results

    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    jobs, windows = _state_jobs(args)
    result = analyze_states(jobs, window=windows, jobs=args.jobs, progress=args.progress, curves=args.figures)
    out = Path(args.out)
    failures = [dataclasses.asdict(f) for f in result.failures]
    states = {s.name: {"runs": list(s.runs), "metadata": dict(s.metadata)} for s in result.states}
    csv_path, json_path = write_results(out, result.rows(), {"states": states, "failures": failures})
    print(f"results: {csv_path} and {json_path} ({len(result.rows())} rows, {len(result.states)} states)")
    if args.figures and result.states:
        from .figures import state_figure, summary_figure

        drawn = [state_figure(s, out / "figures" / f"{safe_name(s.name)}_msd.png") for s in result.states]
        drawn.append(summary_figure(result.states, out / "figures" / "summary.png"))
        print(f"figures: {len([d for d in drawn if d])} in {out / 'figures'}")
    return finish(result.failures)


def finish(failures: Sequence[Any]) -> int:
    """Report every failure on standard error; the exit status: 1 if there were any."""
    for failure in failures:
        print(f"zorv-pp: failed: {failure}", file=sys.stderr)
    return 1 if failures else 0


def add_analyze(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "analyze", help="transport properties of run folders or of a campaign file",
        description="Analyse MD run folders (grouped into state points by their parent folder) or one "
                    "campaign file (TOML); write results.csv, results.json and figures.")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="run folders, or one campaign .toml file")
    parser.add_argument("--out", default="zorv_results", help="output folder (default: zorv_results)")
    parser.add_argument("--jobs", type=int, default=1, metavar="N", help="analyse runs in N processes")
    parser.add_argument("--units", choices=sorted(STYLES), help="LAMMPS unit style (default: each run's log)")
    parser.add_argument("--charge", action="append", metavar="SPECIES=Q", help="charge in e (repeat per species)")
    parser.add_argument("--count", action="append", metavar="SPECIES=N", help="molecule count (default: the log)")
    parser.add_argument("--group", action="append", metavar="SPECIES=GROUP", help="log group counting a species")
    parser.add_argument("--temperature", type=float, metavar="K", help="temperature of runs without temperature.dat")
    parser.add_argument("--viscosity", type=float, metavar="PA_S", help="shear viscosity for the Yeh-Hummer correction")
    parser.add_argument("--window", action="append", metavar="[GROUP.]KEY=VALUE",
                        help=f"fit setting (margin, min_window, max_window, max_error, min_displacement); "
                             f"GROUP one of {', '.join(FIT_GROUPS)}")
    parser.add_argument("--no-figures", dest="figures", action="store_false", help="write no figures")
    parser.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                        help="progress bar on standard error (default: when it is a terminal)")
    parser.set_defaults(func=run_analyze)


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog="zorv-pp", description="Transport properties of MD runs in SI units.")
    subparsers = parser.add_subparsers(dest="command", required=True)
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
        return int(args.func(args))
    except SystemExit as stop:  # argparse: --help gives 0, a usage error 2
        return stop.code if isinstance(stop.code, int) else 2
    except (UsageError, CampaignError) as error:
        print(f"zorv-pp: error: {error}", file=sys.stderr)
        return 2


def _load_subcommands() -> None:
    # Subcommands of other modules register themselves on import.
    import importlib

    for module in ("zorv_pp.koh.cli",):
        try:
            importlib.import_module(module)
        except ModuleNotFoundError as error:
            if error.name is None or not module.startswith(error.name):
                raise


if __name__ == "__main__":
    sys.exit(main())
