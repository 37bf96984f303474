"""Figures of a KOH(aq) study: conductivity, diffusion, density and viscosity against molality.

MD points are replica means with error bars of one replica standard
deviation (the spread that the hop time carries); model curves are solid
inside the model's fitted range and dotted outside it, and an MD point
compared with an extrapolated model is drawn hollow.
"""
from __future__ import annotations

import math
import os
from collections.abc import Callable, Sequence
from pathlib import Path
from typing import Any

import numpy as np

from ..estimate import Estimate
from ..figures import _pyplot, _save
from .compare import DENSITY_EXTRAPOLATED, NO_DEFICIT, VISCOSITY_EXTRAPOLATED, KohComparison
from .params import FitRange, SaltParameters

DPI = 110
#: Size in inches of every figure, by file stem.
SIZES: dict[str, tuple[float, float]] = {
    "koh_conductivity": (6.6, 4.8),
    "koh_diffusion": (13.2, 4.4),
    "koh_density_viscosity": (10.4, 7.6),
    "koh_summary": (16.0, 9.6),
}
_CURVE_POINTS = 120
_NANO = 1e9  # m²/s shown in units of 1e-9 m²/s
_MILLI = 1e3  # Pa·s shown in mPa·s


def _groups(comparisons: Sequence[KohComparison]) -> list[tuple[float, list[KohComparison]]]:
    """The comparisons of each temperature (K), by molality."""
    groups: dict[float, list[KohComparison]] = {}
    for c in comparisons:
        groups.setdefault(round(c.temperature, 2), []).append(c)
    return [(t, sorted(group, key=lambda c: c.molality)) for t, group in sorted(groups.items())]


def _colour(index: int) -> str:
    colours: list[str] = _pyplot().rcParams["axes.prop_cycle"].by_key()["color"]
    return colours[index % len(colours)]


def _grid(comparisons: Sequence[KohComparison]) -> Any:
    top = max(c.molality for c in comparisons) * 1.15
    return np.linspace(top / _CURVE_POINTS, top, _CURVE_POINTS)


def _model_curve(axis: Any, temperature: float, molalities: Any, model: Callable[[float, float], float],
                 fit: FitRange | None, params: SaltParameters, colour: str, label: str, scale: float = 1.0) -> None:
    """A model against molality, solid where fitted and dotted where extrapolated."""
    values = np.array([model(temperature, m) for m in molalities]) * scale
    if fit is None:
        axis.plot(molalities, values, "-", color=colour, lw=1.5, label=label)
        return
    inside = np.array([fit.contains(temperature, params.mass_fraction(m)) for m in molalities])
    axis.plot(molalities, np.where(inside, values, np.nan), "-", color=colour, lw=1.5, label=label)
    if not inside.all():
        axis.plot(molalities, np.where(inside, np.nan, values), ":", color=colour, lw=1.5,
                  label=None if inside.any() else f"{label} (extrapolated)")


def _points(axis: Any, group: Sequence[KohComparison], value: Callable[[KohComparison], Estimate | None],
            colour: str, marker: str, label: str | None, scale: float = 1.0,
            hollow: Callable[[KohComparison], bool] = lambda c: False) -> None:
    """MD estimates with one-standard-deviation error bars; hollow where ``hollow`` says so."""
    first = True
    for c in group:
        estimate = value(c)
        if estimate is None or not math.isfinite(estimate.mean):
            continue
        error = estimate.std * scale if math.isfinite(estimate.std) else 0.0
        face = "white" if hollow(c) else colour
        axis.errorbar([c.molality], [estimate.mean * scale], yerr=[error], fmt=marker, color=colour, mfc=face,
                      ms=6, capsize=3, label=label if first else None, zorder=3)
        first = False


