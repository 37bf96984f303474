"""What the figures of a KOH(aq) study share: species and symbol labels, temperature groups and
colours, the molality axis, model curves and MD points with their 95 % intervals."""

from __future__ import annotations

import math
from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

from ..analysis.estimate import Estimate
from ..figures.common import fitted, pyplot, species_text
from .compare import NO_DEFICIT, KohComparison, SpeciesNames
from .params import FitRange, SaltParameters

CURVE_POINTS = 120
NANO = 1e9  # m²/s shown in units of 1e-9 m²/s
MILLI = 1e3  # Pa·s shown in mPa·s
SIGMA_MD, SIGMA_NE, SIGMA_EXP = r"$\sigma_\mathrm{MD}$", r"$\sigma_\mathrm{NE}$", r"$\sigma_\mathrm{exp}$"
D_HOP = r"$D_\mathrm{hop}$"
KINDS = (
    (SIGMA_MD, "o", "sigma_md", "sigma_exp"),
    (SIGMA_NE, "s", "sigma_ne", "sigma_exp"),
    ("ρ", "D", "density_md", "density_model"),
    ("η", "v", "viscosity_md", "viscosity_model"),
)


def ion(name: str, species: SpeciesNames) -> str:
    """A species name with its formal charge: K⁺, OH⁻, water."""
    return species_text(name, species.charges)


def groups(comparisons: Sequence[KohComparison]) -> list[tuple[float, list[KohComparison]]]:
    """The comparisons of each temperature (K), by molality."""
    groups: dict[float, list[KohComparison]] = {}
    for c in comparisons:
        groups.setdefault(round(c.temperature, 2), []).append(c)
    return [(t, sorted(group, key=lambda c: c.molality)) for t, group in sorted(groups.items())]


def colour(index: int) -> str:
    colours: list[str] = pyplot().rcParams["axes.prop_cycle"].by_key()["color"]
    return colours[index % len(colours)]


def top(comparisons: Sequence[KohComparison]) -> float:
    return max(c.molality for c in comparisons) * 1.15


def grid(comparisons: Sequence[KohComparison]) -> Any:
    highest = top(comparisons)
    return np.linspace(highest / CURVE_POINTS, highest, CURVE_POINTS)


def molality_axis(axis: Any, comparisons: Sequence[KohComparison]) -> None:
    axis.set_xlabel("molality (mol/kg)")
    axis.set_xlim(0.0, top(comparisons))
    axis.grid(True, alpha=0.3)


def model_curve(
    axis: Any,
    temperature: float,
    molalities: Any,
    model: Callable[[float, float], float],
    fit: FitRange | None,
    params: SaltParameters,
    colour: str,
    label: str,
    scale: float = 1.0,
) -> None:
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
        axis.plot(
            molalities,
            np.where(inside, np.nan, values),
            ":",
            color=colour,
            lw=1.5,
            label=None if inside.any() else f"{label} (extrapolated)",
        )


def bar(estimate: Estimate, scale: float) -> tuple[float, float, float]:
    """(value, down, up) of the 95 % interval, scaled; an end that is not finite gives no bar on its side."""
    mean = estimate.mean * scale
    low, high = (v * scale for v in estimate.ci95)
    return mean, mean - low if math.isfinite(low) else 0.0, high - mean if math.isfinite(high) else 0.0


def points(
    axis: Any,
    group: Sequence[KohComparison],
    value: Callable[[KohComparison], Estimate | None],
    colour: str,
    marker: str,
    label: str | None,
    scale: float = 1.0,
    hollow: Callable[[KohComparison], bool] = lambda c: False,
    dodge: float = 0.0,
) -> None:
    """MD estimates with 95 % interval error bars (none where the interval has no width); hollow where
    ``hollow`` says so; moved ``dodge`` along the molality axis."""
    first = True
    for c in group:
        estimate = value(c)
        if estimate is None or not math.isfinite(estimate.mean):
            continue
        mean, down, up = bar(estimate, scale)
        face = "white" if hollow(c) else colour
        axis.errorbar(
            [c.molality + dodge],
            [mean],
            yerr=bars(down, up),
            fmt=marker,
            color=colour,
            mfc=face,
            ms=6,
            capsize=3,
            label=label if first else None,
            zorder=3,
        )
        first = False


