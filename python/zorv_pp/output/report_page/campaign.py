"""The report page of a campaign: the facts of each state, every value rounded to its error with its 95 % interval
and flags, the warnings and failures of every run, the fit settings, the software version and the figures."""

from __future__ import annotations

import math
import os
from collections.abc import Sequence
from pathlib import Path
from typing import Any

from ... import properties
from ...analysis.state import StateResult
from ...campaign.batch import CampaignResult
from ...figures.common import METADATA_UNITS, notation, species_text
from ...files import write_atomic
from .facts import facts_table
from .legend import flags_legend
from .page import e, figure, flags_cell, rounded_cells, table, warnings_table
from .settings import finished_page


def _property_rows(state: StateResult) -> tuple[list[list[str]], list[str]]:
    rows, classes = [], []
    for (prop, species), estimate in state.estimates.items():
        label, factor = notation(estimate.unit, [estimate.mean])
        low, high = estimate.ci95
        spread = max((s for s in estimate.window_spread if math.isfinite(s)), default=math.nan)
        value, interval, error, spread_text = rounded_cells(estimate.mean, estimate.sem, low, high, factor, [spread])
        name = species_text(state.labels.get(species, "")) if species is not None else ""
        rows.append(
            [
                e(properties.get(prop).title),
                e(name),
                value,
                interval,
                error,
                spread_text if math.isfinite(spread) else "–",
                e(fit_start_text(estimate.fit_start, estimate.unit.startswith("reduced"))),
                e(label),
                str(estimate.count),
                flags_cell(estimate.flags),
            ]
        )
        classes.append("flagged" if estimate.flags else "")
    return rows, classes


def fit_start_text(starts: Sequence[float], reduced: bool = False) -> str:
    """Where the runs' fitted ranges start: one time, or the earliest to the latest; in τ for reduced units."""
    found = sorted(s for s in starts if math.isfinite(s))
    if not found:
        return "–"
    label, factor = ("τ", 1.0) if reduced else notation("s", found)
    first, last = (f"{v * factor:.3g}" for v in (found[0], found[-1]))
    return f"{first} {label}" if first == last else f"{first} to {last} {label}"


def metadata_text(metadata: Any) -> str:
    """``key = value unit`` of every metadata item, with the unit where the key names a known quantity."""
    parts = []
    for key, value in metadata.items():
        unit = METADATA_UNITS.get(key)
        parts.append(f"{key.replace('_', ' ')} = {value}{' ' + unit if unit else ''}")
    return ", ".join(parts)


def _state_section(state: StateResult, figures: Sequence[Path]) -> str:
    parts = [f'<section class="state" id="state-{e(state.name)}"><h2>State {e(state.name)}</h2>']
    if state.metadata:
        parts.append(f'<p class="meta">{e(metadata_text(state.metadata))}</p>')
    parts.append(facts_table(state))
    rows, classes = _property_rows(state)
    parts.append(
        '<p class="meta">Each value and its interval are rounded to two significant digits of its '
        "standard error. The window spread is how far the choice of fit window alone moves a run's "
        "value (the largest run's); the fitted range starts at the time under \"fit from\" (each run's "
        "own, chosen where the slope has stopped changing).</p>"
    )
    parts.append(
        table(
            (
                "property",
                "species",
                "value",
                "95 % interval",
                "standard error",
                "window spread",
                "fit from",
                "unit",
                "runs",
                "flags",
            ),
            rows,
            classes,
            numeric=(2, 3, 4, 5, 6, 8),
        )
    )
    parts.append("<h3>Runs and their warnings</h3>")
    parts.append(warnings_table([(run, state.warnings.get(run, ())) for run in state.runs]))
    parts += [figure(path, caption(path)) for path in figures]
    if figures and len(state.runs) < 2:
        parts.append('<p class="meta">One run: no figure of the estimate against the number of replicas.</p>')
    parts.append("</section>")
    return "".join(parts)


#: What each figure shows, by the end of its file name; only figures with error bars say what the bars are.
CAPTIONS = {
    "_msd": "MSD curves of every run (points), fitted lines with their 95 % band; the fitted range between "
    "dashed marks. The dotted band is ±1 standard deviation of a single point under the fit's noise model: "
    "points leaving it on one side mean a poor fit (a large χ²/dof with a small p value under that model, in "
    "each panel's title: a few walkers' χ² has a heavy tail, so p, not χ²/dof alone, says whether the misfit is "
    "more than noise), a wide band a noisy tail.",
    "_slope": "Running slope: the coefficient fitted from each start with its 95 % band, the state value and its "
    "interval in grey, each run's chosen start dashed and ringed. A chosen start off the plateau "
    "means a biased value.",
    "_convergence": "The estimate of the first k runs against k, beside each run's own value; error bars are 95 % "
    "intervals.",
    "summary": "The main properties across the states; error bars are 95 % intervals.",
}


def caption(path: Path) -> str:
    stem = path.stem
    return next((text for end, text in CAPTIONS.items() if stem.endswith(end) or f"{end}_" in stem), "")


def _owner(path: Path, states: Sequence[StateResult]) -> str | None:
    """The state a figure is drawn for: the longest state name that its file name starts with, followed by
    the name of one of a state's figures (states m2 and m2_T298 both prefix m2_T298_msd)."""
    from ...figures.common import STATE_FIGURES, file_stem

    owners = []
    for state in states:
        stem = file_stem(state.name)
        rest = path.stem[len(stem) + 1 :] if path.stem.startswith(stem + "_") else None
        if rest is not None and (rest in STATE_FIGURES or rest.startswith("msd_")):
            owners.append((len(stem), state.name))
    return max(owners)[1] if owners else None


def report_html(
    result: CampaignResult,
    figures: Sequence[str | os.PathLike[str]] = (),
    settings: Any = None,
    title: str = "zorv_pp report",
) -> str:
    """The text of the report page (see :func:`write_report`); a state's own figures follow its tables."""
    from ... import __version__

    paths = [Path(p) for p in figures]
    owner = {p: _owner(p, result.states) for p in paths}
    own = {state.name: [p for p in paths if owner[p] == state.name] for state in result.states}
    shared = [p for p in paths if not any(p in found for found in own.values())]
    runs = sum(len(s.runs) for s in result.states)
    summary = (
        f"{len(result.states)} state(s), {runs} analysed run(s), {len(result.failures)} failure(s). "
        f"Values are state values; intervals are 95 % intervals; zorv_pp {__version__}."
    )
    body = [f"<h1>{e(title)}</h1>", f'<p class="meta" id="summary">{e(summary)}</p>']
    body.append(flags_legend(flag for state in result.states for est in state.estimates.values() for flag in est.flags))
    if shared:
        body += ["<h2>Summary over states</h2>", *(figure(p, caption(p)) for p in shared)]
    body += [_state_section(state, own[state.name]) for state in result.states]
    return finished_page(title, body, result.failures, settings)


def write_report(
    path: str | os.PathLike[str],
    result: CampaignResult,
    figures: Sequence[str | os.PathLike[str]] = (),
    settings: Any = None,
    title: str = "zorv_pp report",
) -> Path:
    """Write the report page of ``result``, headed ``title``, to ``path`` atomically; returns the path.

    ``figures`` are image files to embed (png or svg; a pdf is shown through
    the PNG copy its figure was saved with); ``settings`` the fit settings
    used (a Window, a mapping of fit group to Window, None for the defaults,
    or any mapping to list).
    """
    text = report_html(result, figures, settings, title)
    return write_atomic(path, lambda stream: stream.write(text))
