"""The parts every report page is built from: escaping, tables, rounded numbers, embedded figures, the shell.

A page needs nothing but a browser: styles are inline, figures are embedded
as base64 PNG or inline-data SVG, and there is no script and no link to
anything outside it.
"""

from __future__ import annotations

import base64
import html
import math
import re
from collections.abc import Iterable, Sequence
from pathlib import Path
from typing import Any

from ...figures.common import page_copy
from ...msdfit.quantiles import Z95
from ...rounding import fixed, place, with_error

_MEDIA = {".png": "image/png", ".svg": "image/svg+xml"}
STYLE = """
body { font: 15px/1.45 "DejaVu Sans", sans-serif; color: #1d2125; margin: 2em auto; max-width: 78em; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: .2em; }
h2 { border-bottom: 1px solid #ccd; padding-bottom: .2em; margin-top: 2em; }
table { border-collapse: collapse; margin: .6em 0 1.2em; font-size: .92em; max-width: 100%; }
th, td { border: 1px solid #d4d8dd; padding: .25em .45em; text-align: left; vertical-align: top; }
th { background: #eef1f5; } td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td { overflow-wrap: break-word; }
tr.flagged td { background: #fff6e0; } .flag { color: #8a4b00; } .none { color: #6b7280; }
figure { margin: 1em 0 2em; } figure img { max-width: 100%; height: auto; border: 1px solid #e2e5e9; }
figcaption { font-size: .9em; color: #4b5563; } .meta { color: #4b5563; }
.code { white-space: nowrap; } ul.legend { font-size: .92em; padding-left: 1.2em; }
"""


def e(value: Any) -> str:
    """``value`` as escaped HTML text."""
    return html.escape(str(value), quote=True)


def subscripted(text: str) -> str:
    """``text`` escaped, each ``symbol_label`` set as a subscript (σ_MD as σ<sub>MD</sub>)."""
    return re.sub(r"(?<=[^\s_])_([A-Za-z]+)", r"<sub>\1</sub>", e(text))


def table(
    header: Sequence[str],
    rows: Iterable[Sequence[str]],
    row_classes: Sequence[str] = (),
    numeric: Sequence[int] = (),
    subscripts: bool = False,
) -> str:
    """An HTML table; the cells of ``rows`` must already be escaped. ``subscripts`` sets the header's
    symbols with subscripts (see :func:`subscripted`); otherwise an underscore is kept as written."""
    head = "".join(f"<th>{subscripted(h) if subscripts else e(h)}</th>" for h in header)
    body = []
    for index, row in enumerate(rows):
        css = f' class="{row_classes[index]}"' if index < len(row_classes) and row_classes[index] else ""
        cells = "".join(f'<td class="num">{c}</td>' if i in numeric else f"<td>{c}</td>" for i, c in enumerate(row))
        body.append(f"<tr{css}>{cells}</tr>")
    return f"<table><thead><tr>{head}</tr></thead><tbody>{''.join(body)}</tbody></table>"


def error_of(mean: float, sem: float, low: float, high: float) -> float:
    """The error a value is rounded to: its standard error, else its 95 % half-width in standard errors."""
    if math.isfinite(sem) and sem > 0.0:
        return sem
    if math.isfinite(low) and math.isfinite(high) and high > low:
        return (high - low) / (2.0 * Z95)
    return math.nan


def rounded_cells(
    mean: float, sem: float, low: float, high: float, factor: float = 1.0, extra: Sequence[float] = ()
) -> list[str]:
    """Escaped cells value, 95 % interval, standard error and ``extra`` numbers, rounded to the error."""
    mean, sem, low, high = (v * factor for v in (mean, sem, low, high))
    error = error_of(mean, sem, low, high)
    value, error_text, interval = with_error(mean, error, low, high)
    if not (math.isfinite(sem) and sem > 0.0):
        error_text = "–"
    last = place(error)
    cells = [value, interval, error_text, *(fixed(x * factor, last) for x in extra)]
    return [e(cell.replace("-", "−")) for cell in cells]  # a typographic minus in the page


def breakable(text: str) -> str:
    """``text`` escaped, with places to break a line after each underscore and slash: a long flag code
    or folder then wraps at its parts rather than widening its table past the page."""
    return e(text).replace("_", "_<wbr>").replace("/", "/<wbr>")


def flags_cell(flags: Sequence[str]) -> str:
    """The flags, each kept whole on its line: a line breaks only between codes."""
    codes = ", ".join(f'<span class="code">{e(flag)}</span>' for flag in flags)
    return f'<span class="flag">{codes}</span>' if codes else '<span class="none">–</span>'


def figure(path: Path, caption: str = "") -> str:
    """One figure embedded in the page; a format a page cannot show is replaced by its page copy (PNG)."""
    shown = path if path.suffix.lower() in _MEDIA else page_copy(path)
    media = _MEDIA.get(shown.suffix.lower())
    if media is None or not shown.is_file():
        return f'<p class="meta">Figure {e(path.name)}: {e(path.suffix)} cannot be shown in a page.</p>'
    data = base64.b64encode(shown.read_bytes()).decode("ascii")
    note = f"{caption} " if caption else ""
    return (
        f'<figure id="figure-{e(path.stem)}"><img src="data:{media};base64,{data}" alt="{e(path.stem)}">'
        f"<figcaption>{e(note)}({e(path.name)})</figcaption></figure>"
    )


def document(title: str, body: Sequence[str]) -> str:
    """The whole page around ``body`` (escaped HTML parts)."""
    return (
        '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
        '<meta name="viewport" content="width=device-width, initial-scale=1">'
        f"<title>{e(title)}</title><style>{STYLE}</style></head>"
        f"<body>{''.join(body)}</body></html>\n"
    )


def warnings_table(runs: Sequence[tuple[str, Sequence[Any]]]) -> str:
    """Run × its warnings (objects with code, file and message)."""
    rows = []
    for index, (run, warnings) in enumerate(runs):
        text = (
            "<br>".join(
                f"<b>{e(w.code)}</b>{' (' + e(w.file) + ')' if w.file else ''}: {e(w.message)}" for w in warnings
            )
            or '<span class="none">none</span>'
        )
        rows.append([str(index + 1), breakable(run), text])
    return table(("run", "folder", "warnings"), rows, numeric=(0,))


def failures(items: Sequence[Any]) -> str:
    """The failures (state, run, file, message) or a line saying every run was analysed."""
    if not items:
        return '<h2>Failures</h2><p class="none" id="no-failures">Every run was analysed.</p>'
    rows = [[e(f.state), e(f.run), e(f.file or "–"), e(f.message)] for f in items]
    return "<h2>Failures</h2>" + table(("state", "run", "file", "reason"), rows)
