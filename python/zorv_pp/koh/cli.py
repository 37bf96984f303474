"""The ``zorv-pp koh`` subcommand: a KOH(aq) study of a campaign file.

Writes koh_study.csv and koh_study.json (one row per state, SI units) and
the figures koh_*.png into the output folder. Exit status as for
``analyze``: 0 when every state was compared, 1 when some failed (the rest
are still written), 2 for bad arguments or a bad campaign file.
"""
from __future__ import annotations

import argparse
import dataclasses
from pathlib import Path
from typing import Any

from ..cli import SUBCOMMANDS, UsageError, finish, window_settings


def run_koh(args: argparse.Namespace) -> int:
    from ..report import write_results
    from .figures import study_figures
    from .study import study

    if args.jobs < 1:
        raise UsageError("--jobs must be at least 1")
    if Path(args.campaign).suffix != ".toml":
        raise UsageError(f"not a campaign file (.toml): {args.campaign}")
    result = study(args.campaign, jobs=args.jobs, progress=args.progress, window=window_settings(args.window))
    out = Path(args.out)
    settings = result.settings
    params = settings.params
    extra = {
        "units": result.units(),
        "species": {"cation": settings.species.cation, "anion": settings.species.anion,
                    "water": settings.species.water},
        "parameters": {"name": params.name, "molar_mass": params.molar_mass, "density": list(params.density),
                       "viscosity": list(params.viscosity), "reference": params.reference},
        "failures": [dataclasses.asdict(f) for f in result.failures],
    }
    rows = result.rows()
    csv_path, json_path = write_results(out, rows, extra, stem="koh_study", columns=result.columns())
    print(f"results: {csv_path} and {json_path} ({len(rows)} states)")
    for c in result.comparisons:
        if c.tau is None:
            print(f"{c.state}: no deficit (σ_MD {c.sigma_md.mean:.4g} S/m is not below σ_exp "
                  f"{c.sigma_exp:.4g} S/m): no hop time")
    if args.figures:
        drawn = study_figures(result.comparisons, out / "figures")
        if drawn:
            print(f"figures: {len(drawn)} in {out / 'figures'}")
    return finish(result.failures)


def add_koh(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "koh", help="KOH(aq) study: MD against experiment and models, proton-hopping time",
        description="Analyse every state of a campaign file, compare conductivity, diffusion, density and "
                    "viscosity with Gilliam's correlation and the Laliberté models, and turn the conductivity "
                    "deficit into a time between proton hops; write koh_study.csv, koh_study.json and figures.")
    parser.add_argument("campaign", metavar="CAMPAIGN.toml", help="campaign file")
    parser.add_argument("--out", default="koh_results", help="output folder (default: koh_results)")
    parser.add_argument("--jobs", type=int, default=1, metavar="N", help="analyse runs in N processes")
    parser.add_argument("--window", action="append", metavar="[GROUP.]KEY=VALUE",
                        help="fit setting, as for analyze (default: the campaign's [window])")
    parser.add_argument("--no-figures", dest="figures", action="store_false", help="write no figures")
    parser.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                        help="progress bar on standard error (default: when it is a terminal)")
    parser.set_defaults(func=run_koh)


SUBCOMMANDS["koh"] = add_koh
