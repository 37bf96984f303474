"""How a state's estimates settle as replicas are added: the value of the first k runs, k = 1..n."""

from __future__ import annotations

import math
import os
from pathlib import Path
from typing import Any

from .. import properties
from ..analysis.estimate import Estimate
from ..analysis.state import StateResult
from ..msdfit.quantiles import Z95
from .common import CI_NOTE, interval, notation, panels, plain_ticks, save, shared_legend


def prefixes(estimate: Estimate) -> list[Estimate]:
    """The state estimate from the first k runs, for k = 1..n (runs in state order; n: the state's own)."""
    values, sems = estimate.per_run, estimate.per_run_sem
    if len(sems) == len(values):
        steps = [Estimate.from_runs(values[:k], sems[:k], estimate.unit) for k in range(1, len(values))]
    else:
        steps = [Estimate.of(values[:k], estimate.unit) for k in range(1, len(values))]
    # All runs: the state's own estimate, which may carry errors shared by every run (Yeh–Hummer's η).
    return [*steps, estimate] if values else []


def _draw(axis: Any, estimate: Estimate, symbol: str) -> None:
    steps = prefixes(estimate)
    label, factor = notation(estimate.unit, [estimate.mean])
    ks = list(range(1, len(steps) + 1))
    points = [interval(step, factor) for step in steps]
    axis.errorbar(
        ks,
        [p[0] for p in points],
        yerr=[[p[1] for p in points], [p[2] for p in points]],
        fmt="o-",
        color="C0",
        ms=5,
        capsize=3,
        lw=1.0,
        label="first k runs combined",
    )
    own = [
        (k, v * factor, s * factor * Z95)
        for k, v, s in zip(ks, estimate.per_run, estimate.per_run_sem or [math.nan] * len(ks))
        if math.isfinite(v)
    ]
    if own:
        axis.errorbar(
            [k + 0.18 for k, _, _ in own],
            [v for _, v, _ in own],
            yerr=[s if math.isfinite(s) else 0.0 for _, _, s in own],
            fmt="s",
            color="0.55",
            mfc="white",
            ms=4,
            capsize=2,
            lw=0.8,
            label="run k alone",
        )
    low, high = estimate.ci95
    if math.isfinite(low) and math.isfinite(high):
        axis.axhspan(low * factor, high * factor, color="C0", alpha=0.12, lw=0, label="all runs: 95 % interval")
    axis.set_xticks(ks)
    axis.set_xlim(0.5, len(ks) + 0.7)
    axis.margins(y=0.12)
    axis.set_xlabel("replicas used")
    axis.set_ylabel(f"{symbol} ({label})" if symbol else label)
    plain_ticks(axis)
    axis.grid(True, alpha=0.3)


def convergence_figure(state: StateResult, path: str | os.PathLike[str], fmt: str = "png") -> Path | None:
    """The estimate and its 95 % interval of every transport property of ``state`` against the
    number of replicas used (the first k runs); each run's own value beside it. None when the
    state has fewer than two runs or no transport property with a run value."""
    keys = [
        key
        for key, e in state.estimates.items()
        if properties.get(key[0]).converging and any(math.isfinite(v) for v in e.per_run)
    ]
    keys.sort(key=lambda key: properties.order(key[0]))
    if not keys or len(state.runs) < 2:  # one run: a panel of one point per property says nothing
        return None
    figure, axes = panels(len(keys), 3, 4.4, 3.2)
    for axis, (prop, species) in zip(axes, keys):
        _draw(axis, state.estimates[(prop, species)], properties.get(prop).symbol)
        label = state.labels.get(species, "") if species is not None else ""
        axis.set_title(f"{properties.get(prop).title} {label}".strip(), fontsize=9)
    shared_legend(figure, axes, [(h, t) for h, t in zip(*axes[0].get_legend_handles_labels())])
    figure.suptitle(f"{state.name}: estimate against replicas used ({CI_NOTE})", fontsize=11)
    return save(figure, path, fmt)
