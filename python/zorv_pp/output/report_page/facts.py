"""The facts a referee checks a state by: its molecules and their charges, box, run length, temperature, and the
shear viscosity and ξ of the Yeh–Hummer correction."""

from __future__ import annotations

import math
from collections.abc import Callable, Sequence

from ...analysis.state import StateResult
from ...figures.common import ion_charge, notation
from ...units import YEH_HUMMER_XI
from .page import e, rounded_cells, table


def _range(values: Sequence[float], text: Callable[[float], str], unit: str = "") -> str:
    """One value, or the smallest to the largest where the runs differ as shown, then ``unit``; "–" when none
    is known."""
    shown = list(dict.fromkeys(text(v) for v in sorted(v for v in values if math.isfinite(v))))
    if not shown:
        return "–"
    number = shown[0] if len(shown) == 1 else f"{shown[0]} to {shown[-1]}"
    return f"{number} {unit}" if unit else number


def _charge(charge: float | None, reduced: bool) -> str:
    if charge is None:
        return "charge not given"
    number = f"{charge:+g}".replace("-", "−") if charge else "0"
    return f"charge {number}" if reduced else f"charge {number} e"


def _count_rows(state: StateResult) -> list[list[str]]:
    names = list(dict.fromkeys(name for counts in state.counts for name in counts))
    rows = []
    for name in names:
        counts = [float(c[name]) for c in state.counts if name in c]
        charge = state.charges.get(name)
        label = name + (ion_charge(charge) if charge is not None else "")
        rows.append(
            [f"molecules of {e(label)} ({e(_charge(charge, state.style.reduced))})", e(_range(counts, "{:.0f}".format))]
        )
    return rows


def _run_length(state: StateResult) -> str:
    lengths = state.run_lengths
    if state.style.reduced:
        label, factor = "τ", 1.0
    else:
        label, factor = notation("s", [v for v in lengths if math.isfinite(v)])
    text = _range(lengths, lambda v: f"{v * factor:.4g}", label)
    if text != "–" and any(state.run_lengths_from_lags):
        text = f"≥ {text} (the longest lag: neither the log nor the campaign gave the sampling)"
    return text


def _viscosity(state: StateResult) -> str:
    eta = state.yeh_hummer_viscosity
    if eta is None or not math.isfinite(eta.mean):
        return "– (no shear viscosity: D is not corrected)"
    factor, unit = (1.0, "reduced units") if state.style.reduced else (1e3, "mPa·s")
    value, _, error = rounded_cells(eta.mean, eta.sem, *eta.ci95, factor)
    number = value if error == "–" else f"{value} ± {error}"
    source = "as given" if state.viscosity_given else "the state's shear viscosity, with its standard error"
    return f"{number} {e(unit)} ({e(source)})"


def facts_table(state: StateResult) -> str:
    """The state's facts as a table of quantity and value ("–" where its runs do not say); the Yeh–Hummer
    rows only where self-diffusion was corrected."""
    reduced = state.style.reduced
    length, temperature = ("σ", "(reduced)") if reduced else ("nm", "K")
    nanometres = 1.0 if reduced else 1e9
    sides = [v ** (1.0 / 3.0) * nanometres for v in state.volumes]
    rows = _count_rows(state)
    rows += [
        ["box length (cube root of the volume)", e(_range(sides, "{:.4g}".format, length))],
        ["run length", e(_run_length(state))],
        ["temperature", e(_range(state.temperatures, "{:.5g}".format, temperature))],
    ]
    if any(prop == "self_diffusion" for prop, _ in state.estimates):
        rows += [
            ["η in the Yeh–Hummer correction", _viscosity(state)],
            ["ξ in the Yeh–Hummer correction", e(repr(YEH_HUMMER_XI))],
        ]
    return f'<div id="facts-{e(state.name)}">' + table(("quantity", "value"), rows) + "</div>"