def _conductivity(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    grid = _grid(comparisons)
    params = comparisons[0].params
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        _model_curve(axis, temperature, grid, params.conductivity_at, None, params, colour,
                     f"{temperature:g} K: experiment (Gilliam)")
        _points(axis, group, lambda c: c.sigma_md, colour, "o", f"{temperature:g} K: MD (Onsager)")
        _points(axis, group, lambda c: c.sigma_ne, colour, "s", f"{temperature:g} K: MD (Nernst–Einstein)",
                hollow=lambda c: True)
        for c in group:
            if NO_DEFICIT in c.flags:
                axis.annotate("no deficit", (c.molality, c.sigma_md.mean), xytext=(6, -12),
                              textcoords="offset points", fontsize=7, color=colour)
    axis.set_xlabel("molality (mol/kg)")
    axis.set_ylabel("electrical conductivity σ (S/m)")
    axis.set_xlim(left=0.0)
    axis.set_ylim(bottom=0.0)
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize=7, loc="upper left")


def conductivity_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str]) -> Path:
    """σ against molality for each temperature: Gilliam's curve, MD Onsager and Nernst–Einstein points."""
    plt = _pyplot()
    figure, axis = plt.subplots(figsize=SIZES["koh_conductivity"])
    _conductivity(axis, comparisons)
    axis.set_title("KOH(aq) conductivity: MD (± replica std) against experiment", fontsize=10)
    figure.tight_layout()
    return _finish(plt, figure, path)


def diffusion_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str]) -> Path:
    """Yeh–Hummer corrected D of each species against molality; the anion also with D_hop added."""
    plt = _pyplot()
    figure, axes = plt.subplots(1, 3, figsize=SIZES["koh_diffusion"], sharey=True)
    species = comparisons[0].species
    for axis, name in zip(axes, species):
        for index, (temperature, group) in enumerate(_groups(comparisons)):
            colour = _colour(index)
            _line(axis, group, _diffusion_of(name), colour, "-", _NANO)
            _points(axis, group, _diffusion_of(name), colour, "o", f"{temperature:g} K: MD", _NANO)
            if name == species.anion:
                _line(axis, group, lambda c: c.d_oh_corrected, colour, "--", _NANO)
                _points(axis, group, lambda c: c.d_oh_corrected, colour, "^",
                        f"{temperature:g} K: MD + D_hop", _NANO, hollow=lambda c: True)
        title = f"{name}: with hopping (▲ = D + D_hop)" if name == species.anion else name
        axis.set_title(title, fontsize=10)
        axis.set_xlabel("molality (mol/kg)")
        axis.set_xlim(left=0.0)
        axis.grid(True, alpha=0.3)
        axis.legend(fontsize=7)
    axes[0].set_ylabel("self-diffusion D (10⁻⁹ m²/s)")
    axes[0].set_ylim(bottom=0.0)
    figure.suptitle("Self-diffusion (Yeh–Hummer corrected, ± replica std)", fontsize=11)
    figure.tight_layout()
    return _finish(plt, figure, path)


def _diffusion_of(name: str) -> Callable[[KohComparison], Estimate | None]:
    def value(c: KohComparison) -> Estimate | None:
        return c.diffusion.get(name)
    return value


def _line(axis: Any, group: Sequence[KohComparison], value: Callable[[KohComparison], Estimate | None],
          colour: str, style: str, scale: float) -> None:
    points = [(c.molality, estimate.mean * scale) for c in group if (estimate := value(c)) is not None]
    if len(points) > 1:
        xs, ys = zip(*points)
        axis.plot(xs, ys, style, color=colour, lw=1.0, alpha=0.6)


