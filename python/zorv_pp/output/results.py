"""The results files: one row per value in CSV (with the value rounded to its error beside it) and JSON."""

from __future__ import annotations

import csv
import io
import json
import math
import os
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any

from ..files import write_atomic
from ..msdfit.quantiles import Z95
from ..rounding import with_error

COLUMNS = (
    "state",
    "property",
    "species",
    "mean",
    "std",
    "sem",
    "count",
    "unit",
    "per_run",
    "ci95_low",
    "ci95_high",
    "per_run_sem",
    "window_spread",
    "fit_start",
    "fit_p",
    "flags",
)
#: Text columns for reading: mean, standard error and 95 % interval rounded to two significant digits
#: of the standard error. The numeric columns beside them keep full precision.
DISPLAY = ("mean_rounded", "sem_rounded", "ci95_rounded")


def _finite_or_none(value: Any) -> Any:
    # JSON has no NaN or infinity; a missing value is null.
    if isinstance(value, float) and not math.isfinite(value):
        return None
    if isinstance(value, list):
        return [_finite_or_none(v) for v in value]
    if isinstance(value, dict):
        return {k: _finite_or_none(v) for k, v in value.items()}
    return value


def display(row: Mapping[str, Any]) -> tuple[str, str, str]:
    """The :data:`DISPLAY` texts of a row with mean, sem and ci95 bounds."""
    sem = float(row["sem"])
    low, high = float(row["ci95_low"]), float(row["ci95_high"])
    error = sem if math.isfinite(sem) and sem > 0.0 else (high - low) / (2.0 * Z95) if high > low else math.nan
    value, _, interval = with_error(float(row["mean"]), error, low, high, "scientific")
    sem_text = with_error(sem, error, notation="scientific")[0] if math.isfinite(sem) and sem > 0.0 else ""
    return value, sem_text, "" if interval == "–" else interval


def estimate_prefixes(columns: Sequence[str]) -> list[str]:
    """Prefixes p of the columns p, p_sem, p_ci95_low and p_ci95_high: estimates written in a wide row."""
    have = set(columns)
    return [c for c in columns if {f"{c}_sem", f"{c}_ci95_low", f"{c}_ci95_high"} <= have]


def _wide_display(row: Mapping[str, Any], prefix: str) -> tuple[str, str]:
    """The rounded value ± error and 95 % interval of the estimate ``prefix`` of a wide row."""
    value, sem = _number(row.get(prefix)), _number(row.get(f"{prefix}_sem"))
    if not math.isfinite(value):
        return "", ""
    low, high = _number(row.get(f"{prefix}_ci95_low")), _number(row.get(f"{prefix}_ci95_high"))
    error = sem if math.isfinite(sem) and sem > 0.0 else (high - low) / (2.0 * Z95) if high > low else math.nan
    # Conductivities and temperatures read best as they are; SI diffusivities and times need exponents.
    notation = "fixed" if 1e-3 <= abs(value) < 1e5 else "scientific"
    text, error_text, interval = with_error(value, error, low, high, notation)
    shown = f"{text} ± {error_text}" if error_text and error_text != "–" else text
    return shown, "" if interval == "–" else interval


def _number(value: Any) -> float:
    return float(value) if isinstance(value, (int, float)) and not isinstance(value, bool) else math.nan


def csv_text(rows: Sequence[Mapping[str, Any]], columns: Sequence[str] = COLUMNS) -> str:
    """Rows as CSV; a list value is written as its items joined by ';'. Rows of estimates (with mean,
    sem and ci95 bounds) also get the rounded :data:`DISPLAY` columns; a wide row of several
    estimates (p, p_sem, p_ci95_low, p_ci95_high) gets p_rounded and p_ci95_rounded for each."""
    shown = all(k in columns for k in ("mean", "sem", "ci95_low", "ci95_high"))
    wide = [] if shown else estimate_prefixes(columns)
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(
        [
            *columns,
            *(DISPLAY if shown else ()),
            *(f"{p}{suffix}" for p in wide for suffix in ("_rounded", "_ci95_rounded")),
        ]
    )
    for row in rows:
        writer.writerow(
            [
                ";".join(repr(float(v)) for v in row[c])
                if isinstance(row[c], list)
                else repr(row[c])
                if isinstance(row[c], float)
                else row[c]
                for c in columns
            ]
            + (list(display(row)) if shown else [])
            + [text for p in wide for text in _wide_display(row, p)]
        )
    return out.getvalue()


def write_results(
    out_dir: str | os.PathLike[str],
    rows: Sequence[Mapping[str, Any]],
    extra: Mapping[str, Any] | None = None,
    stem: str = "results",
    columns: Sequence[str] = COLUMNS,
) -> tuple[Path, Path]:
    """Write ``stem``.csv and ``stem``.json into ``out_dir``; NaN is written as ``nan`` in the
    CSV and as null in the JSON. ``extra`` joins the JSON document beside "rows"."""
    out = Path(out_dir)
    text = csv_text(rows, columns)
    csv_path = write_atomic(out / f"{stem}.csv", lambda stream: stream.write(text))
    document = {"rows": [dict(row) for row in rows], **(extra or {})}
    json_path = write_atomic(
        out / f"{stem}.json", lambda s: json.dump(_finite_or_none(document), s, indent=1, allow_nan=False)
    )
    return csv_path, json_path