def title(axis: Any, text: str, fontsize: float) -> None:
    """A panel title broken to the panel's width: its notes grow with the states named and would run
    over the next panel's title."""
    inches = axis.get_position().width * axis.figure.get_figwidth()
    axis.set_title(fitted(text, inches, fontsize), fontsize=fontsize)


def bars(down: float, up: float) -> Any:
    """The error bars of one point; None (no bar, none in the legend) for an interval without width,
    such as a density every replica shares."""
    down, up = max(down, 0.0), max(up, 0.0)
    return [[down], [up]] if down > 0.0 or up > 0.0 else None


def dodge(comparisons: Sequence[KohComparison], index: int) -> float:
    """How far the points of temperature ``index`` move along the molality axis, so that the groups' markers
    at one molality sit side by side rather than on each other."""
    count = len(groups(comparisons))
    return (index - (count - 1) / 2.0) * 0.015 * top(comparisons)


def no_deficit_note(comparisons: Sequence[KohComparison]) -> str:
    """The states whose MD conductivity reaches experiment's, for a title (a note among points covers them)."""
    found = [f"{c.temperature:g}\u00a0K, {c.molality:g}\u00a0mol/kg" for c in comparisons if NO_DEFICIT in c.flags]
    return f"\nno deficit ({SIGMA_MD} ≥ {SIGMA_EXP}) at {'; '.join(found)}" if found else ""


def no_hop_note(comparisons: Sequence[KohComparison], anion: str) -> str:
    """The states without a hopping term (no △), for the panel's title: a note among the points would
    cover them or their error bars."""
    missing = [
        f"{c.temperature:g}\u00a0K, {c.molality:g}\u00a0mol/kg"
        for c in comparisons
        if c.d_oh_corrected is None and c.diffusion.get(anion) is not None
    ]
    if not missing:
        return ""
    return (
        f"\nno hopping point at {'; '.join(missing)}: MD conductivity is not below experiment's, "
        "so there is no proton hopping to add"
    )


def diffusion_of(name: str) -> Callable[[KohComparison], Estimate | None]:
    def value(c: KohComparison) -> Estimate | None:
        return c.diffusion.get(name)

    return value


def line(
    axis: Any,
    group: Sequence[KohComparison],
    value: Callable[[KohComparison], Estimate | None],
    colour: str,
    style: str,
    scale: float,
) -> None:
    points = [(c.molality, estimate.mean * scale) for c in group if (estimate := value(c)) is not None]
    if len(points) > 1:
        xs, ys = zip(*points)
        axis.plot(xs, ys, style, color=colour, lw=1.0, alpha=0.6)


def deviation_series(
    axis: Any,
    group: Sequence[KohComparison],
    kind: tuple[str, str, str, str],
    colour: str,
    label: str,
    hollow: Callable[[KohComparison], bool] = lambda c: False,
    dodge: float = 0.0,
) -> None:
    """100 (MD − reference) / reference with the 95 % interval of MD, one series, moved ``dodge`` along the
    molality axis."""
    _, marker, md_name, reference_name = kind
    points = []
    for c in group:
        md, reference = getattr(c, md_name), float(getattr(c, reference_name))
        if md is None or not math.isfinite(md.mean) or not reference:
            continue
        mean, down, up = bar(md, 100.0 / reference)
        points.append((c.molality + dodge, mean - 100.0, down, up, hollow(c)))
    if not points:
        return
    axis.plot([p[0] for p in points], [p[1] for p in points], "-", color=colour, lw=0.9, alpha=0.6)
    for index, (x, y, down, up, open_marker) in enumerate(points):
        axis.errorbar(
            [x],
            [y],
            yerr=bars(down, up),
            fmt=marker,
            color=colour,
            capsize=3,
            ms=5.5,
            mfc="white" if open_marker else colour,
            label=label if index == 0 else None,
        )
