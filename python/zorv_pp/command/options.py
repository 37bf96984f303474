"""What the subcommands share: usage errors, exit status, the output and fitting options, and how
failures and warnings are told."""

from __future__ import annotations

import argparse
import dataclasses
import os
import sys
import tempfile
from collections.abc import Callable, Sequence
from pathlib import Path
from typing import Any

from ..figures.common import FORMATS
from ..msdfit.window import Window
from ..output.writer import Written
from ..properties import fit_groups

EXIT_CODES = """exit status:
  0  every run was analysed
  1  some run or state failed, or nothing was analysed (the rest is still written)
  2  usage error: bad arguments or a bad campaign file"""


class UsageError(Exception):
    """Bad command-line arguments: exit status 2."""


def pairs(values: Sequence[str] | None, convert: Callable[[str], Any], what: str) -> dict[str, Any]:
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
    for key, value in pairs(values, str, "--window").items():
        group, _, setting = key.rpartition(".")
        if group and group not in fit_groups():
            raise UsageError(f"--window: unknown fit group {group!r} (known: {', '.join(fit_groups())})")
        try:
            number: Any = (
                value
                if setting == "method"
                else int(value)
                if setting in ("min_window", "max_window")
                else float(value)
            )
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


def missing_counts_hint(species: Sequence[str], campaign: bool) -> str:
    """How the interface in use takes the counts of ``species``: the flags, or a campaign file's keys."""
    names = ", ".join(species)
    if campaign:
        tables = ", ".join(f"[species.{name}]" for name in species)
        return (
            f"no molecule count for species {names}: give each a table {tables} in the campaign file whose "
            f'group = "..." names the log group counting it (and atoms_per_molecule if the group holds '
            f"whole molecules), and keep each run's LAMMPS log beside its tables"
        )
    counts = " ".join(f"--count {name}=N" for name in species)
    return (
        f"no molecule count for species {names}: give {counts}, or --group SPECIES=GROUP for each to count "
        f"it by a group of the run's LAMMPS log"
    )


def explain(failures: Sequence[Any], campaign: bool) -> list[Any]:
    """The failures, those of runs without molecule counts told how this interface takes them."""
    return [
        dataclasses.replace(f, message=missing_counts_hint(f.missing_species, campaign))
        if getattr(f, "missing_species", ())
        else f
        for f in failures
    ]


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
    return {
        "code": getattr(warning, "code", ""),
        "file": getattr(warning, "file", None),
        "message": getattr(warning, "message", str(warning)),
    }


def shown_path(path: str) -> str:
    """``path`` as the user would type it: relative to the working folder when it lies inside it."""
    relative = os.path.relpath(path) if os.path.isabs(path) else path
    return path if relative.startswith("..") else relative


def report_warnings(records: Sequence[Any]) -> list[dict[str, Any]]:
    """Print the run warnings on standard error, each once per state with the runs it concerns; their
    records, per run, for results.json."""
    runs = []
    said: dict[tuple[str, str, str, str], list[str]] = {}
    for record in records:
        fields = [_warning_fields(w) for w in record.warnings]
        for w in fields:
            said.setdefault((record.state, w["file"] or "", w["message"], w["code"]), []).append(record.run)
        runs.append({"state": record.state, "run": record.run, "warnings": fields})
    for (state, file, message, code), where in said.items():
        folders = [shown_path(run) for run in dict.fromkeys(where)]
        parent = os.path.dirname(folders[0])
        if len(folders) > 1 and all(os.path.dirname(f) == parent for f in folders):
            folders = [f"{parent}/{{{','.join(os.path.basename(f) for f in folders)}}}"]
        place = f"{', '.join(folders)}: {file}" if file else ", ".join(folders)
        print(f"zorv-pp: warning: state {state}: {place}: {message} [{code}]", file=sys.stderr)
    return runs


def counted(count: int, noun: str) -> str:
    """``count`` and ``noun``, plural unless it is one ("1 state", "24 rows")."""
    return f"{count} {noun}{'' if count == 1 else 's'}"


def tell(written: Written, what: str) -> None:
    """Say where the files went: results (with ``what`` they hold), figures and the report page."""
    print(f"results: {written.csv} and {written.json} ({what})")
    if written.figures:
        print(f"figures: {len(written.figures)} in {written.folder}")
    print(f"report: {written.page}")


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
    group.add_argument(
        "--window",
        action="append",
        metavar="[GROUP.]KEY=VALUE",
        help=f"fit setting ({settings}); GROUP one of {', '.join(fit_groups())}; "
        f"with a campaign file, replaces its [window]",
    )
    group.add_argument("--format", choices=FORMATS, default="png", help="figure format (default: png)")
    group.add_argument("--no-figures", dest="figures", action="store_false", help="write no figures")
    group.add_argument(
        "--progress",
        action=argparse.BooleanOptionalAction,
        default=None,
        help="progress bar on standard error (default: when it is a terminal)",
    )
    return group
