"""The fitted MSD curves of one state: every run in its own colour, with its fit, band and range."""

from __future__ import annotations

import math
import os
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any

import numpy as np

from .. import properties
from ..analysis.curve_fit import Curve
from ..analysis.state import StateResult
from ..msdfit.covariance import rows_and_covariance
from .common import (
    fitted,
    notation,
    panels,
    plain_ticks,
    run_colours,
    save,
    shared_legend,
    species_text,
    superscript,
    value_text,
    wrapped,
)

_MARKERS = "os^vD<>ph*"
_PANEL_WIDTH = 4.4  # inches


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


def point_noise(curve: Curve) -> tuple[Any, Any] | None:
    """(times, standard deviations) in file units of the table's points inside the fitted range, as the
    fit's noise model gives them: the diagonal of the order-n unit covariance times the noise scale over
    the walkers. None for a curve without such a model."""
    sampling = getattr(curve, "sampling", None)
    if sampling is None or len(curve.t_fit) < 2 or not (math.isfinite(curve.coefficient) and curve.scale):
        return None
    slope = curve.coefficient * curve.time_unit / curve.scale  # back in file units
    noise = getattr(curve, "noise", None)
    scale = slope * slope if noise is None else float(noise)
    try:
        rows, cov = rows_and_covariance(np.asarray(curve.time, dtype=float), sampling)
    except ValueError:
        return None
    times = np.asarray(curve.time, dtype=float)[np.flatnonzero(rows.keep)]
    inside = (times >= curve.t_fit[0]) & (times <= curve.t_fit[-1])
    deviation = np.sqrt(np.maximum(np.diag(cov), 0.0) * scale / float(getattr(curve, "walkers", 1.0)))
    return times[inside], deviation[inside]


def chi2_text(curves: Sequence[Curve]) -> str:
    """The χ²/dof of each fitted run of a panel with its p value, for its title ("" when no fit has one).

    A few walkers' χ² has a heavy tail, so its p value (under the fit's noise model) is what says whether a
    misfit is more than noise. Past three runs only the lowest p is given, with how many it is the lowest of.
    """
    found = [c for c in curves if c.dof > 0 and math.isfinite(c.chi2)]
    if not found:
        return ""
    each = len(found) <= 3
    text = ", ".join(f"{c.chi2 / c.dof:.2g}" + (_p_text(c.p, "\u00a0(", ")") if each else "") for c in found)
    ps = [c.p for c in found if math.isfinite(c.p)]
    if not each and ps:
        # The lowest of many p values is small by chance: the reader is told of how many it is the lowest.
        text += _p_text(min(ps), f"; lowest\u00a0of\u00a0{len(ps)}:\u00a0", "")
    return "\nχ²/dof by run: " + text


def _p_text(p: float, before: str, after: str) -> str:
    if not math.isfinite(p):
        return ""
    # No-break spaces: a wrapped title keeps each run's p value whole.
    return f"{before}p\u00a0<\u00a00.001{after}" if p < 0.001 else f"{before}p\u00a0=\u00a0{p:.2g}{after}"


def _draw_noise(axis: Any, curve: Curve, colour: Any, factor: float, log: bool) -> None:
    """The ±1 standard deviation of a single point about the fitted line: points scattered within it fit
    the noise model, points leaving it on one side are a poor fit, a wide band late is a noisy tail."""
    found = point_noise(curve)
    if found is None or not len(found[0]):
        return
    times, deviation = found
    # The fitted line at the table's own times.
    centre = np.interp(times, curve.t_fit, curve.fit)
    xs = times * curve.time_unit
    low, high = ((centre + sign * deviation) * curve.scale * factor for sign in (-1.0, 1.0))
    if log:  # a log axis cannot show a lower edge at or below zero: it stops at a tenth of the line
        low = np.maximum(low, 0.1 * centre * curve.scale * factor)
    keep = np.isfinite(low) & np.isfinite(high) & (xs > 0)
    # Outlined as well as filled: on log axes a band of a few per cent is thinner than its fill shows.
    axis.fill_between(xs[keep], low[keep], high[keep], color=colour, alpha=0.12, lw=0, zorder=2)
    bottom, top = sorted(axis.get_ylim())
    for edge in (low[keep], high[keep]):  # an edge past the view stops at it; the fill shows the rest
        axis.plot(xs[keep], np.where((edge >= bottom) & (edge <= top), edge, np.nan), ":", color=colour, lw=0.8)


def _draw_curve(axis: Any, curve: Curve, colour: Any, label: str, factor: float) -> list[tuple[Any, str]]:
    xs, ys = _scaled(curve, curve.time, curve.values, factor)
    # Replicas often agree to the width of a marker: hollow markers of a shape per run keep each visible.
    marker = _MARKERS[curve.run % len(_MARKERS)]
    points = axis.plot(xs, ys, marker, ms=3.2, mfc="none", mew=0.8, color=colour, alpha=0.8, label=label, zorder=4)[0]
    fx, fy = _scaled(curve, curve.t_fit, curve.fit, factor)
    if len(fx) < 2 or not math.isfinite(curve.coefficient):
        return [(points, label)]
    axis.plot(fx, fy, "-", lw=1.4, color=colour, zorder=5)
    if len(curve.band) == len(curve.fit):
        half = np.asarray(curve.band, dtype=float) * abs(curve.scale) * factor
        bx = np.asarray(curve.t_fit, dtype=float) * curve.time_unit
        centre = np.asarray(curve.fit, dtype=float) * curve.scale * factor
        keep = np.isfinite(half) & np.isfinite(centre) & (bx > 0)
        axis.fill_between(
            bx[keep], (centre - half)[keep], (centre + half)[keep], color=colour, alpha=0.22, lw=0, zorder=3
        )
    for edge in (fx[0], fx[-1]):
        axis.axvline(edge, color=colour, lw=0.9, ls=(0, (4, 3)), alpha=0.9, zorder=2)
    return [(points, label)]


