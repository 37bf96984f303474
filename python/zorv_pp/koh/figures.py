"""Figures of a KOH(aq) study: conductivity, diffusion, density and viscosity against molality.

MD points are state values with error bars of their 95 % interval; model
curves are solid inside the model's fitted range and dotted outside it, and an
MD point compared with an extrapolated model is drawn hollow. Every molality
axis reaches past the largest state, so that no point sits on the frame; the points of
the temperatures at one molality are set a little apart, so that none hides another.
"""

from __future__ import annotations

import math
import os
from collections.abc import Sequence
from pathlib import Path
from typing import Any

from ..figures.common import CI_NOTE, check_format, pyplot, save
from . import figure_parts as parts
from .compare import DENSITY_EXTRAPOLATED, NO_DEFICIT, VISCOSITY_EXTRAPOLATED, KohComparison

DPI = 150
#: Size in inches of every figure, by file stem.
SIZES: dict[str, tuple[float, float]] = {
    "koh_conductivity": (6.6, 4.8),
    "koh_diffusion": (12.0, 4.6),
    "koh_density_viscosity": (10.4, 8.4),
    "koh_summary": (12.0, 14.4),
}


def _conductivity(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    grid = parts.grid(comparisons)
    params = comparisons[0].params
    for index, (temperature, group) in enumerate(parts.groups(comparisons)):
        colour = parts.colour(index)
        parts.model_curve(
            axis,
            temperature,
            grid,
            params.conductivity_at,
            None,
            params,
            colour,
            f"{temperature:g} K: experiment (Gilliam)",
        )
        parts.points(axis, group, lambda c: c.sigma_md, colour, "o", f"{temperature:g} K: MD (Onsager)")
        parts.points(
            axis,
            group,
            lambda c: c.sigma_ne,
            colour,
            "s",
            f"{temperature:g} K: MD (Nernst–Einstein)",
            hollow=lambda c: True,
        )
    parts.molality_axis(axis, comparisons)
    axis.set_ylabel("electrical conductivity σ (S/m)")
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.08)
    axis.legend(fontsize=8, loc="best")


def conductivity_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png") -> Path:
    """σ against molality for each temperature: Gilliam's curve, MD Onsager and Nernst–Einstein points."""
    figure, axis = pyplot().subplots(figsize=SIZES["koh_conductivity"], layout="constrained")
    _conductivity(axis, comparisons)
    parts.title(
        axis, f"KOH(aq) conductivity: MD against experiment ({CI_NOTE})" + parts.no_deficit_note(comparisons), 10
    )
    return save(figure, path, fmt, DPI)


def diffusion_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png") -> Path:
    """Yeh–Hummer corrected D of each species against molality; the anion also with D_hop added."""
    figure, axes = pyplot().subplots(1, 3, figsize=SIZES["koh_diffusion"], sharey=True, layout="constrained")
    species = comparisons[0].species
    for axis, name in zip(axes, species):
        for index, (temperature, group) in enumerate(parts.groups(comparisons)):
            colour = parts.colour(index)
            parts.line(axis, group, parts.diffusion_of(name), colour, "-", parts.NANO)
            parts.points(axis, group, parts.diffusion_of(name), colour, "o", f"{temperature:g} K: MD", parts.NANO)
            if name == species.anion:
                parts.line(axis, group, lambda c: c.d_oh_corrected, colour, "--", parts.NANO)
                parts.points(
                    axis,
                    group,
                    lambda c: c.d_oh_corrected,
                    colour,
                    "^",
                    f"{temperature:g} K: MD + {parts.D_HOP}",
                    parts.NANO,
                    hollow=lambda c: True,
                )
        title = parts.ion(name, species)
        if name == species.anion:
            title = f"{title}: ● D, △ D + {parts.D_HOP}" + parts.no_hop_note(comparisons, name)
        parts.title(axis, title, 10 if "\n" not in title else 9)
        parts.molality_axis(axis, comparisons)
        axis.legend(fontsize=8, loc="lower left")
    axes[0].set_ylabel("self-diffusion D (10⁻⁹ m²/s)")
    axes[0].set_ylim(bottom=0.0)
    axes[0].margins(y=0.12)
    figure.suptitle(f"Self-diffusion (Yeh–Hummer corrected; {CI_NOTE})", fontsize=11)
    return save(figure, path, fmt, DPI)


