"""The fitted MSD curves of one state: every run in its own colour, with its fit, band and range."""
from __future__ import annotations

import math
import os
from collections.abc import Sequence
from pathlib import Path
from typing import Any

import numpy as np

from ..curve_fit import Curve
from ..state import StateResult
from .common import SI_UNITS, labelled, notation, panels, plain_ticks, run_colours, save, superscript, value_text

#: Panel titles; self-diffusion says which value it is, here and in the summary.
TITLES = {
    "self_diffusion_pbc": "self-diffusion (uncorrected, periodic box)", "onsager": "Onsager",
    "maxwell_stefan": "Maxwell–Stefan", "electrical_conductivity": "electrical conductivity",
    "shear_viscosity": "shear viscosity", "shear_viscosity_off": "shear viscosity (off-diagonal)",
    "bulk_viscosity": "bulk viscosity", "thermal_conductivity": "thermal conductivity",
}
_MARKERS = "os^vD<>ph*"
_SPECIES_IN_TITLE = ("self_diffusion_pbc", "onsager", "maxwell_stefan")


def _scaled(curve: Curve, times: Sequence[float], values: Sequence[float], factor: float = 1.0) -> tuple[Any, Any]:
    xs = np.asarray(times, dtype=float) * curve.time_unit
    ys = np.asarray(values, dtype=float) * curve.scale * factor
    keep = np.isfinite(xs) & np.isfinite(ys) & (xs > 0)
    return xs[keep], ys[keep]


def _signed(curves: Sequence[Curve]) -> bool:
    """Whether a panel holds a value or a fitted point that is not positive: it cannot use a log axis."""
    for curve in curves:
        for series in (curve.values, curve.fit):
            if any(math.isfinite(v) and v <= 0.0 for v in series):
                return True
    return False


def _draw_curve(axis: Any, curve: Curve, colour: Any, label: str, factor: float) -> list[tuple[Any, str]]:
    xs, ys = _scaled(curve, curve.time, curve.values, factor)
    # Replicas often agree to the width of a marker: hollow markers of a shape per run keep each visible.
    marker = _MARKERS[curve.run % len(_MARKERS)]
    points = axis.plot(xs, ys, marker, ms=3.2, mfc="none", mew=0.8, color=colour, alpha=0.8, label=label,
                       zorder=4)[0]
    fx, fy = _scaled(curve, curve.t_fit, curve.fit, factor)
    if len(fx) < 2 or not math.isfinite(curve.coefficient):
        return [(points, label)]
    axis.plot(fx, fy, "-", lw=1.4, color=colour, zorder=5)
    if len(curve.band) == len(curve.fit):
        half = np.asarray(curve.band, dtype=float) * abs(curve.scale) * factor
        bx = np.asarray(curve.t_fit, dtype=float) * curve.time_unit
        centre = np.asarray(curve.fit, dtype=float) * curve.scale * factor
        keep = np.isfinite(half) & np.isfinite(centre) & (bx > 0)
        axis.fill_between(bx[keep], (centre - half)[keep], (centre + half)[keep], color=colour, alpha=0.22, lw=0,
                          zorder=3)
    for edge in (fx[0], fx[-1]):
        axis.axvline(edge, color=colour, lw=0.9, ls=(0, (4, 3)), alpha=0.9, zorder=2)
    return [(points, label)]


def _estimate(state: StateResult, prop: str, label: str) -> Any:
    for (p, species), estimate in state.estimates.items():
        if p == prop and (species is None or state.labels.get(species) == label):
            return estimate
    return None


def _axes_scale(axis: Any, signed: bool) -> None:
    from matplotlib.ticker import LogLocator, NullLocator

    axis.set_xscale("log")
    # Decade ticks only: minor ticks over many decades cost most of the drawing time and add nothing.
    axis.xaxis.set_major_locator(LogLocator(numticks=8))
    axis.xaxis.set_minor_locator(NullLocator())
    if signed:  # a linear axis shows the sign and a line crossing zero as they are
        axis.axhline(0.0, color="0.3", lw=0.7, zorder=1)
        plain_ticks(axis)
        return
    axis.set_yscale("log")
    axis.yaxis.set_major_locator(LogLocator(numticks=8))
    axis.yaxis.set_minor_locator(NullLocator())


def _linear_factor(curves: Sequence[Curve]) -> tuple[float, str]:
    """Factor and label prefix that bring a signed panel's values near 1."""
    largest = max((abs(v * c.scale) for c in curves for v in c.values if math.isfinite(v)), default=0.0)
    if largest <= 0.0:
        return 1.0, ""
    exponent = 3 * math.floor(math.log10(largest) / 3)
    return (10.0 ** -exponent, f"10{superscript(exponent)} ") if exponent else (1.0, "")


def state_figure(state: StateResult, path: str | os.PathLike[str], fmt: str = "png") -> Path | None:
    """Every fitted curve of ``state`` against time, one panel per property and species.

    Each run has one colour for its points, its fitted line, the line's 95 %
    band and the dashed marks of its fitted range. Curves are scaled so that
    their slope is the property (time in s; m² for diffusion, Pa·s² for
    viscosity, W·s/(m·K) for thermal conductivity); panels holding negative
    values use a linear axis. Returns None when the state has no curves.
    """
    grouped: dict[tuple[str, str], list[Curve]] = {}
    for run_curves in state.curves:
        for curve in run_curves:
            grouped.setdefault((curve.property, curve.label), []).append(curve)
    if not grouped:
        return None
    runs = max(len(state.runs), len(state.curves), 1 + max(c.run for cs in grouped.values() for c in cs))
    colours = run_colours(runs)
    names = [os.path.basename(os.path.normpath(r)) for r in state.runs]
    figure, axes = panels(len(grouped), 4, 4.3, 3.5)
    handles: list[tuple[Any, str]] = []
    for axis, ((prop, label), curves) in zip(axes, grouped.items()):
        signed = _signed(curves)
        factor, prefix = _linear_factor(curves) if signed else (1.0, "")
        for curve in curves:
            name = f"run {curve.run + 1}" + (f": {names[curve.run]}" if curve.run < len(names) else "")
            handles += _draw_curve(axis, curve, colours[curve.run], name, factor)
        _axes_scale(axis, signed)
        estimate = _estimate(state, prop, label)
        title = TITLES.get(prop, prop.replace("_", " "))
        if prop in _SPECIES_IN_TITLE:
            title += f" {label}"
        axis.set_title(title + (f"\n{value_text(estimate)} (95 % CI)" if estimate is not None else ""), fontsize=8.5)
        unit = curves[0].unit
        reduced = unit not in SI_UNITS
        axis.set_xlabel("time (reduced units)" if reduced else "time (s)")
        axis.set_ylabel(f"integral ({prefix}{notation(unit)[0]})", fontsize=8.5)
        axis.grid(True, which="major", alpha=0.3)
    order, texts = labelled(handles)
    if _outside_supported():
        figure.legend(order, texts, loc="outside lower center", ncol=min(len(texts), 6), fontsize=8,
                      markerscale=3, frameon=False)
    else:  # older matplotlib leaves no room for a legend outside the panels
        axes[0].legend(order, texts, fontsize=7, markerscale=2.5, loc="best")
    figure.suptitle(f"{state.name}: MSD curves by run (points), fitted lines with 95 % band, "
                    f"fitted range between dashed marks", fontsize=11)
    return save(figure, path, fmt)


def _outside_supported() -> bool:
    import matplotlib

    major, minor = (int(part) for part in matplotlib.__version__.split(".")[:2])
    return (major, minor) >= (3, 7)
