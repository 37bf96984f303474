"""The main properties across the states of a campaign, with their 95 % intervals."""

from __future__ import annotations

import math
import os
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any

from .. import properties
from ..analysis.keys import Species
from ..analysis.state import StateResult
from .common import CI_NOTE, interval, notation, panels, plain_ticks, save, species_text

#: Metadata keys that name a composition, in order of preference; temperature comes after them.
COMPOSITION = ("molality", "molarity", "mole_fraction", "mass_fraction", "composition", "concentration", "x")
_AXIS_UNITS = {"molality": "mol/kg", "molarity": "mol/L", "temperature": "K", "pressure": "atm"}
_MARKERS = "osD^v<>p*h"

Series = tuple[str, Species, str]
"""(property, species, legend label) of one series of a panel."""


def _number(value: Any) -> bool:
    return not isinstance(value, bool) and isinstance(value, (int, float)) and math.isfinite(value)


def _shared_numbers(states: Sequence[StateResult]) -> list[str]:
    """Metadata keys holding a number in every state, in the preferred order for an x-axis."""
    keys = [k for k in states[0].metadata if all(_number(s.metadata.get(k)) for s in states)]
    rank = {key: i for i, key in enumerate(COMPOSITION)}
    rank["temperature"] = len(COMPOSITION)
    return sorted(keys, key=lambda k: rank.get(k, len(COMPOSITION) + 1))


def x_axis(states: Sequence[StateResult]) -> tuple[str | None, str | None]:
    """The metadata key to plot against (composition, then temperature) and one that splits series.

    The first shared numeric key that varies over the states is the axis (the
    first shared one when none varies); a second varying key, such as the
    temperature of a composition series, splits the points into series.
    Returns (None, None) when the states share no numeric metadata: the axis
    then lists the state names.
    """
    keys = [k for k in _shared_numbers(states) if k in COMPOSITION or k == "temperature"]
    if not keys:
        return None, None
    varying = [k for k in keys if len({float(s.metadata[k]) for s in states}) > 1]
    axis = varying[0] if varying else keys[0]
    split = next((k for k in varying if k != axis), None)
    return axis, split


def _panel_specs(
    states: Sequence[StateResult], charges: Mapping[str, float] | None = None
) -> list[tuple[str, list[Series]]]:
    """The panels of the summary, in the order their properties are registered: a property whose panel
    names its species gets one panel per species, the others share their panel with the properties
    drawn beside them (each species, or the property's own legend, a series)."""
    present: dict[tuple[str, Species], str] = {}
    for state in states:
        for prop, species in state.estimates:
            label = state.labels.get(species, "") if species is not None else ""
            present.setdefault((prop, species), species_text(label, charges))
    specs: dict[str, list[Series]] = {}
    for declared in properties.every():
        if declared.summary is None:
            continue
        drawn, title = _drawn(states, declared)
        series = [(p, s, declared.legend or label) for (p, s), label in present.items() if p == drawn]
        if declared.species_in_title:
            for p, s, label in series:
                specs[f"{title} {label}"] = [(p, s, label)]
        elif series:
            specs.setdefault(title, []).extend(series)
    return list(specs.items())


def _drawn(states: Sequence[StateResult], declared: properties.Property) -> tuple[str, str]:
    """The property a panel draws and its title: a corrected value without any finite value (no volume
    or viscosity) gives way to the value it corrects, said so, with what kept it from being corrected."""
    values = [e for state in states for (p, _), e in state.estimates.items() if p == declared.name]
    if declared.spread_of is None or any(math.isfinite(e.mean) for e in values):
        return declared.name, declared.summary or declared.title
    why = sorted({flag.replace("_", " ") for e in values for flag in e.flags})
    source = properties.get(declared.spread_of)
    return source.name, source.title + (f": {', '.join(why)}" if why else "")


def _positions(states: Sequence[StateResult], key: str | None) -> list[float]:
    return [float(s.metadata[key]) if key else float(i) for i, s in enumerate(states)]


