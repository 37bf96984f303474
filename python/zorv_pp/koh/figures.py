"""Figures of a KOH(aq) study: conductivity, diffusion, density and viscosity against molality.

MD points are state values with error bars of their 95 % interval; model
curves are solid inside the model's fitted range and dotted outside it, and an
MD point compared with an extrapolated model is drawn hollow. Every molality
axis reaches past the largest state, so that no point sits on the frame.
"""
from __future__ import annotations

import math
import os
from collections.abc import Callable, Sequence
from pathlib import Path
from typing import Any

import numpy as np

from ..estimate import Estimate
from ..figures.common import CI_NOTE, check_format, pyplot, save, species_text
from .compare import DENSITY_EXTRAPOLATED, NO_DEFICIT, VISCOSITY_EXTRAPOLATED, KohComparison, SpeciesNames
from .params import FitRange, SaltParameters

DPI = 150
#: Size in inches of every figure, by file stem.
SIZES: dict[str, tuple[float, float]] = {
    "koh_conductivity": (6.6, 4.8),
    "koh_diffusion": (13.2, 4.6),
    "koh_density_viscosity": (10.4, 8.4),
    "koh_summary": (16.0, 10.4),
}
_CURVE_POINTS = 120
_NANO = 1e9  # m²/s shown in units of 1e-9 m²/s
_MILLI = 1e3  # Pa·s shown in mPa·s
SIGMA_MD, SIGMA_NE, SIGMA_EXP = r"$\sigma_\mathrm{MD}$", r"$\sigma_\mathrm{NE}$", r"$\sigma_\mathrm{exp}$"
D_HOP = r"$D_\mathrm{hop}$"
_KINDS = ((SIGMA_MD, "o", "sigma_md", "sigma_exp"), (SIGMA_NE, "s", "sigma_ne", "sigma_exp"),
          ("ρ", "D", "density_md", "density_model"), ("η", "v", "viscosity_md", "viscosity_model"))


def ion(name: str, species: SpeciesNames) -> str:
    """A species name with its formal charge: K⁺, OH⁻, water."""
    return species_text(name, species.charges)


def _groups(comparisons: Sequence[KohComparison]) -> list[tuple[float, list[KohComparison]]]:
    """The comparisons of each temperature (K), by molality."""
    groups: dict[float, list[KohComparison]] = {}
    for c in comparisons:
        groups.setdefault(round(c.temperature, 2), []).append(c)
    return [(t, sorted(group, key=lambda c: c.molality)) for t, group in sorted(groups.items())]


def _colour(index: int) -> str:
    colours: list[str] = pyplot().rcParams["axes.prop_cycle"].by_key()["color"]
    return colours[index % len(colours)]


def _top(comparisons: Sequence[KohComparison]) -> float:
    return max(c.molality for c in comparisons) * 1.15


def _grid(comparisons: Sequence[KohComparison]) -> Any:
    top = _top(comparisons)
    return np.linspace(top / _CURVE_POINTS, top, _CURVE_POINTS)


def _molality_axis(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    axis.set_xlabel("molality (mol/kg)")
    axis.set_xlim(0.0, _top(comparisons))
    axis.grid(True, alpha=0.3)


def _model_curve(axis: Any, temperature: float, molalities: Any, model: Callable[[float, float], float],
                 fit: FitRange | None, params: SaltParameters, colour: str, label: str, scale: float = 1.0) -> None:
    """A model against molality, solid where fitted and dotted where extrapolated; each style in
    the legend only when it is drawn."""
    values = np.array([model(temperature, m) for m in molalities]) * scale
    if fit is None:
        axis.plot(molalities, values, "-", color=colour, lw=1.5, label=label)
        return
    inside = np.array([fit.contains(temperature, params.mass_fraction(m)) for m in molalities])
    if inside.any():
        axis.plot(molalities, np.where(inside, values, np.nan), "-", color=colour, lw=1.5, label=label)
    if not inside.all():
        axis.plot(molalities, np.where(inside, np.nan, values), ":", color=colour, lw=1.5,
                  label=None if inside.any() else f"{label} (extrapolated)")


def _bar(estimate: Estimate, scale: float) -> tuple[float, float, float]:
    """(value, down, up) of the 95 % interval, scaled; an end that is not finite gives no bar on its side."""
    mean = estimate.mean * scale
    low, high = (v * scale for v in estimate.ci95)
    return mean, mean - low if math.isfinite(low) else 0.0, high - mean if math.isfinite(high) else 0.0


def _points(axis: Any, group: Sequence[KohComparison], value: Callable[[KohComparison], Estimate | None],
            colour: str, marker: str, label: str | None, scale: float = 1.0,
            hollow: Callable[[KohComparison], bool] = lambda c: False) -> None:
    """MD estimates with 95 % interval error bars; hollow where ``hollow`` says so."""
    first = True
    for c in group:
        estimate = value(c)
        if estimate is None or not math.isfinite(estimate.mean):
            continue
        mean, down, up = _bar(estimate, scale)
        face = "white" if hollow(c) else colour
        axis.errorbar([c.molality], [mean], yerr=[[max(down, 0.0)], [max(up, 0.0)]], fmt=marker, color=colour,
                      mfc=face, ms=6, capsize=3, label=label if first else None, zorder=3)
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
    _molality_axis(axis, comparisons)
    axis.set_ylabel("electrical conductivity σ (S/m)")
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.08)
    axis.legend(fontsize=7, loc="upper left")


