"""Figures: the fitted MSD curves of every state and a summary over states."""
from __future__ import annotations

import math
import os
from collections.abc import Sequence
from pathlib import Path
from typing import Any

import numpy as np

from .report import atomic_path
from .run_analysis import Curve
from .state import StateResult

TITLES = {
    "self_diffusion_pbc": "self-diffusion", "onsager": "Onsager", "shear_viscosity": "shear viscosity",
    "shear_viscosity_off": "shear viscosity (off-diagonal)", "bulk_viscosity": "bulk viscosity",
    "thermal_conductivity": "thermal conductivity",
}
SUMMARY = ("self_diffusion", "onsager", "shear_viscosity", "bulk_viscosity", "thermal_conductivity",
           "electrical_conductivity", "coordination_number", "density")


def _pyplot() -> Any:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    return plt


def _panels(plt: Any, count: int, most_columns: int, width: float) -> tuple[Any, Any]:
    """A figure with a grid of ``count`` panels, at most ``most_columns`` wide; unused ones hidden."""
    columns = min(most_columns, count)
    rows = math.ceil(count / columns)
    figure, axes = plt.subplots(rows, columns, figsize=(width * columns, 3.4 * rows), squeeze=False)
    for axis in list(axes.flat)[count:]:
        axis.set_visible(False)
    return figure, axes


def _save(figure: Any, path: str | os.PathLike[str]) -> Path:
    with atomic_path(path) as scratch:
        figure.savefig(scratch, dpi=110, format="png")
    return Path(path)


def _positive(x: Sequence[float], y: Sequence[float], scale_x: float, scale_y: float) -> tuple[Any, Any]:
    # A negative curve (an anticorrelated Onsager pair) is drawn by its magnitude.
    xs, ys = np.asarray(x, dtype=float) * scale_x, np.abs(np.asarray(y, dtype=float) * scale_y)
    keep = (xs > 0) & (ys > 0) & np.isfinite(xs) & np.isfinite(ys)
    return xs[keep], ys[keep]


def state_figure(state: StateResult, path: str | os.PathLike[str]) -> Path | None:
    """Log-log curves of every fitted property of ``state``, each run with its window and fit.

    Time is in seconds; each curve is scaled so that its slope is the property
    in SI (m² for diffusion, Pa·s² for viscosity, W·s/(m·K) for thermal
    conductivity). Returns None when the state has no curves.
    """
    panels: dict[tuple[str, str], list[Curve]] = {}
    for run_curves in state.curves:
        for curve in run_curves:
            panels.setdefault((curve.property, curve.label), []).append(curve)
    if not panels:
        return None
    plt = _pyplot()
    figure, axes = _panels(plt, len(panels), 4, 4.2)
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for axis, ((prop, label), curves) in zip(axes.flat, panels.items()):
        for index, curve in enumerate(curves):
            colour = colours[index % len(colours)]
            x, y = _positive(curve.time, curve.values, curve.time_unit, curve.scale)
            axis.loglog(x, y, ".", ms=3, color=colour, alpha=0.6, label=f"run {index + 1}")
            fx, fy = _positive(curve.t_fit, curve.fit, curve.time_unit, curve.scale)
            if len(fx) > 1 and math.isfinite(curve.coefficient):
                axis.loglog(fx, fy, "-", lw=1.4, color="black", zorder=3)
                axis.axvspan(fx[0], fx[-1], color=colour, alpha=0.06)
        unit = curves[0].unit
        estimate = state.estimates.get((prop, _key(state, label, prop)))
        value = f"\n{estimate.mean:.3g} ± {estimate.sem:.2g} {estimate.unit}" if estimate else ""
        axis.set_title(f"{TITLES.get(prop, prop)} {label if prop in ('self_diffusion_pbc', 'onsager') else ''}{value}",
                       fontsize=9)
        axis.set_xlabel("time (s)")
        negative = any(c.coefficient < 0 for c in curves)
        axis.set_ylabel(f"{'|integral|' if negative else 'integral'} ({_pretty(unit)})")
        axis.grid(True, which="major", alpha=0.3)
    axes.flat[0].legend(fontsize=7, loc="upper left")
    figure.suptitle(f"{state.name}: MSD curves of every run (points), fitted windows (shaded) and fits (black)")
    figure.tight_layout()
    saved = _save(figure, path)
    plt.close(figure)
    return saved


def _pretty(unit: str) -> str:
    return "dimensionless" if unit == "1" else unit.replace("^2", "²").replace("^3", "³")


def _key(state: StateResult, label: str, prop: str) -> Any:
    for (p, species), _ in state.estimates.items():
        if p == prop and (species is None or state.labels.get(species) == label):
            return species
    return None


def summary_figure(states: Sequence[StateResult], path: str | os.PathLike[str]) -> Path | None:
    """Mean ± standard error of the main properties across ``states``, one panel each."""
    panels = [prop for prop in SUMMARY if any(p == prop for s in states for p, _ in s.estimates)]
    if not panels:
        return None
    plt = _pyplot()
    figure, axes = _panels(plt, len(panels), 3, 4.6)
    positions = np.arange(len(states))
    for axis, prop in zip(axes.flat, panels):
        species = list(dict.fromkeys(s for state in states for p, s in state.estimates if p == prop))
        unit = ""
        for offset, key in enumerate(species):
            means, errors = [], []
            for state in states:
                estimate = state.estimates.get((prop, key))
                means.append(estimate.mean if estimate else math.nan)
                errors.append(estimate.sem if estimate and math.isfinite(estimate.sem) else 0.0)
                unit = estimate.unit if estimate else unit
            if not any(math.isfinite(m) for m in means):
                continue
            label = next((s.labels[key] for s in states if key in s.labels), None) if key is not None else None
            shift = (offset - (len(species) - 1) / 2) * 0.08
            axis.errorbar(positions + shift, means, yerr=errors, fmt="o", capsize=3, label=label)
        title = "self-diffusion (Yeh–Hummer)" if prop == "self_diffusion" else prop.replace("_", " ")
        axis.set_title(title, fontsize=10)
        axis.set_ylabel(_pretty(unit))
        axis.set_xticks(positions, [s.name for s in states], rotation=30, ha="right", fontsize=8)
        if len(species) > 1 or species[0] is not None:
            axis.legend(fontsize=7)
        axis.grid(True, alpha=0.3)
    figure.suptitle("State points: mean ± standard error over replicas")
    figure.tight_layout()
    saved = _save(figure, path)
    plt.close(figure)
    return saved