def _draw_panel(
    axis: Any, states: Sequence[StateResult], series: Sequence[Series], key: str | None, split: str | None
) -> None:
    xs = _positions(states, key)
    estimates = [[state.estimates.get((prop, species)) for state in states] for prop, species, _ in series]
    units = [e.unit for row in estimates for e in row if e is not None]
    label, factor = notation(units[0] if units else "", [e.mean for row in estimates for e in row if e is not None])
    groups = sorted({float(s.metadata[split]) for s in states}) if split else [None]
    negative = False
    for index, ((_, _, name), row) in enumerate(zip(series, estimates)):
        for group_index, group in enumerate(groups):
            points = [
                (x, *interval(e, factor))
                for x, e, s in zip(xs, row, states)
                if e is not None and math.isfinite(e.mean) and (split is None or float(s.metadata[split]) == group)
            ]
            if not points:
                continue
            points.sort()
            shift = 0.0 if key else (index - (len(series) - 1) / 2) * 0.1
            text = name or None
            if split:
                text = f"{name + ', ' if name else ''}{_split_text(split, group)}"
            axis.errorbar(
                [p[0] + shift for p in points],
                [p[1] for p in points],
                yerr=[[p[2] for p in points], [p[3] for p in points]],
                fmt=_MARKERS[group_index % len(_MARKERS)] + ("-" if key and len(points) > 1 else ""),
                color=f"C{index % 10}",
                lw=0.9,
                ms=5.5,
                capsize=3,
                label=text,
            )
            negative = negative or any(p[1] - p[2] < 0 for p in points)
    if negative:
        axis.axhline(0.0, color="0.3", lw=0.7)
    symbol = properties.get(series[0][0]).symbol if series else ""
    axis.set_ylabel(f"{symbol} ({label})" if symbol else label)
    if not any(e is not None and math.isfinite(e.mean) for row in estimates for e in row):
        flags = sorted({f.replace("_", " ") for row in estimates for e in row if e is not None for f in e.flags})
        axis.text(
            0.5,
            0.5,
            "no finite value" + (f"\n({', '.join(flags)})" if flags else ""),
            transform=axis.transAxes,
            ha="center",
            va="center",
            fontsize=9,
            color="0.35",
        )
        axis.set_yticks([])
    elif len(series) > 1 or split:
        # Beside the panel, not in it: with few states no corner is free of points and bars.
        axis.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0), borderaxespad=0.0, frameon=False)


def _split_text(key: str, value: float | None) -> str:
    unit = _AXIS_UNITS.get(key, "")
    return f"{'T' if key == 'temperature' else key} = {value:g}{' ' + unit if unit else ''}"


def _frame(axis: Any, states: Sequence[StateResult], key: str | None) -> None:
    xs = _positions(states, key)
    if key is None:
        axis.set_xticks(
            xs,
            [s.name for s in states],
            rotation=30 if len(states) > 2 else 0,
            ha="right" if len(states) > 2 else "center",
            fontsize=8,
        )
        axis.set_xlim(-0.6, len(states) - 0.4)
    else:
        unit = _AXIS_UNITS.get(key, "")
        axis.set_xlabel(key.replace("_", " ") + (f" ({unit})" if unit else ""))
        low, high = min(xs), max(xs)
        pad = (high - low) * 0.08 if high > low else max(abs(low) * 0.25, 0.5)
        axis.set_xlim(low - pad, high + pad)
    axis.margins(y=0.12)
    plain_ticks(axis)
    axis.grid(True, alpha=0.3)


def summary_figure(
    states: Sequence[StateResult],
    path: str | os.PathLike[str],
    fmt: str = "png",
    charges: Mapping[str, float] | None = None,
) -> Path | None:
    """The main properties across ``states``, with 95 % intervals as error bars.

    Plotted against a composition or the temperature when every state's
    metadata gives it, else against the state names; one panel per Onsager
    coefficient so that small cross terms keep their sign and scale. Returns
    None when there is nothing to draw. ``charges`` (e, by species) put the charge on an ion's name.
    """
    if not states:
        return None
    specs = _panel_specs(states, charges)
    if not specs:
        return None
    key, split = x_axis(states)
    figure, axes = panels(len(specs), 3, 4.6, 3.4)
    for axis, (title, series) in zip(axes, specs):
        _draw_panel(axis, states, series, key, split)
        axis.set_title(title, fontsize=10)
        _frame(axis, states, key)
    figure.suptitle(f"State points: state values; {CI_NOTE}", fontsize=12)
    return save(figure, path, fmt)
