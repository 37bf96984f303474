"""One way to leave an analysis on disk, for every subcommand: the results files, the figures, the report
page that shows them, in that order (the page needs the figures' paths)."""

from __future__ import annotations

from collections.abc import Callable, Mapping, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from .results import COLUMNS, write_results

#: The report page of every subcommand.
PAGE = "report.html"
#: The folder of the figures, inside the output folder.
FIGURES = "figures"


@dataclass(frozen=True)
class Outputs:
    """What a subcommand writes: ``rows`` (one dict per CSV row, in ``columns``) and ``extra`` (beside the
    rows in the JSON) as ``stem``.csv and ``stem``.json; ``draw`` the figures into a folder (None: none);
    ``page`` the report page at a path, given the figures drawn."""

    rows: Sequence[Mapping[str, Any]]
    extra: Mapping[str, Any]
    page: Callable[[Path, list[Path]], object]
    draw: Callable[[Path], Sequence[Path]] | None = None
    stem: str = "results"
    columns: Sequence[str] = field(default=COLUMNS)


@dataclass(frozen=True)
class Written:
    """Where the files went."""

    csv: Path
    json: Path
    figures: list[Path]
    folder: Path
    page: Path


def write_outputs(out: str | Path, outputs: Outputs) -> Written:
    """Write ``outputs`` into the folder ``out``; every file is written atomically."""
    folder = Path(out)
    csv_path, json_path = write_results(folder, outputs.rows, outputs.extra, stem=outputs.stem, columns=outputs.columns)
    drawn = list(outputs.draw(folder / FIGURES)) if outputs.draw is not None else []
    page = folder / PAGE
    outputs.page(page, drawn)
    return Written(csv_path, json_path, drawn, folder / FIGURES, page)
