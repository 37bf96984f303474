"""One self-contained HTML page per campaign: every value with its 95 % interval and flags,
the warnings and failures of every run, the fit settings, the software version and the figures.

The page needs nothing but a browser: styles are inline, figures are embedded
as base64 data, and there is no script and no link to anything outside it.
"""
from __future__ import annotations

import base64
import dataclasses
import html
import math
import os
from collections.abc import Iterable, Mapping, Sequence
from pathlib import Path
from typing import Any

from .batch import CampaignResult
from .figures.common import CI_NOTE, notation
from .report import write_atomic
from .state import StateResult
from .window import Window, windows_for

#: How the table names each property; others by their name with spaces.
NAMES = {
    "self_diffusion": "self-diffusion (Yeh–Hummer corrected)", "self_diffusion_pbc": "self-diffusion (periodic box)",
    "onsager": "Onsager coefficient", "maxwell_stefan": "Maxwell–Stefan diffusivity",
    "shear_viscosity_off": "shear viscosity (off-diagonal)", "electrical_conductivity": "electrical conductivity",
    "electrical_conductivity_ne": "electrical conductivity (Nernst–Einstein)",
}
_MEDIA = {".png": "image/png", ".svg": "image/svg+xml"}
_STYLE = """
body { font: 15px/1.45 "DejaVu Sans", sans-serif; color: #1d2125; margin: 2em auto; max-width: 78em; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: .2em; } h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: .6em 0 1.2em; font-size: .92em; }
th, td { border: 1px solid #d4d8dd; padding: .25em .6em; text-align: left; vertical-align: top; }
th { background: #eef1f5; } td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tr.flagged td { background: #fff6e0; } .flag { color: #8a4b00; } .none { color: #6b7280; }
figure { margin: 1em 0 2em; } figure img { max-width: 100%; border: 1px solid #e2e5e9; }
figcaption { font-size: .9em; color: #4b5563; } .meta { color: #4b5563; }
"""


def _e(value: Any) -> str:
    return html.escape(str(value), quote=True)


def _table(header: Sequence[str], rows: Iterable[Sequence[str]], row_classes: Sequence[str] = (),
           numeric: Sequence[int] = ()) -> str:
    """An HTML table; the cells of ``rows`` must already be escaped."""
    head = "".join(f"<th>{_e(h)}</th>" for h in header)
    body = []
    for index, row in enumerate(rows):
        css = f' class="{row_classes[index]}"' if index < len(row_classes) and row_classes[index] else ""
        cells = "".join(f'<td class="num">{c}</td>' if i in numeric else f"<td>{c}</td>" for i, c in enumerate(row))
        body.append(f"<tr{css}>{cells}</tr>")
    return f"<table><thead><tr>{head}</tr></thead><tbody>{''.join(body)}</tbody></table>"


def _number(value: float, factor: float) -> str:
    return f"{value * factor:.4g}" if math.isfinite(value) else "–"


def _fit_start(starts: Sequence[float]) -> str:
    """Where the runs' fitted ranges start: one time, or the earliest to the latest."""
    found = sorted(s for s in starts if math.isfinite(s))
    if not found:
        return "–"
    label, factor = notation("s", found)
    first, last = (f"{v * factor:.3g}" for v in (found[0], found[-1]))
    return f"{first} {label}" if first == last else f"{first} to {last} {label}"


def _species(state: StateResult, species: Any) -> str:
    return state.labels.get(species, "") if species is not None else ""


def _property_rows(state: StateResult) -> tuple[list[list[str]], list[str]]:
    rows, classes = [], []
    for (prop, species), estimate in state.estimates.items():
        label, factor = notation(estimate.unit, [estimate.mean])
        low, high = estimate.ci95
        flags = ", ".join(estimate.flags)
        interval = f"{_number(low, factor)} to {_number(high, factor)}" if math.isfinite(low) else "–"
        spread = max((s for s in estimate.window_spread if math.isfinite(s)), default=math.nan)
        rows.append([_e(NAMES.get(prop, prop.replace("_", " "))), _e(_species(state, species)),
                     _number(estimate.mean, factor), _e(interval), _number(estimate.sem, factor),
                     _number(spread, factor), _e(_fit_start(estimate.fit_start)), _e(label), str(estimate.count),
                     f'<span class="flag">{_e(flags)}</span>' if flags else '<span class="none">–</span>'])
        classes.append("flagged" if flags else "")
    return rows, classes