def estimate_of(state: StateResult, prop: str, label: str) -> Any:
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
    return (10.0**-exponent, f"10{superscript(exponent)} ") if exponent else (1.0, "")


#: Panels up to which a state's curves share one sheet.
SHEET = 4


def family_names() -> list[str]:
    """The sheets of curves, in the order their properties are registered."""
    return list(dict.fromkeys(p.family for p in properties.every() if p.family is not None))


def curve_groups(state: StateResult, family: str | None = None) -> dict[tuple[str, str], list[Curve]]:
    """The curves of ``state`` by (property, label), those of ``family`` only when given."""
    grouped: dict[tuple[str, str], list[Curve]] = {}
    for run_curves in state.curves:
        for curve in run_curves:
            if family is None or properties.get(curve.property).family == family:
                grouped.setdefault((curve.property, curve.label), []).append(curve)
    return grouped


def families(state: StateResult) -> list[str | None]:
    """The sheets of a state's MSD figure: one (None) up to :data:`SHEET` panels, else one per family."""
    if len(curve_groups(state)) <= SHEET:
        return [None]
    return [name for name in family_names() if curve_groups(state, name)]


def run_names(state: StateResult) -> Any:
    """The legend text of run ``k`` of ``state``: its number and folder name."""
    names = [os.path.basename(os.path.normpath(r)) for r in state.runs]
    return lambda k: f"run {k + 1}" + (f": {names[k]}" if k < len(names) else "")


def time_label(unit: str) -> str:
    return "time (reduced lj units)" if unit.startswith("reduced") else "time (s)"


def panel_title(prop: str, label: str, estimate: Any) -> str:
    declared = properties.get(prop)
    title = declared.title
    if declared.species_in_title:
        title += f" {label}"
    return title + (f"\n{value_text(estimate)} (95 % CI)" if estimate is not None else "")


def state_figure(
    state: StateResult,
    path: str | os.PathLike[str],
    fmt: str = "png",
    family: str | None = None,
    charges: Mapping[str, float] | None = None,
) -> Path | None:
    """Every fitted curve of ``state`` (of ``family`` only, when given) against time, one panel per
    property and species.

    Each run has one colour for its points, its fitted line, the line's 95 %
    band and the dashed marks of its fitted range. Curves are scaled so that
    their slope is the property (time in s; m² for diffusion, Pa·s² for
    viscosity, W·s/(m·K) for thermal conductivity; reduced units for lj
    runs); panels holding negative values use a linear axis. Returns None
    when there are no such curves.
    """
    grouped = curve_groups(state, family)
    if not grouped:
        return None
    colours = run_colours(
        max(len(state.runs), len(state.curves), 1 + max(c.run for cs in grouped.values() for c in cs))
    )
    names = run_names(state)
    figure, axes = panels(len(grouped), 2 if len(grouped) == 4 else 3, _PANEL_WIDTH, 3.5)
    handles: list[tuple[Any, str]] = []
    for axis, ((prop, label), curves) in zip(axes, grouped.items()):
        signed = _signed(curves)
        factor, prefix = _linear_factor(curves) if signed else (1.0, "")
        for curve in curves:
            handles += _draw_curve(axis, curve, colours[curve.run], names(curve.run), factor)
        _axes_scale(axis, signed)
        # The noise of a point can dwarf a cross curve: its band is clipped to the range of the data.
        axis.set_ylim(*axis.get_ylim())
        for curve in curves:
            _draw_noise(axis, curve, colours[curve.run], factor, not signed)
        title = panel_title(prop, species_text(label, charges), estimate_of(state, prop, label)) + chi2_text(curves)
        axis.set_title(fitted(title, _PANEL_WIDTH, 8.5), fontsize=8.5)
        unit = curves[0].unit
        axis.set_xlabel(time_label(unit))
        axis.set_ylabel(f"{properties.get(prop).quantity or 'integral'} ({prefix}{notation(unit)[0]})", fontsize=8.5)
        axis.grid(True, which="major", alpha=0.3)
    shared_legend(figure, axes, handles, markerscale=3)
    titles = list(dict.fromkeys(properties.get(prop).title for prop, _ in grouped))
    what = f" ({', '.join(titles) if len(titles) <= 2 else family})" if family else ""
    text = (
        f"{state.name}{what}: MSD curves by run (points), fitted lines with 95 % band, ±1 standard deviation of a "
        "point under the fit's noise model dotted, fitted range between dashed marks"
    )
    figure.suptitle(wrapped(figure, text, 10.5), fontsize=10.5)
    return save(figure, path, fmt)
