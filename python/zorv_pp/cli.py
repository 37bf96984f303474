"""The ``zorv-pp`` command: analyse run folders or a campaign file.

Exit status: 0 when every run was analysed, 1 when some run or state failed
or nothing was analysed at all (what could be analysed is still written),
2 for a usage error (bad arguments or a bad campaign file).
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence

from . import __version__
from .command.analyze import add_analyze
from .command.options import EXIT_CODES, UsageError
from .command.ordern import add_ordern
from .errors import CampaignError
from .koh.command import add_koh

MAIN_EPILOG = f"""examples:
  zorv-pp analyze path/to/run                      # one run folder, units and counts from its log
  zorv-pp analyze campaign.toml --out results      # every state point of a campaign file
  zorv-pp koh campaign.toml                        # the KOH(aq) study of a campaign
  zorv-pp ordern traj.xtc topol.tpr --out run      # a run folder from a trajectory

'zorv-pp COMMAND --help' tells more about each command.

{EXIT_CODES}"""


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="zorv-pp",
        description="Transport properties of MD runs in SI units.",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog=MAIN_EPILOG,
    )
    parser.add_argument("--version", action="version", version=f"zorv-pp {__version__}")
    subparsers = parser.add_subparsers(dest="command", metavar="COMMAND")
    add_analyze(subparsers)
    add_ordern(subparsers)
    add_koh(subparsers)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command line; returns the exit status."""
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


if __name__ == "__main__":
    sys.exit(main())