def _model_panel(value_axis: Any, deviation_axis: Any, comparisons: Sequence[KohComparison], what: str) -> None:
    params = comparisons[0].params
    grid = _grid(comparisons)
    density = what == "density"
    scale = 1.0 if density else _MILLI
    model = (lambda t, m: params.density_at(t, m)[0]) if density else params.viscosity_at
    fit = params.density_range if density else params.viscosity_range
    flag = DENSITY_EXTRAPOLATED if density else VISCOSITY_EXTRAPOLATED
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        _model_curve(value_axis, temperature, grid, model, fit, params, colour,
                     f"{temperature:g} K: Laliberté", scale)
        _points(value_axis, group, lambda c: c.density_md if density else c.viscosity_md, colour, "o",
                f"{temperature:g} K: MD", scale, hollow=lambda c: flag in c.flags)
        deviations = []
        for c in group:
            md, reference = (c.density_md, c.density_model) if density else (c.viscosity_md, c.viscosity_model)
            if md is not None:
                deviations.append((c.molality, 100.0 * (md.mean - reference) / reference,
                                   100.0 * md.std / reference, flag in c.flags))
        deviation_axis.plot([d[0] for d in deviations], [d[1] for d in deviations], "-", color=colour, lw=1.0,
                            alpha=0.6)
        for x, y, error, extrapolated in deviations:
            deviation_axis.errorbar([x], [y], yerr=[error], fmt="o", color=colour, capsize=3, ms=6,
                                    mfc="white" if extrapolated else colour)
        deviation_axis.plot([], [], "o", color=colour, label=f"{temperature:g} K")
    unit = "kg/m³" if density else "mPa·s"
    symbol = "ρ" if density else "η"
    value_axis.set_ylabel(f"{'density' if density else 'shear viscosity'} {symbol} ({unit})")
    value_axis.set_title(f"{'Density' if density else 'Viscosity'}: MD against the Laliberté model", fontsize=10)
    deviation_axis.axhline(0.0, color="black", lw=0.8)
    deviation_axis.set_ylabel(f"({symbol}_MD − {symbol}_model) / {symbol}_model (%)")
    deviation_axis.set_title("relative deviation (hollow: model extrapolated)", fontsize=9)
    for axis in (value_axis, deviation_axis):
        axis.set_xlabel("molality (mol/kg)")
        axis.set_xlim(left=0.0)
        axis.grid(True, alpha=0.3)
        axis.legend(fontsize=7)


def density_viscosity_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str]) -> Path:
    """ρ and η of MD against the Laliberté models (dotted: outside the fit), with their deviation."""
    plt = _pyplot()
    figure, axes = plt.subplots(2, 2, figsize=SIZES["koh_density_viscosity"])
    _model_panel(axes[0, 0], axes[1, 0], comparisons, "density")
    _model_panel(axes[0, 1], axes[1, 1], comparisons, "viscosity")
    figure.tight_layout()
    return _finish(plt, figure, path)


def _hopping(axis: Any, comparisons: Sequence[KohComparison], what: str) -> None:
    """τ (ps) or D_hop (10⁻⁹ m²/s) against molality, error bars from σ_MD ± std."""
    scale = 1e12 if what == "tau" else _NANO
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        xs, ys, low, high = [], [], [], []
        for c in group:
            value = c.tau if what == "tau" else c.d_hop
            if value is None:
                axis.annotate("no deficit", (c.molality, 0.0), xytext=(0, 4), textcoords="offset points",
                              ha="center", fontsize=7, color=colour, rotation=90, va="bottom")
                continue
            xs.append(c.molality)
            ys.append(value.mean * scale)
            top = value.high * scale if math.isfinite(value.high) else value.mean * scale * 2.0
            low.append(value.mean * scale - value.low * scale)
            high.append(top - value.mean * scale)
        if xs:
            axis.errorbar(xs, ys, yerr=[low, high], fmt="o-", color=colour, capsize=3, lw=1.0,
                          label=f"{temperature:g} K")
    if what == "tau":
        axis.set_ylabel("mean time between hops τ (ps)")
        axis.set_title("Proton hopping: τ from the conductivity deficit", fontsize=10)
    else:
        axis.set_ylabel("hopping diffusion D_hop (10⁻⁹ m²/s)")
        axis.set_title("Proton hopping: D_hop = d² / (6τ)", fontsize=10)
    axis.set_xlabel("molality (mol/kg)")
    axis.set_xlim(left=0.0)
    axis.set_ylim(bottom=0.0)
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize=7)