def _no_deficit_note(comparisons: Sequence[KohComparison]) -> str:
    """The states whose MD conductivity reaches experiment's, for a title (a note among points covers them)."""
    found = [f"{c.temperature:g} K, {c.molality:g} mol/kg" for c in comparisons if NO_DEFICIT in c.flags]
    return f"\nno deficit ({SIGMA_MD} ≥ {SIGMA_EXP}) at {'; '.join(found)}" if found else ""


def conductivity_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str],
                        fmt: str = "png") -> Path:
    """σ against molality for each temperature: Gilliam's curve, MD Onsager and Nernst–Einstein points."""
    figure, axis = pyplot().subplots(figsize=SIZES["koh_conductivity"], layout="constrained")
    _conductivity(axis, comparisons)
    axis.set_title(f"KOH(aq) conductivity: MD against experiment ({CI_NOTE})" + _no_deficit_note(comparisons),
                   fontsize=10)
    return save(figure, path, fmt, DPI)


def _no_hop_note(comparisons: Sequence[KohComparison], anion: str) -> str:
    """The states without a hopping term (no △), for the panel's title: a note among the points would
    cover them or their error bars."""
    missing = [f"{c.temperature:g} K, {c.molality:g} mol/kg" for c in comparisons
               if c.d_oh_corrected is None and c.diffusion.get(anion) is not None]
    if not missing:
        return ""
    return f"\nno △ at {'; '.join(missing)}: {SIGMA_MD} ≥ {SIGMA_EXP}, no hopping to add"


def diffusion_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png") -> Path:
    """Yeh–Hummer corrected D of each species against molality; the anion also with D_hop added."""
    figure, axes = pyplot().subplots(1, 3, figsize=SIZES["koh_diffusion"], sharey=True, layout="constrained")
    species = comparisons[0].species
    for axis, name in zip(axes, species):
        for index, (temperature, group) in enumerate(_groups(comparisons)):
            colour = _colour(index)
            _line(axis, group, _diffusion_of(name), colour, "-", _NANO)
            _points(axis, group, _diffusion_of(name), colour, "o", f"{temperature:g} K: MD", _NANO)
            if name == species.anion:
                _line(axis, group, lambda c: c.d_oh_corrected, colour, "--", _NANO)
                _points(axis, group, lambda c: c.d_oh_corrected, colour, "^",
                        f"{temperature:g} K: MD + {D_HOP}", _NANO, hollow=lambda c: True)
        title = ion(name, species)
        if name == species.anion:
            title = f"{title}: ● D, △ D + {D_HOP}" + _no_hop_note(comparisons, name)
        axis.set_title(title, fontsize=10 if "\n" not in title else 9)
        _molality_axis(axis, comparisons)
        axis.legend(fontsize=7, loc="lower left")
    axes[0].set_ylabel("self-diffusion D (10⁻⁹ m²/s)")
    axes[0].set_ylim(bottom=0.0)
    axes[0].margins(y=0.12)
    figure.suptitle(f"Self-diffusion (Yeh–Hummer corrected; {CI_NOTE})", fontsize=11)
    return save(figure, path, fmt, DPI)


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
        _deviation_series(deviation_axis, group, _KINDS[2] if density else _KINDS[3], colour, f"{temperature:g} K",
                          hollow=lambda c: flag in c.flags)
    unit = "kg/m³" if density else "mPa·s"
    symbol = "ρ" if density else "η"
    value_axis.set_ylabel(f"{'density' if density else 'shear viscosity'} {symbol} ({unit})")
    value_axis.set_title(f"{'Density' if density else 'Viscosity'}: MD against the Laliberté model", fontsize=10)
    deviation_axis.axhline(0.0, color="black", lw=0.8)
    md, reference = rf"$\{'rho' if density else 'eta'}_\mathrm{{MD}}$", rf"$\{'rho' if density else 'eta'}_\mathrm{{model}}$"
    deviation_axis.set_ylabel(f"({md} − {reference}) / {reference} (%)")
    deviation_axis.set_title("relative deviation (hollow: model extrapolated)", fontsize=9)
    for axis in (value_axis, deviation_axis):
        _molality_axis(axis, comparisons)
        axis.margins(y=0.1)
        axis.legend(fontsize=7)


