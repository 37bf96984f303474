"""The running slope of every fitted curve of a state: the coefficient fitted from each possible start.

A curve in its diffusive regime gives the same coefficient from every start
past its bend; the 95 % band of each start, the state value with its interval
as a horizontal band and the chosen start of each run show at once whether
the fitted range sits on that plateau and from which side the curve comes.
"""

from __future__ import annotations

import math
import os
from collections.abc import Mapping
from pathlib import Path
from typing import Any

import numpy as np

from ..analysis.curve_fit import Curve
from ..analysis.state import StateResult
from ..msdfit.quantiles import Z95
from ..msdfit.running import running_slope
from .common import CI_NOTE, notation, panels, plain_ticks, run_colours, save, shared_legend, species_text
from .msd import curve_groups, estimate_of, panel_title, run_names, time_label

#: Starts that leave fewer rows than this are not drawn: their slope is noise.
MIN_ROWS = 8


def coefficient_unit(curve_unit: str) -> str:
    """The unit of the slope of a curve in ``curve_unit`` (coefficient × time)."""
    return {"m^2": "m^2/s", "Pa s^2": "Pa s", "W s/(m K)": "W/(m K)", "S s/m": "S/m"}.get(curve_unit, curve_unit)


def running(curve: Curve) -> tuple[Any, Any, Any] | None:
    """(start times in s, coefficient, its standard error) from every start of ``curve``; None without a
    sampling (a table that is no order-n grid has no error model)."""
    sampling = getattr(curve, "sampling", None)
    if sampling is None or not math.isfinite(curve.coefficient):
        return None
    try:
        starts, slopes, errors = running_slope(
            curve.time, curve.values, sampling, getattr(curve, "walkers", 1.0), getattr(curve, "noise", None)
        )
    except ValueError:
        return None
    keep = slice(0, max(len(starts) - MIN_ROWS + 1, 0))
    convert = curve.scale / curve.time_unit
    return starts[keep] * curve.time_unit, slopes[keep] * convert, errors[keep] * abs(convert)


#: Starts whose 95 % half-width exceeds this many times the state's are left out: they say nothing.
NOISE_LIMIT = 3.0


def _draw(axis: Any, curve: Curve, colour: Any, label: str, factor: float, widest: float) -> list[tuple[Any, str]]:
    found = running(curve)
    if found is None or not len(found[0]):
        return []
    starts, values, errors = (np.asarray(a, dtype=float) for a in found)
    keep = np.isfinite(values) & np.isfinite(errors) & (starts > 0) & (Z95 * errors <= widest)
    starts, values, errors = starts[keep], values[keep] * factor, errors[keep] * factor
    if not len(starts):
        return []
    line = axis.plot(starts, values, "-", lw=1.2, color=colour, label=label, zorder=4)[0]
    axis.fill_between(starts, values - Z95 * errors, values + Z95 * errors, color=colour, alpha=0.18, lw=0, zorder=2)
    if curve.t_fit:
        chosen = float(curve.t_fit[0]) * curve.time_unit
        axis.axvline(chosen, color=colour, lw=0.9, ls=(0, (4, 3)), zorder=3)
        index = int(np.argmin(np.abs(starts - chosen)))
        if np.isclose(starts[index], chosen, rtol=1e-9):
            axis.plot([starts[index]], [values[index]], "o", ms=5.5, mfc="white", mew=1.4, color=colour, zorder=6)
    return [(line, label)]


def _limits(axis: Any, estimate: Any, factor: float) -> None:
    """A y-range holding every drawn slope and the state's interval."""
    values = [
        np.asarray(line.get_ydata(), float)
        for line in axis.get_lines()
        if line.get_transform() == axis.transData and len(line.get_xdata())
    ]
    found = np.concatenate(values) if values else np.zeros(0)
    if estimate is not None and all(math.isfinite(v) for v in estimate.ci95):
        found = np.concatenate([found, np.asarray(estimate.ci95, float) * factor])
    found = found[np.isfinite(found)]
    if not len(found):
        return
    low, high = float(found.min()), float(found.max())
    pad = 0.12 * (high - low) if high > low else 0.1 * max(abs(high), 1e-30)
    axis.set_ylim(low - pad, high + pad)


def _widest(estimate: Any, factor: float) -> float:
    """The largest 95 % half-width of a start worth drawing, scaled to the curve's slope units."""
    if estimate is None or not all(math.isfinite(v) for v in estimate.ci95):
        return math.inf
    return NOISE_LIMIT * abs(estimate.ci95[1] - estimate.ci95[0]) / 2.0 / factor if factor else math.inf


def slope_figure(
    state: StateResult, path: str | os.PathLike[str], fmt: str = "png", charges: Mapping[str, float] | None = None
) -> Path | None:
    """The running slope of every fitted curve of ``state``, one panel per curve, runs in their colours.

    Each run: the coefficient fitted from every start to the last row with its
    95 % band, its chosen start dashed and ringed; the state value and its 95 %
    interval as a horizontal band. None when no curve has an error model.
    """
    groups = {key: curves for key, curves in curve_groups(state).items() if any(running(c) is not None for c in curves)}
    if not groups:
        return None
    colours = run_colours(max(len(state.runs), 1 + max(c.run for cs in groups.values() for c in cs)))
    names = run_names(state)
    figure, axes = panels(len(groups), 3, 4.4, 3.4)
    handles: list[tuple[Any, str]] = []
    for axis, ((prop, label), curves) in zip(axes, groups.items()):
        estimate = estimate_of(state, prop, label)
        unit = coefficient_unit(curves[0].unit)
        ylabel, factor = notation(unit, [estimate.mean] if estimate is not None else [])
        for curve in curves:
            handles += _draw(axis, curve, colours[curve.run], names(curve.run), factor, _widest(estimate, 1.0))
        if estimate is not None and all(math.isfinite(v) for v in estimate.ci95):
            axis.axhspan(estimate.ci95[0] * factor, estimate.ci95[1] * factor, color="0.5", alpha=0.25, lw=0, zorder=1)
            text = "state value, 95 % interval"
            handles.append((axis.axhline(estimate.mean * factor, color="0.25", lw=1.0, zorder=1, label=text), text))
        axis.set_xscale("log")
        _limits(axis, estimate, factor)
        axis.set_title(panel_title(prop, species_text(label, charges), None), fontsize=9)
        axis.set_xlabel(f"start of fit, {time_label(curves[0].unit)}", fontsize=8.5)
        axis.set_ylabel(f"slope from start ({ylabel})", fontsize=8.5)
        plain_ticks(axis)
        axis.grid(True, alpha=0.3)
    shared_legend(figure, axes, handles)
    figure.suptitle(
        f"{state.name}: slope of the fit from each start, with 95 % band; chosen start ringed\n({CI_NOTE})",
        fontsize=10.5,
    )
    return save(figure, path, fmt)