def _deviations(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    kinds = (("σ_MD", "o", "sigma_md_deviation"), ("σ_NE", "s", "sigma_ne_deviation"),
             ("ρ", "D", "density_deviation"), ("η", "v", "viscosity_deviation"))
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        for name, marker, attribute in kinds:
            ys = [100.0 * float(getattr(c, attribute)) for c in group]
            axis.plot([c.molality for c in group], ys, marker + "-", color=colour, lw=0.8, ms=5, alpha=0.85,
                      label=f"{name}, {temperature:g} K")
    axis.axhline(0.0, color="black", lw=0.8)
    axis.set_xlabel("molality (mol/kg)")
    axis.set_ylabel("(MD − reference) / reference (%)")
    axis.set_title("MD against experiment (σ) and models (ρ, η)", fontsize=10)
    axis.set_xlim(left=0.0)
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize=6, ncol=2)


def _table(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    axis.axis("off")
    header = ["state", "T (K)", "m (mol/kg)", "M (mol/L)", "σ_MD/σ_exp", "τ (ps)", "flags"]
    cells = []
    for c in comparisons:
        tau = "no deficit" if c.tau is None else f"{c.tau.mean * 1e12:.2f}"
        flags = ", ".join(f.replace("_extrapolated", " extrap.") for f in c.flags if f != NO_DEFICIT)
        cells.append([c.state, f"{c.temperature:g}", f"{c.molality:.3g}", f"{c.molarity:.3g}",
                      f"{c.sigma_md.mean / c.sigma_exp:.2f}", tau, flags or "–"])
    table = axis.table(cellText=cells, colLabels=header, loc="upper center", cellLoc="center")
    table.auto_set_font_size(False)
    table.set_fontsize(7)
    table.auto_set_column_width(list(range(len(header))))
    table.scale(1.0, 1.3)
    params = comparisons[0].params
    axis.set_title(f"State points (parameters: {params.name})", fontsize=10)


def summary_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str]) -> Path:
    """One page: σ, the anion's D with hopping, τ, D_hop, the relative deviations and a state table."""
    plt = _pyplot()
    figure, axes = plt.subplots(2, 3, figsize=SIZES["koh_summary"])
    _conductivity(axes[0, 0], comparisons)
    axes[0, 0].set_title("Conductivity against molality", fontsize=10)
    _anion_diffusion(axes[0, 1], comparisons)
    _hopping(axes[0, 2], comparisons, "tau")
    _deviations(axes[1, 0], comparisons)
    _hopping(axes[1, 1], comparisons, "d_hop")
    _table(axes[1, 2], comparisons)
    figure.suptitle("KOH(aq) study: MD without proton hopping against experiment (error bars: replica std)",
                    fontsize=12)
    figure.tight_layout()
    return _finish(plt, figure, path)


def _anion_diffusion(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    anion = comparisons[0].species.anion
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        _line(axis, group, _diffusion_of(anion), colour, "-", _NANO)
        _points(axis, group, _diffusion_of(anion), colour, "o", f"{temperature:g} K: MD", _NANO)
        _line(axis, group, lambda c: c.d_oh_corrected, colour, "--", _NANO)
        _points(axis, group, lambda c: c.d_oh_corrected, colour, "^", f"{temperature:g} K: MD + D_hop", _NANO,
                hollow=lambda c: True)
    axis.set_xlabel("molality (mol/kg)")
    axis.set_ylabel(f"D of {anion} (10⁻⁹ m²/s)")
    axis.set_title(f"{anion} self-diffusion, without and with hopping", fontsize=10)
    axis.set_xlim(left=0.0)
    axis.set_ylim(bottom=0.0)
    axis.grid(True, alpha=0.3)
    axis.legend(fontsize=7)


def _finish(plt: Any, figure: Any, path: str | os.PathLike[str]) -> Path:
    saved = _save(figure, path)
    plt.close(figure)
    return saved


def study_figures(comparisons: Sequence[KohComparison], folder: str | os.PathLike[str]) -> list[Path]:
    """Every figure of the study into ``folder`` (koh_*.png); none when there is nothing to draw."""
    if not comparisons:
        return []
    out = Path(folder)
    return [conductivity_figure(comparisons, out / "koh_conductivity.png"),
            diffusion_figure(comparisons, out / "koh_diffusion.png"),
            density_viscosity_figure(comparisons, out / "koh_density_viscosity.png"),
            summary_figure(comparisons, out / "koh_summary.png")]