def _deviation_series(axis: Any, group: Sequence[KohComparison], kind: tuple[str, str, str, str], colour: str,
                      label: str, hollow: Callable[[KohComparison], bool] = lambda c: False) -> None:
    """100 (MD − reference) / reference with the 95 % interval of MD, one series."""
    _, marker, md_name, reference_name = kind
    points = []
    for c in group:
        md, reference = getattr(c, md_name), float(getattr(c, reference_name))
        if md is None or not math.isfinite(md.mean) or not reference:
            continue
        mean, down, up = _bar(md, 100.0 / reference)
        points.append((c.molality, mean - 100.0, down, up, hollow(c)))
    if not points:
        return
    axis.plot([p[0] for p in points], [p[1] for p in points], "-", color=colour, lw=0.9, alpha=0.6)
    for index, (x, y, down, up, open_marker) in enumerate(points):
        axis.errorbar([x], [y], yerr=[[down], [up]], fmt=marker, color=colour, capsize=3, ms=5.5,
                      mfc="white" if open_marker else colour, label=label if index == 0 else None)


def density_viscosity_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str],
                             fmt: str = "png") -> Path:
    """ρ and η of MD against the Laliberté models (dotted: outside the fit), with their deviation."""
    figure, axes = pyplot().subplots(2, 2, figsize=SIZES["koh_density_viscosity"], layout="constrained")
    _model_panel(axes[0, 0], axes[1, 0], comparisons, "density")
    _model_panel(axes[0, 1], axes[1, 1], comparisons, "viscosity")
    figure.suptitle(f"Density and viscosity: MD against the Laliberté models ({CI_NOTE})", fontsize=11)
    return save(figure, path, fmt, DPI)


def _hopping(axis: Any, comparisons: Sequence[KohComparison], what: str) -> None:
    """τ (ps) or D_hop (10⁻⁹ m²/s) against molality, error bars from the 95 % interval of σ_MD."""
    scale = 1e12 if what == "tau" else _NANO
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        xs, ys, low, high, open_ended = [], [], [], [], []
        for c in group:
            value = c.tau if what == "tau" else c.d_hop
            if value is None:
                axis.annotate(f"no deficit:\n{SIGMA_MD} ≥ {SIGMA_EXP}", (c.molality, 0.0), xytext=(0, 4),
                              textcoords="offset points", ha="center", va="bottom", fontsize=7, color=colour)
                continue
            mean, down, up = _bar(value, scale)
            xs.append(c.molality)
            ys.append(mean)
            low.append(down)
            high.append(up)
            if not math.isfinite(value.ci95[1]):
                open_ended.append((c.molality, mean))
        if xs:
            axis.errorbar(xs, ys, yerr=[low, high], fmt="o-", color=colour, capsize=3, lw=1.0,
                          label=f"{temperature:g} K")
        for x, y in open_ended:  # σ_MD's interval reaches σ_exp: no upper bound on τ
            axis.annotate("↑ ∞", (x, y), xytext=(6, 6), textcoords="offset points", fontsize=7, color=colour)
    if what == "tau":
        axis.set_ylabel("mean time between hops τ (ps)")
        axis.set_title("Proton hopping: τ from the conductivity deficit", fontsize=10)
    else:
        axis.set_ylabel(f"hopping diffusion {D_HOP} (10⁻⁹ m²/s)")
        axis.set_title(f"Proton hopping: {D_HOP} = d² / (6τ)", fontsize=10)
    _molality_axis(axis, comparisons)
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.1)
    axis.legend(fontsize=7)


