"""The report page of a KOH(aq) study, built from the parts of the campaign report: MD against
experiment and models, the hop time and D_hop with their intervals, the figures, the runs' warnings,
the failures, the settings and the version."""

from __future__ import annotations

import inspect
import os
from collections.abc import Sequence
from pathlib import Path
from typing import Any

from ..analysis.estimate import Estimate
from ..figures.common import species_text
from ..files import write_atomic
from ..output.report_page.legend import flags_legend
from ..output.report_page.page import e, figure, flags_cell, rounded_cells, table, warnings_table
from ..output.report_page.settings import finished_page
from ..rounding import BARE_DIGITS
from .compare import KohComparison
from .study import KohStudy

#: What each figure of the study shows; every one has error bars of 95 % intervals.
CAPTIONS = {
    "koh_conductivity": "Electrical conductivity against molality: Gilliam's experimental correlation (lines), MD from "
    "the Onsager coefficients (filled) and Nernst–Einstein (hollow); error bars are 95 % intervals.",
    "koh_diffusion": "Yeh–Hummer corrected self-diffusion of each species against molality; error bars are 95 % "
    "intervals.",
    "koh_density_viscosity": "Density and viscosity: MD against the Laliberté models (lines), with MD's deviation from "
    "the model below; error bars are 95 % intervals where MD has one.",
    "koh_summary": "The study on one page: conductivity, the anion's diffusion with hopping, the time between hops, "
    "the hopping diffusion, the deviations from experiment and the models, and the state points; error bars are "
    "95 % intervals.",
}


def _cell(estimate: Estimate | None, factor: float = 1.0) -> str:
    """``value [low, high]`` rounded to the estimate's error; "–" when there is none."""
    if estimate is None:
        return "–"
    value, interval, _ = rounded_cells(estimate.mean, estimate.sem, *estimate.ci95, factor)
    low, _, high = interval.partition(" to ")
    return value if interval == "–" or low == high else f"{value} [{low}, {high}]"


def _plain(value: float | None, factor: float = 1.0, digits: int = BARE_DIGITS) -> str:
    return "–" if value is None else e(f"{value * factor:.{digits}g}".replace("-", "−"))


def _percent(value: float) -> str:
    return e(f"{100.0 * value:+.1f} %".replace("-", "−"))


def _experiment_rows(comparisons: Sequence[KohComparison]) -> list[list[str]]:
    return [
        [
            e(c.state),
            e(f"{c.temperature:g}"),
            _plain(c.molality, digits=3),
            _cell(c.sigma_md),
            _cell(c.sigma_ne),
            _plain(c.sigma_exp, digits=3),
            _percent(c.sigma_md_deviation),
            _cell(c.density_md),
            _plain(c.density_model, digits=4),
            _cell(c.viscosity_md, 1e3),
            _plain(c.viscosity_model, 1e3, 3),
            flags_cell(c.flags),
        ]
        for c in comparisons
    ]


def _hopping_rows(comparisons: Sequence[KohComparison]) -> list[list[str]]:
    rows = []
    for c in comparisons:
        anion = c.diffusion.get(c.species.anion)
        rows.append(
            [
                e(c.state),
                _plain(c.hop_distance, 1e9, 3),
                e(c.hop_distance_source),
                _cell(c.tau, 1e12),
                _cell(c.d_hop, 1e9),
                _cell(anion, 1e9),
                _cell(c.d_oh_corrected, 1e9),
            ]
        )
    return rows


def _diffusion_rows(comparisons: Sequence[KohComparison]) -> list[list[str]]:
    return [[e(c.state), *(_cell(c.diffusion.get(name), 1e9) for name in c.species)] for c in comparisons]


def _tables(result: KohStudy) -> list[str]:
    comparisons = result.comparisons
    species = result.settings.species
    anion = species_text(species.anion, species.charges)
    names = [species_text(name, species.charges) for name in species]
    classes = ["flagged" if c.flags else "" for c in comparisons]
    return [
        "<h2>MD against experiment and models</h2>",
        '<p class="meta">Values [95 % interval], rounded to two significant digits of their standard error. '
        "σ<sub>exp</sub>: Gilliam's correlation; ρ and η models: Laliberté.</p>",
        table(
            (
                "state",
                "T (K)",
                "m (mol/kg)",
                "σ_MD (S/m)",
                "σ_NE (S/m)",
                "σ_exp (S/m)",
                "σ_MD vs σ_exp",
                "ρ_MD (kg/m³)",
                "ρ_model (kg/m³)",
                "η_MD (mPa·s)",
                "η_model (mPa·s)",
                "flags",
            ),
            _experiment_rows(comparisons),
            classes,
            numeric=tuple(range(1, 11)),
            subscripts=True,
        ),
        "<h2>Proton hopping</h2>",
        '<p class="meta">τ from the conductivity deficit σ<sub>exp</sub> − σ<sub>MD</sub>; '
        "D<sub>hop</sub> = d²/(6τ); no value where σ<sub>MD</sub> is not below σ<sub>exp</sub>.</p>",
        table(
            (
                "state",
                "hop distance (nm)",
                "source",
                "τ (ps)",
                "D_hop (10⁻⁹ m²/s)",
                f"D of {anion} (10⁻⁹ m²/s)",
                f"D of {anion} + D_hop (10⁻⁹ m²/s)",
            ),
            _hopping_rows(comparisons),
            numeric=(1, 3, 4, 5, 6),
            subscripts=True,
        ),
        "<h2>Self-diffusion (Yeh–Hummer corrected)</h2>",
        table(
            ("state", *(f"D of {name} (10⁻⁹ m²/s)" for name in names)),
            _diffusion_rows(comparisons),
            numeric=tuple(range(1, len(names) + 1)),
        ),
    ]


def _warnings(result: KohStudy) -> list[str]:
    parts = ["<h2>Runs and their warnings</h2>"]
    states = list(dict.fromkeys(record.state for record in result.runs))
    for state in states:
        records = [r for r in result.runs if r.state == state]
        parts += [f"<h3>State {e(state)}</h3>", warnings_table([(r.run, r.warnings) for r in records])]
    return parts if states else [*parts, '<p class="none">No run was analysed.</p>']


def koh_report_html(
    result: KohStudy,
    figures: Sequence[str | os.PathLike[str]] = (),
    settings: Any = None,
    title: str = "zorv_pp KOH(aq) study",
) -> str:
    """The text of the study's report page (see :func:`write_koh_report`)."""
    from .. import __version__

    summary = (
        f"{len(result.comparisons)} state(s) compared, {len(result.runs)} analysed run(s), "
        f"{len(result.failures)} failure(s); parameters: {result.settings.params.name}; "
        f"intervals are 95 % intervals; zorv_pp {__version__}."
    )
    legend = flags_legend((flag for c in result.comparisons for flag in c.flags), [inspect.getfile(KohComparison)])
    body = [f"<h1>{e(title)}</h1>", f'<p class="meta" id="summary">{e(summary)}</p>', legend, *_tables(result)]
    if figures:
        body += ["<h2>Figures</h2>", *(figure(Path(p), CAPTIONS.get(Path(p).stem, "")) for p in figures)]
    body += _warnings(result)
    return finished_page(title, body, result.failures, settings)


def write_koh_report(
    path: str | os.PathLike[str], result: KohStudy, figures: Sequence[str | os.PathLike[str]] = (), settings: Any = None
) -> Path:
    """Write the study's report page to ``path`` atomically; ``figures`` are embedded as in the
    campaign report, ``settings`` listed as there."""
    text = koh_report_html(result, figures, settings)
    return write_atomic(path, lambda stream: stream.write(text))
