"""Values formed from fitted ones once the state's viscosity is known: the Yeh–Hummer self-diffusion, the
Nernst–Einstein conductivity and the Haven ratio, each with its error and window spread; then the one
rule that flags a value, and every value derived from it, as sensitive to the window choice."""

from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, replace

from .. import properties
from ..errors import ZorvError
from ..flags import NO_VOLUME, WINDOW_SENSITIVE
from ..units import YEH_HUMMER_XI
from .estimate import Estimate
from .keys import Key, pair_key
from .run_fit import RunAnalysis


@dataclass(frozen=True)
class Derived:
    """A run with its derived values added (a new RunAnalysis; the fitted one is left as it was), the error
    each derived value shares with every other run (from the state's viscosity), to be added once the runs
    are combined, and the values each derived value was formed from."""

    run: RunAnalysis
    shared: dict[Key, float]
    sources: dict[Key, tuple[Key, ...]]


def derive(run: RunAnalysis, eta: Estimate, charges: Mapping[str, float] | None) -> Derived:
    """Yeh–Hummer, Nernst–Einstein and Haven values of one run, with their errors."""
    values, errors = dict(run.values), dict(run.errors)
    flags, spread = dict(run.flags), dict(run.spread)
    shared: dict[Key, float] = {}
    sources: dict[Key, tuple[Key, ...]] = {}
    style, temperature, volume = run.style, run.temperature, run.volume
    box = volume ** (1.0 / 3.0)
    correction = YEH_HUMMER_XI * style.boltzmann * temperature / (6.0 * math.pi * eta.mean * box)
    relative_eta = eta.sem / eta.mean if eta.mean != 0.0 else math.nan
    diffusion = {s: v for (p, s), v in values.items() if p == "self_diffusion_pbc" and isinstance(s, str)}
    for species, value in diffusion.items():
        key: Key = ("self_diffusion", species)
        values[key] = value + correction
        if not math.isfinite(volume):
            flags[key] = (NO_VOLUME,)
        errors[key] = errors.get(("self_diffusion_pbc", species), math.nan)
        shared[key] = correction * relative_eta
        sources[key] = (("self_diffusion_pbc", species),)
    if charges is not None:
        if ("electrical_conductivity", None) not in values:
            _conductivity_from_onsager(run, values, charges)
        if diffusion:
            _nernst_einstein(
                run, charges, list(diffusion), values, errors, spread, shared, sources, correction * relative_eta
            )
    derived = replace(run, values=values, errors=errors, flags=flags, spread=spread)
    return Derived(derived, shared, sources)


def _nernst_einstein(
    run: RunAnalysis,
    charges: Mapping[str, float],
    diffusion: list[str],
    values: dict[Key, float],
    errors: dict[Key, float],
    spread: dict[Key, float],
    shared: dict[Key, float],
    sources: dict[Key, tuple[Key, ...]],
    eta_part: float,
) -> None:
    """σ_NE from the corrected D of the charged species, then the Haven ratio σ/σ_NE."""
    for name in diffusion:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
    style = run.style
    prefactor = style.charge**2 / (run.volume * style.boltzmann * run.temperature)
    weights = {s: prefactor * run.counts[s] * charges[s] * charges[s] for s in diffusion if charges[s] != 0.0}
    ne_key: Key = ("electrical_conductivity_ne", None)
    ne = math.fsum(w * values[("self_diffusion", s)] for s, w in weights.items())
    values[ne_key] = ne
    errors[ne_key] = math.sqrt(math.fsum((w * errors[("self_diffusion", s)]) ** 2 for s, w in weights.items()))
    shared[ne_key] = math.fsum(weights.values()) * eta_part
    sources[ne_key] = tuple(("self_diffusion", s) for s in weights)
    # How far the window choice alone moves σ_NE and the Haven ratio: their D's (and σ's) spreads, added.
    ne_spread = math.fsum(abs(w) * spread.get(("self_diffusion_pbc", s), math.nan) for s, w in weights.items())
    spread[ne_key] = ne_spread
    sigma_key: Key = ("electrical_conductivity", None)
    sigma = values.get(sigma_key)
    if sigma is not None and ne != 0.0:
        ratio = sigma / ne
        key: Key = ("haven_ratio", None)
        values[key] = ratio
        errors[key] = abs(ratio) * math.hypot(errors.get(sigma_key, math.nan) / sigma, errors[ne_key] / ne)
        sigma_spread = spread.get(sigma_key, math.nan)
        spread[key] = abs(ratio) * ((sigma_spread / abs(sigma) if sigma != 0.0 else math.nan) + ne_spread / abs(ne))
        sources[key] = (sigma_key, ne_key)


def _conductivity_from_onsager(run: RunAnalysis, values: dict[Key, float], charges: Mapping[str, float]) -> None:
    """σ from the sum of separately fitted Onsager coefficients, for runs fitted without charges (no error)."""
    onsager = {s: v for (p, s), v in values.items() if p == "onsager" and isinstance(s, tuple)}
    names = sorted({name for pair in onsager for name in pair})
    if not onsager:
        return
    for name in names:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
    style = run.style
    prefactor = style.charge**2 / (run.volume * style.boltzmann * run.temperature)
    total = float(sum(run.counts.values()))
    products = [(charges[i] * charges[j], pair_key(i, j)) for i in names for j in names]
    values[("electrical_conductivity", None)] = (
        prefactor * total * math.fsum(q * onsager.get(key, math.nan) for q, key in products if q != 0.0)
    )


def flag_window_sensitive(
    estimates: Mapping[Key, Estimate], sources: Mapping[Key, tuple[Key, ...]]
) -> dict[Key, Estimate]:
    """Flag ``window_sensitive`` by one rule: a value whose largest window spread (over its runs) exceeds
    the width of its 95 % interval, and every value derived from a flagged one (its ``sources``)."""
    flagged: dict[Key, bool] = {}

    def sensitive(key: Key) -> bool:
        if key not in flagged:
            estimate = estimates.get(key)
            if estimate is None:
                return False
            spread = max((s for s in estimate.window_spread if math.isfinite(s)), default=math.nan)
            own = spread > estimate.ci95[1] - estimate.ci95[0]  # False when either is NaN
            flagged[key] = own or any(sensitive(source) for source in sources.get(key, ()))
        return flagged[key]

    result = {}
    for key, estimate in estimates.items():
        flags = tuple(flag for flag in estimate.flags if flag != WINDOW_SENSITIVE)
        result[key] = replace(estimate, flags=flags + ((WINDOW_SENSITIVE,) if sensitive(key) else ()))
    return result


def spread_key(key: Key) -> Key:
    """The value whose window spread ``key`` reports: a corrected value moves with its uncorrected one."""
    spread_of = properties.get(key[0]).spread_of
    return (spread_of, key[1]) if spread_of is not None else key
