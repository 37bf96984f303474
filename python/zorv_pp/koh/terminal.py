"""The table the ``koh`` command prints: each state's MD values beside experiment and the models, with flags."""

from __future__ import annotations

import math
from collections.abc import Sequence

from ..analysis.estimate import Estimate
from ..rounding import fixed, place, shown
from .compare import KohComparison

HEADER = (
    "state",
    "T (K)",
    "b (mol/kg)",
    "σ_MD (S/m)",
    "σ_exp (S/m)",
    "Δσ",
    "ρ_MD (kg/m³)",
    "ρ_model (kg/m³)",
    "η_MD (mPa·s)",
    "η_model (mPa·s)",
    "flags",
)


def _md(estimate: Estimate | None, factor: float = 1.0) -> str:
    """``value ± standard error`` in ``factor`` × SI, rounded to the error; "–" when there is no value."""
    if estimate is None or not math.isfinite(estimate.mean):
        return "–"
    low, high = estimate.ci95
    value, error, _, _ = shown(estimate.mean * factor, estimate.sem * factor, low * factor, high * factor, "")
    return value if error == "–" else f"{value} ± {error}"


def _reference(value: float, like: Estimate | None, factor: float = 1.0) -> str:
    """An experimental or model value to the decimal place of the MD value beside it (four digits without one)."""
    last = place(like.sem * factor) if like is not None else None
    return fixed(value * factor, last)


def _percent(value: float) -> str:
    return "–" if not math.isfinite(value) else f"{100.0 * value:+.1f} %"


def _row(c: KohComparison) -> tuple[str, ...]:
    return (
        c.state,
        f"{c.temperature:g}",
        f"{c.molality:.3g}",
        _md(c.sigma_md),
        _reference(c.sigma_exp, c.sigma_md),
        _percent(c.sigma_md_deviation),
        _md(c.density_md),
        _reference(c.density_model, c.density_md),
        _md(c.viscosity_md, 1e3),
        _reference(c.viscosity_model, c.viscosity_md, 1e3),
        ", ".join(c.flags),
    )


def comparison_table(comparisons: Sequence[KohComparison]) -> str:
    """MD against experiment (σ) and the models (ρ, η) per state; ± is the standard error over the replicas,
    Δσ = (σ_MD − σ_exp)/σ_exp."""
    rows = [HEADER, *(_row(c) for c in comparisons)]
    widths = [max(len(row[i]) for row in rows) for i in range(len(HEADER))]
    lines = ["  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip() for row in rows]
    note = "± is the standard error over the replica runs; Δσ = (σ_MD − σ_exp) / σ_exp"
    return "\n".join([*lines, note])
