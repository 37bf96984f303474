"""What every figure shares: the backend, file formats, unit notation, run colours and axes."""

from __future__ import annotations

import math
import os
import re
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any

from ..files import atomic_path
from ..msdfit.quantiles import Z95
from ..units import notation as notation  # re-exported: the figures and the page name units through here
from ..units import superscript as superscript

#: File formats a figure can be written in.
FORMATS = ("png", "pdf", "svg")
#: The figures of each state, named <state>_<figure> (the MSD sheets of a state with many curves
#: <state>_msd_<family>).
STATE_FIGURES = ("msd", "slope", "convergence")
#: Resolution of raster figures.
DPI = 150
#: The widest a report page shows a figure, in CSS pixels: its body is 78 em of 15 px, at a window of
#: 1,280 px or more. A wider figure is shrunk to it, and its text with it.
PAGE_PIXELS = 1170.0
#: The smallest text of a figure, in points as the page shows it (CSS: 96 px to the inch).
SMALLEST_TEXT = 8.0
#: The widest figure, in inches, whose text the page shows at its own size or larger (at DPI pixels to the
#: inch, narrower figures are shown at their pixel size, which is larger still).
PAGE_INCHES = PAGE_PIXELS / 96.0
#: What every caption says the error bars are.
CI_NOTE = "error bars: 95 % interval"

#: Units of metadata keys that name a known quantity (a campaign's state keys).
METADATA_UNITS = {
    "molality": "mol/kg",
    "molarity": "mol/L",
    "temperature": "K",
    "pressure": "atm",
    "hop_distance": "m",
    "viscosity": "Pa·s",
}


def pyplot() -> Any:
    """matplotlib.pyplot on the file-only backend."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def shown_points(figure: Any, size: float) -> float:
    """The size in points that text of ``size`` points in ``figure`` has on a report page, once the page
    has fitted the figure's :data:`DPI` pixels into :data:`PAGE_PIXELS`."""
    pixels = figure.get_figwidth() * DPI
    return float(size * DPI / 96.0 * min(1.0, PAGE_PIXELS / pixels))


def check_format(fmt: str) -> str:
    """``fmt`` if it is a known figure format; ValueError otherwise."""
    if fmt not in FORMATS:
        raise ValueError(f"unknown figure format {fmt!r} (known: {', '.join(FORMATS)})")
    return fmt


def page_copy(path: str | os.PathLike[str]) -> Path:
    """Where the PNG copy of a figure saved in a format no web page shows (pdf) is kept for report pages."""
    target = Path(path)
    return target.parent / "page" / f"{target.stem}.png"


def save(figure: Any, path: str | os.PathLike[str], fmt: str = "png", dpi: int = DPI) -> Path:
    """Write ``figure`` to ``path`` atomically in ``fmt``, then close it; a pdf also gets its
    :func:`page_copy`, so that a report page can show it."""
    check_format(fmt)
    # No creation date in vector files: the same results give the same bytes.
    metadata = {"Date": None} if fmt in ("pdf", "svg") else None
    try:
        with atomic_path(path) as scratch:
            figure.savefig(scratch, dpi=max(dpi, DPI), format=fmt, metadata=metadata)
        if fmt == "pdf":
            with atomic_path(page_copy(path)) as scratch:
                figure.savefig(scratch, dpi=max(dpi, DPI), format="png")
    finally:
        pyplot().close(figure)
    return Path(path)


def file_stem(name: str) -> str:
    """A file-name-safe form of a state name."""
    return re.sub(r"[^A-Za-z0-9._-]+", "_", name).strip("._") or "state"


def run_colours(count: int) -> list[Any]:
    """``count`` clearly distinct colours, one per run."""
    plt = pyplot()
    if count <= 10:
        return list(plt.get_cmap("tab10").colors[:count])
    if count <= 20:
        return list(plt.get_cmap("tab20").colors[:count])
    cmap = plt.get_cmap("turbo")
    return [cmap(i / max(count - 1, 1)) for i in range(count)]


def panels(count: int, most_columns: int, width: float, height: float = 3.5) -> tuple[Any, list[Any]]:
    """A figure with ``count`` panels in a grid at most ``most_columns`` wide; unused panels removed."""
    plt = pyplot()
    columns = max(1, min(most_columns, count))
    rows = max(1, math.ceil(count / columns))
    width = min(width, PAGE_INCHES / columns)  # wider, the page would shrink its text below SMALLEST_TEXT
    figure, axes = plt.subplots(
        rows, columns, figsize=(width * columns, height * rows + 0.6), squeeze=False, layout="constrained"
    )
    flat = list(axes.flat)
    for axis in flat[count:]:
        axis.remove()
    return figure, flat[:count]