def _model_panel(value_axis: Any, deviation_axis: Any, comparisons: Sequence[KohComparison], what: str) -> None:
    params = comparisons[0].params
    grid = parts.grid(comparisons)
    density = what == "density"
    scale = 1.0 if density else parts.MILLI
    model = (lambda t, m: params.density_at(t, m)[0]) if density else params.viscosity_at
    fit = params.density_range if density else params.viscosity_range
    flag = DENSITY_EXTRAPOLATED if density else VISCOSITY_EXTRAPOLATED
    for index, (temperature, group) in enumerate(parts.groups(comparisons)):
        colour = parts.colour(index)
        parts.model_curve(
            value_axis, temperature, grid, model, fit, params, colour, f"{temperature:g} K: Laliberté", scale
        )
        parts.points(
            value_axis,
            group,
            lambda c: c.density_md if density else c.viscosity_md,
            colour,
            "o",
            f"{temperature:g} K: MD",
            scale,
            hollow=lambda c: flag in c.flags,
            dodge=parts.dodge(comparisons, index),
        )
        kind = parts.KINDS[2] if density else parts.KINDS[3]
        parts.deviation_series(
            deviation_axis,
            group,
            kind,
            colour,
            f"{temperature:g} K",
            hollow=lambda c: flag in c.flags,
            dodge=parts.dodge(comparisons, index),
        )
    unit = "kg/m³" if density else "mPa·s"
    symbol = "ρ" if density else "η"
    value_axis.set_ylabel(f"{'density' if density else 'shear viscosity'} {symbol} ({unit})")
    value_axis.set_title(f"{'Density' if density else 'Viscosity'}: MD against the Laliberté model", fontsize=10)
    deviation_axis.axhline(0.0, color="black", lw=0.8)
    letter = "rho" if density else "eta"
    md, reference = rf"$\{letter}_\mathrm{{MD}}$", rf"$\{letter}_\mathrm{{model}}$"
    deviation_axis.set_ylabel(f"({md} − {reference}) / {reference} (%)")
    deviation_axis.set_title("relative deviation (hollow: model extrapolated)", fontsize=9)
    for axis in (value_axis, deviation_axis):
        parts.molality_axis(axis, comparisons)
        axis.margins(y=0.1)
        axis.legend(fontsize=8)


def density_viscosity_figure(
    comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png"
) -> Path:
    """ρ and η of MD against the Laliberté models (dotted: outside the fit), with their deviation."""
    figure, axes = pyplot().subplots(2, 2, figsize=SIZES["koh_density_viscosity"], layout="constrained")
    _model_panel(axes[0, 0], axes[1, 0], comparisons, "density")
    _model_panel(axes[0, 1], axes[1, 1], comparisons, "viscosity")
    figure.suptitle(f"Density and viscosity: MD against the Laliberté models ({CI_NOTE})", fontsize=11)
    return save(figure, path, fmt, DPI)


def _hopping(axis: Any, comparisons: Sequence[KohComparison], what: str) -> None:
    """τ (ps) or D_hop (10⁻⁹ m²/s) against molality, error bars from the 95 % interval of σ_MD."""
    scale = 1e12 if what == "tau" else parts.NANO
    for index, (temperature, group) in enumerate(parts.groups(comparisons)):
        colour = parts.colour(index)
        xs, ys, low, high, open_ended = [], [], [], [], []
        # A state without a deficit is a cross on the axis, not a note: notes of near states run together.
        missing = [c.molality for c in group if (c.tau if what == "tau" else c.d_hop) is None]
        if missing:
            axis.plot(
                missing,
                [0.0] * len(missing),
                "x",
                color=colour,
                ms=7,
                mew=1.5,
                clip_on=False,
                zorder=5,
                label=f"{temperature:g} K: no deficit ({parts.SIGMA_MD} ≥ {parts.SIGMA_EXP})",
            )
        for c in group:
            value = c.tau if what == "tau" else c.d_hop
            if value is None:
                continue
            mean, down, up = parts.bar(value, scale)
            xs.append(c.molality)
            ys.append(mean)
            low.append(down)
            high.append(up)
            if not math.isfinite(value.ci95[1]):
                open_ended.append((c.molality, mean))
        if xs:
            axis.errorbar(
                xs, ys, yerr=[low, high], fmt="o-", color=colour, capsize=3, lw=1.0, label=f"{temperature:g} K"
            )
        for x, y in open_ended:  # σ_MD's interval reaches σ_exp: no upper bound on τ
            axis.annotate("↑ ∞", (x, y), xytext=(6, 6), textcoords="offset points", fontsize=8, color=colour)
    if what == "tau":
        axis.set_ylabel("mean time between hops τ (ps)")
        axis.set_title("Proton hopping: τ from the conductivity deficit", fontsize=10)
    else:
        axis.set_ylabel(f"hopping diffusion {parts.D_HOP} (10⁻⁹ m²/s)")
        axis.set_title(f"Proton hopping: {parts.D_HOP} = d² / (6τ)", fontsize=10)
    parts.molality_axis(axis, comparisons)
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.1)
    axis.legend(fontsize=8)