def _deviations(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        for kind in _KINDS:
            _deviation_series(axis, group, kind, colour, f"{kind[0]}, {temperature:g} K")
    axis.axhline(0.0, color="black", lw=0.8)
    axis.set_ylabel("(MD − reference) / reference (%)")
    axis.set_title("MD against experiment (σ) and models (ρ, η)", fontsize=10)
    _molality_axis(axis, comparisons)
    axis.margins(y=0.08)
    # Eight series: the legend goes below the panel, where it hides no point.
    axis.legend(fontsize=8, ncol=len(_groups(comparisons)), loc="upper center", bbox_to_anchor=(0.5, -0.16),
                frameon=False)


def _table(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    axis.axis("off")
    header = ["state", "T (K)", "m (mol/kg)", "M (mol/L)", f"{SIGMA_MD}/{SIGMA_EXP}", "τ (ps)", "flags"]
    cells = []
    for c in comparisons:
        tau = "no deficit" if c.tau is None else f"{c.tau.mean * 1e12:.2f}"
        flags = ", ".join(f.replace("_extrapolated", " extrap.").replace("_", " ") for f in c.flags if f != NO_DEFICIT)
        cells.append([c.state, f"{c.temperature:g}", f"{c.molality:.3g}", f"{c.molarity:.3g}",
                      f"{c.sigma_md.mean / c.sigma_exp:.2f}", tau, flags or "–"])
    table = axis.table(cellText=cells, colLabels=header, loc="upper center", cellLoc="center")
    table.auto_set_font_size(False)
    table.set_fontsize(7)
    table.auto_set_column_width(list(range(len(header))))
    table.scale(1.0, 1.3)
    params = comparisons[0].params
    axis.set_title(f"State points (parameters: {params.name})", fontsize=10)


def summary_figure(comparisons: Sequence[KohComparison], path: str | os.PathLike[str], fmt: str = "png") -> Path:
    """One page: σ, the anion's D with hopping, τ, D_hop, the relative deviations and a state table."""
    figure, axes = pyplot().subplots(2, 3, figsize=SIZES["koh_summary"], layout="constrained")
    _conductivity(axes[0, 0], comparisons)
    axes[0, 0].set_title("Conductivity against molality" + _no_deficit_note(comparisons), fontsize=10)
    _anion_diffusion(axes[0, 1], comparisons)
    _hopping(axes[0, 2], comparisons, "tau")
    _deviations(axes[1, 0], comparisons)
    _hopping(axes[1, 1], comparisons, "d_hop")
    _table(axes[1, 2], comparisons)
    figure.suptitle(f"KOH(aq) study: MD without proton hopping against experiment ({CI_NOTE})", fontsize=12)
    return save(figure, path, fmt, DPI)


def _anion_diffusion(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    anion = comparisons[0].species.anion
    for index, (temperature, group) in enumerate(_groups(comparisons)):
        colour = _colour(index)
        _line(axis, group, _diffusion_of(anion), colour, "-", _NANO)
        _points(axis, group, _diffusion_of(anion), colour, "o", f"{temperature:g} K: MD", _NANO)
        _line(axis, group, lambda c: c.d_oh_corrected, colour, "--", _NANO)
        _points(axis, group, lambda c: c.d_oh_corrected, colour, "^", f"{temperature:g} K: MD + {D_HOP}", _NANO,
                hollow=lambda c: True)
    _molality_axis(axis, comparisons)
    name = ion(anion, comparisons[0].species)
    axis.set_ylabel(f"D of {name} (10⁻⁹ m²/s)")
    axis.set_title(f"{name} self-diffusion: ● D, △ D + {D_HOP}" + _no_hop_note(comparisons, anion), fontsize=9)
    axis.set_ylim(bottom=0.0)
    axis.margins(y=0.12)
    axis.legend(fontsize=7, loc="lower left")


def study_figures(comparisons: Sequence[KohComparison], folder: str | os.PathLike[str],
                  fmt: str = "png") -> list[Path]:
    """Every figure of the study into ``folder`` (koh_*.<fmt>); none when there is nothing to draw."""
    check_format(fmt)
    if not comparisons:
        return []
    out = Path(folder)
    return [conductivity_figure(comparisons, out / f"koh_conductivity.{fmt}", fmt),
            diffusion_figure(comparisons, out / f"koh_diffusion.{fmt}", fmt),
            density_viscosity_figure(comparisons, out / f"koh_density_viscosity.{fmt}", fmt),
            summary_figure(comparisons, out / f"koh_summary.{fmt}", fmt)]