def _state_section(state: StateResult) -> str:
    parts = [f'<section class="state" id="state-{_e(state.name)}"><h2>State {_e(state.name)}</h2>']
    if state.metadata:
        meta = ", ".join(f"{_e(k)} = {_e(v)}" for k, v in state.metadata.items())
        parts.append(f'<p class="meta">{meta}</p>')
    rows, classes = _property_rows(state)
    # The window spread: how far the choice of fit window alone moves a run's value (the largest run's).
    parts.append(_table(("property", "species", "value", "95 % interval", "standard error", "window spread",
                         "fit from", "unit", "runs", "flags"), rows, classes, numeric=(2, 3, 4, 5, 6, 8)))
    run_rows = []
    for index, run in enumerate(state.runs):
        warnings = state.warnings.get(run, ())
        text = "<br>".join(f"<b>{_e(w.code)}</b>{' (' + _e(w.file) + ')' if w.file else ''}: {_e(w.message)}"
                           for w in warnings) or '<span class="none">none</span>'
        run_rows.append([str(index + 1), _e(run), text])
    parts.append("<h3>Runs and their warnings</h3>")
    parts.append(_table(("run", "folder", "warnings"), run_rows, numeric=(0,)))
    parts.append("</section>")
    return "".join(parts)


def _failures(result: CampaignResult) -> str:
    if not result.failures:
        return '<h2>Failures</h2><p class="none" id="no-failures">Every run was analysed.</p>'
    rows = [[_e(f.state), _e(f.run), _e(f.file or "–"), _e(f.message)] for f in result.failures]
    return "<h2>Failures</h2>" + _table(("state", "run", "file", "reason"), rows)


def _window_table(windows: Mapping[str, Any]) -> str:
    """Fit group × setting, from Windows or from their fields as mappings."""
    rows = {group: dataclasses.asdict(w) if isinstance(w, Window) else dict(w) for group, w in windows.items()}
    names = list(dict.fromkeys(name for values in rows.values() for name in values))
    return _table(["fit group", *names], [[_e(group)] + [_e(values.get(name, "")) for name in names]
                                         for group, values in rows.items()])


def _grouped(value: Any) -> bool:
    return isinstance(value, Mapping) and bool(value) and all(
        isinstance(v, (Window, Mapping)) for v in value.values())


def _settings(settings: Any) -> str:
    head = "<h2>Fit settings</h2>"
    if settings is None:
        return head + '<p class="meta">The defaults (no setting was given).</p>' + _window_table(windows_for(None))
    if isinstance(settings, Window) or (isinstance(settings, Mapping) and settings
                                        and all(isinstance(w, Window) for w in settings.values())):
        return head + _window_table(windows_for(settings))
    if isinstance(settings, Mapping):
        tables = [_window_table(v) for v in settings.values() if _grouped(v)]
        rows = [[_e(k), _e(", ".join(map(str, v)) if isinstance(v, (list, tuple)) else v)]
                for k, v in settings.items() if not _grouped(v)]
        return head + "".join(tables) + (_table(("setting", "value"), rows) if rows else "")
    return f"{head}<p>{_e(settings)}</p>"


def _figure(path: Path) -> str:
    media = _MEDIA.get(path.suffix.lower())
    if media is None:
        return f'<p class="meta">Figure {_e(path.name)}: {_e(path.suffix)} cannot be shown in a page.</p>'
    data = base64.b64encode(path.read_bytes()).decode("ascii")
    return (f'<figure><img src="data:{media};base64,{data}" alt="{_e(path.stem)}">'
            f"<figcaption>{_e(path.name)} ({_e(CI_NOTE)})</figcaption></figure>")


def report_html(result: CampaignResult, figures: Sequence[str | os.PathLike[str]] = (), settings: Any = None,
                title: str = "zorv_pp campaign report") -> str:
    """The text of the report page (see :func:`write_report`)."""
    from . import __version__

    runs = sum(len(s.runs) for s in result.states)
    summary = (f"{len(result.states)} state(s), {runs} analysed run(s), {len(result.failures)} failure(s). "
               f"Values are state values; intervals are 95 % intervals; zorv_pp {__version__}.")
    body = [f"<h1>{_e(title)}</h1>", f'<p class="meta" id="summary">{_e(summary)}</p>']
    body += [_state_section(state) for state in result.states]
    body.append(_failures(result))
    body.append(_settings(settings))
    if figures:
        body.append("<h2>Figures</h2>")
        body += [_figure(Path(p)) for p in figures]
    body.append(f'<footer class="meta">Written by zorv_pp {_e(__version__)}.</footer>')
    return ('<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
            '<meta name="viewport" content="width=device-width, initial-scale=1">'
            f"<title>{_e(title)}</title><style>{_STYLE}</style></head>"
            f"<body>{''.join(body)}</body></html>\n")


def write_report(path: str | os.PathLike[str], result: CampaignResult,
                 figures: Sequence[str | os.PathLike[str]] = (), settings: Any = None) -> Path:
    """Write the report page of ``result`` to ``path`` atomically; returns the path.

    ``figures`` are image files to embed (png or svg; another format is named
    but not shown); ``settings`` the fit settings used (a Window, a mapping of
    fit group to Window, None for the defaults, or any mapping to list).
    """
    text = report_html(result, figures, settings)
    return write_atomic(path, lambda stream: stream.write(text))