def _deviations(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    for index, (temperature, group) in enumerate(parts.groups(comparisons)):
        colour = parts.colour(index)
        for kind in parts.KINDS:
            parts.deviation_series(
                axis, group, kind, colour, f"{kind[0]}, {temperature:g} K", dodge=parts.dodge(comparisons, index)
            )
    axis.axhline(0.0, color="black", lw=0.8)
    axis.set_ylabel("(MD − reference) / reference (%)")
    axis.set_title("MD against experiment (σ) and models (ρ, η)", fontsize=10)
    parts.molality_axis(axis, comparisons)
    axis.margins(y=0.08)
    # Eight series: the legend goes below the panel, where it hides no point.
    axis.legend(
        fontsize=8, ncol=len(parts.groups(comparisons)), loc="upper center", bbox_to_anchor=(0.5, -0.16), frameon=False
    )


def _table(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    axis.axis("off")
    header = ["state", "T (K)", "m (mol/kg)", "M (mol/L)", f"{parts.SIGMA_MD}/{parts.SIGMA_EXP}", "τ (ps)", "flags"]
    cells = []
    for c in comparisons:
        tau = "no deficit" if c.tau is None else f"{c.tau.mean * 1e12:.2f}"
        flags = ", ".join(f.replace("_extrapolated", " extrap.").replace("_", " ") for f in c.flags if f != NO_DEFICIT)
        cells.append(
            [
                c.state,
                f"{c.temperature:g}",
                f"{c.molality:.3g}",
                f"{c.molarity:.3g}",
                f"{c.sigma_md.mean / c.sigma_exp:.2f}",
                tau,
                flags or "–",
            ]
        )
    table = axis.table(cellText=cells, colLabels=header, loc="upper center", cellLoc="center")
    table.auto_set_font_size(False)
    table.set_fontsize(8)
    table.auto_set_column_width(list(range(len(header))))
    table.scale(1.0, 1.3)
    params = comparisons[0].params
    axis.set_title(f"State points (parameters: {params.name})", fontsize=10)


def summary_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png") -> Path:
    """One page: σ, the anion's D with hopping, τ, D_hop, the relative deviations and a state table."""
    # Two columns: three would take a page wider than it shows a figure at full size.
    figure, axes = pyplot().subplots(3, 2, figsize=SIZES["koh_summary"], layout="constrained")
    _conductivity(axes[0, 0], comparisons)
    parts.title(axes[0, 0], "Conductivity against molality" + parts.no_deficit_note(comparisons), 10)
    _anion_diffusion(axes[0, 1], comparisons)
    _hopping(axes[1, 0], comparisons, "tau")
    _hopping(axes[1, 1], comparisons, "d_hop")
    _deviations(axes[2, 0], comparisons)
    _table(axes[2, 1], comparisons)
    figure.suptitle(f"KOH(aq) study: MD without proton hopping against experiment ({CI_NOTE})", fontsize=12)
    return save(figure, path, fmt, DPI)


def _anion_diffusion(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    anion = comparisons[0].species.anion
    for index, (temperature, group) in enumerate(parts.groups(comparisons)):
        colour = parts.colour(index)
        parts.line(axis, group, parts.diffusion_of(anion), colour, "-", parts.NANO)
        parts.points(axis, group, parts.diffusion_of(anion), colour, "o", f"{temperature:g} K: MD", parts.NANO)
        parts.line(axis, group, lambda c: c.d_oh_corrected, colour, "--", parts.NANO)
        parts.points(
            axis,
            group,
            lambda c: c.d_oh_corrected,
            colour,
            "^",
            f"{temperature:g} K: MD + {parts.D_HOP}",
            parts.NANO,
            hollow=lambda c: True,
        )
    parts.molality_axis(axis, comparisons)
    name = parts.ion(anion, comparisons[0].species)
    axis.set_ylabel(f"D of {name} (10⁻⁹ m²/s)")
    parts.title(axis, f"{name} self-diffusion: ● D, △ D + {parts.D_HOP}" + parts.no_hop_note(comparisons, anion), 9)
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.12)
    axis.legend(fontsize=8, loc="lower left")


def study_figures(comparisons: Sequence[KohComparison], folder: str | os.PathLike[str], fmt: str = "png") -> list[Path]:
    """Every figure of the study into ``folder`` (koh_*.<fmt>); none when there is nothing to draw."""
    check_format(fmt)
    if not comparisons:
        return []
    out = Path(folder)
    return [
        conductivity_figure(comparisons, out / f"koh_conductivity.{fmt}", fmt),
        diffusion_figure(comparisons, out / f"koh_diffusion.{fmt}", fmt),
        density_viscosity_figure(comparisons, out / f"koh_density_viscosity.{fmt}", fmt),
        summary_figure(comparisons, out / f"koh_summary.{fmt}", fmt),
    ]
