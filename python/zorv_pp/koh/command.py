"""The ``zorv-pp koh`` subcommand: a KOH(aq) study of a campaign file.

Writes koh_study.csv and koh_study.json (one row per state, SI units), the
figures koh_* and the page report.html into the output folder. Exit status as for ``analyze``:
0 when every state was compared, 1 when some failed or none was (the rest
are still written), 2 for bad arguments or a bad campaign file.
"""

from __future__ import annotations

import argparse
import dataclasses
import sys
from pathlib import Path
from typing import Any

from ..command.options import (
    EXIT_CODES,
    UsageError,
    check_output_folder,
    common_options,
    counted,
    explain,
    finish,
    report_warnings,
    tell,
    window_settings,
)
from ..output.writer import Outputs, write_outputs


def run_koh(args: argparse.Namespace) -> int:
    from .figures import study_figures
    from .report_page import write_koh_report
    from .study import study
    from .terminal import comparison_table

    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    if Path(args.campaign).suffix != ".toml":
        raise UsageError(f"not a campaign file (.toml): {args.campaign}")
    out = Path(args.out)
    check_output_folder(out)
    result = study(args.campaign, jobs=args.jobs, progress=args.progress, window=window_settings(args.window))
    failures = explain(result.failures, campaign=True)
    settings = result.settings
    params = settings.params
    extra = {
        "units": result.units(),
        "species": {
            "cation": settings.species.cation,
            "anion": settings.species.anion,
            "water": settings.species.water,
        },
        "parameters": {
            "name": params.name,
            "molar_mass": params.molar_mass,
            "density": list(params.density),
            "viscosity": list(params.viscosity),
            "reference": params.reference,
        },
        "failures": [dataclasses.asdict(f) for f in failures],
        "runs": report_warnings(result.runs),
    }
    rows = result.rows()
    if result.comparisons and not args.quiet:
        print(comparison_table(result.comparisons) + "\n")
    for c in result.comparisons:
        if c.tau is None:
            print(
                f"{c.state}: no deficit (σ_MD {c.sigma_md.mean:.4g} S/m is not below σ_exp "
                f"{c.sigma_exp:.4g} S/m): no hop time"
            )
    shown = dataclasses.replace(result, failures=failures)
    page_settings = _settings(args, result)
    written = write_outputs(
        out,
        Outputs(
            rows,
            extra,
            lambda path, drawn: write_koh_report(path, shown, drawn, page_settings),
            (lambda folder: study_figures(result.comparisons, folder, fmt=args.format)) if args.figures else None,
            stem="koh_study",
            columns=result.columns(),
        ),
    )
    tell(written, counted(len(rows), "state"))
    status = finish(failures)
    if not result.comparisons:
        print("zorv-pp: error: no state was compared", file=sys.stderr)
        return 1
    return status


def _settings(args: argparse.Namespace, result: Any) -> dict[str, Any]:
    from ..msdfit.window import windows_for

    species = result.settings.species
    given = window_settings(args.window)
    windows: Any = (
        {g: dataclasses.asdict(w) for g, w in windows_for(given).items()}
        if given
        else "the campaign file's [window] tables (the defaults where it sets none)"
    )
    return {
        "windows": windows,
        "campaign": args.campaign,
        "species": f"cation {species.cation}, anion {species.anion}, water {species.water}",
        "parameters": result.settings.params.name,
        "jobs": args.jobs,
        "format": args.format,
    }


KOH_EPILOG = f"""examples:
  zorv-pp koh examples/koh_campaign/campaign.toml --out koh_results
  zorv-pp koh campaign.toml --jobs 2 --format svg --no-figures

The study needs a campaign file, not run folders: it compares each state
with experiment at that state's temperature and molality (or molarity),
which only a [[state]] table and its [state.metadata] give. Units, species
groups and counts come from the campaign file too (units =, [species.NAME]),
so this command takes none of analyze's --units, --count or --group.

{EXIT_CODES}"""


def add_koh(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "koh",
        help="KOH(aq) study: MD against experiment and models, proton-hopping time",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog=KOH_EPILOG,
        description="Analyse every state of a campaign file, compare conductivity, diffusion, density and "
        "viscosity with Gilliam's correlation and the Laliberté models, and turn the conductivity "
        "deficit into a time between proton hops; write koh_study.csv, koh_study.json and figures.",
    )
    parser.add_argument("campaign", metavar="CAMPAIGN.toml", help="campaign file")
    output = common_options(parser, "koh_results")
    output.add_argument(
        "--quiet", action="store_true", help="print only where the files went, not the table of MD against experiment"
    )
    parser.set_defaults(func=run_koh)