def plain_ticks(axis: Any) -> None:
    """No offset or multiplier above a linear axis: the label carries the scale."""
    for which in (axis.xaxis, axis.yaxis):
        formatter = which.get_major_formatter()
        if hasattr(formatter, "set_useOffset"):
            formatter.set_useOffset(False)
        if hasattr(formatter, "set_scientific"):
            formatter.set_scientific(False)


def interval(estimate: Any, factor: float = 1.0) -> tuple[float, float, float]:
    """(value, down, up) of an Estimate's 95 % interval, scaled; no bar (0, 0) where it is unknown."""
    mean = estimate.mean * factor
    low, high = (v * factor for v in estimate.ci95)
    if not (math.isfinite(low) and math.isfinite(high)):
        return mean, 0.0, 0.0
    return mean, max(mean - low, 0.0), max(high - mean, 0.0)


def value_text(estimate: Any, unit: str | None = None) -> str:
    """``value [low, high] unit`` of an Estimate in its display notation, rounded to its standard error."""
    from ..rounding import with_error

    label, factor = notation(unit or estimate.unit, [estimate.mean])
    low, high = (v * factor for v in estimate.ci95)
    error = estimate.sem * factor
    if not (math.isfinite(error) and error > 0.0) and math.isfinite(low) and math.isfinite(high):
        error = (high - low) / (2.0 * Z95)
    value, _, interval = with_error(estimate.mean * factor, error, low, high)
    if interval != "–":
        return f"{value} [{interval.replace(' to ', ', ')}] {label}"
    return f"{value} {label}"


def species_text(label: str, charges: Mapping[str, float] | None = None) -> str:
    """A species or pair label ("K-OH") with each charged species' charge as a superscript (K⁺-OH⁻)."""
    if not charges or not label:
        return label
    return "-".join(name + ion_charge(charges.get(name, 0.0)) for name in label.split("-"))


def ion_charge(charge: float) -> str:
    """The superscript of a charge in e: "" for none, ⁺ or ⁻ for one, ²⁺ for two."""
    if not charge or not math.isfinite(charge):
        return ""
    size = abs(charge)
    count = "" if size == 1 else (superscript(int(size)) if float(size).is_integer() else f"{size:g}")
    return count + ("⁺" if charge > 0 else "⁻")


def labelled(items: Sequence[tuple[Any, str]]) -> tuple[list[Any], list[str]]:
    """Handles and labels for a legend, each label once."""
    seen: dict[str, Any] = {}
    for handle, label in items:
        seen.setdefault(label, handle)
    return list(seen.values()), list(seen)


def shared_legend(
    figure: Any, axes: Sequence[Any], handles: Sequence[tuple[Any, str]], markerscale: float = 1.0, columns: int = 4
) -> None:
    """One legend for every panel, in a strip of its own below them (no panel, point or bar under it)."""
    order, texts = labelled(handles)
    if not texts:
        return
    legend = figure.legend(
        order,
        texts,
        loc="lower center",
        bbox_to_anchor=(0.5, 0.0),
        ncol=min(len(texts), columns),
        fontsize=8,
        markerscale=markerscale,
        frameon=False,
    )
    height = legend.get_window_extent(figure.canvas.get_renderer()).height / figure.bbox.height + 0.01
    engine = figure.get_layout_engine()
    if engine is not None and hasattr(engine, "set"):
        engine.set(rect=(0.0, height, 1.0, 1.0 - height))


def wrapped(figure: Any, text: str, fontsize: float) -> str:
    """``text`` broken into lines that fit the width of ``figure`` at ``fontsize`` points, so that a title
    of a narrow figure stays inside its canvas."""
    return fitted(text, figure.get_figwidth(), fontsize)


def fitted(text: str, inches: float, fontsize: float) -> str:
    """Each line of ``text`` broken at spaces to fit ``inches`` at ``fontsize`` points (a character is
    about 0.6 of the size wide)."""
    characters = max(20, int(inches * 72.0 / (0.6 * fontsize)))
    lines: list[str] = []
    for paragraph in text.split("\n"):
        line = ""
        for word in paragraph.split(" "):
            joined = f"{line} {word}" if line else word
            if line and shown_length(joined) > characters:
                lines.append(line)
                joined = word
            line = joined
        lines.append(line)
    return "\n".join(lines)


def shown_length(text: str) -> int:
    r"""The characters ``text`` shows: mathtext ($\sigma_\mathrm{MD}$) counts by its glyphs, not its source."""

    def glyphs(math: Any) -> str:
        return re.sub(r"[{}_^]", "", re.sub(r"\\[a-zA-Z]+", "x", math.group(1).replace(r"\mathrm", "")))

    return len(re.sub(r"\$([^$]*)\$", glyphs, text))
