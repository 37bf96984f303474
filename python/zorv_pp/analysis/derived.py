"""Values formed from fitted ones once the state's viscosity is known: the Yeh–Hummer self-diffusion, the
Nernst–Einstein conductivity and the Haven ratio, each with its error and window spread; then the rule that
gives every derived value the fit flags of the values it was formed from."""

from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, replace

from .. import properties
from ..errors import ZorvError
from ..flags import NO_DIFFUSIVE_REGIME, NO_VOLUME, NOT_CONVERGED, POOR_FIT, WINDOW_SENSITIVE
from .estimate import Estimate, merge_flags
from .keys import Key, pair_key
from .run_fit import RunAnalysis
from .shared_motion import shared_variance_ratio, yeh_hummer_term


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
    correction = yeh_hummer_term(style, temperature, volume, eta.mean)
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
                run,
                charges,
                list(diffusion),
                values,
                errors,
                spread,
                shared,
                sources,
                correction * relative_eta,
                correction,
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
    yeh_hummer: float,
) -> None:
    """σ_NE from the corrected D of the charged species, then the Haven ratio H_R = σ_NE/σ."""
    for name in diffusion:
        if name not in charges:
            raise ZorvError(f"no charge given for species {name!r} (of run {run.run}); give 0 for a neutral one")
    style = run.style
    prefactor = style.charge**2 / (run.volume * style.boltzmann * run.temperature)
    weights = {s: prefactor * run.counts[s] * charges[s] * charges[s] for s in diffusion if charges[s] != 0.0}
    ne_key: Key = ("electrical_conductivity_ne", None)
    ne = math.fsum(w * values[("self_diffusion", s)] for s, w in weights.items())
    values[ne_key] = ne
    errors[ne_key] = _ne_error(run, weights, values, errors, yeh_hummer)
    shared[ne_key] = math.fsum(weights.values()) * eta_part
    sources[ne_key] = tuple(("self_diffusion", s) for s in weights)
    # How far the window choice alone moves σ_NE and the Haven ratio: their D's (and σ's) spreads, added.
    ne_spread = math.fsum(abs(w) * spread.get(("self_diffusion_pbc", s), math.nan) for s, w in weights.items())
    spread[ne_key] = ne_spread
    sigma_key: Key = ("electrical_conductivity", None)
    sigma = values.get(sigma_key)
    if sigma is not None and sigma != 0.0 and ne != 0.0:
        ratio = ne / sigma
        key: Key = ("haven_ratio", None)
        values[key] = ratio
        errors[key] = abs(ratio) * math.hypot(errors.get(sigma_key, math.nan) / sigma, errors[ne_key] / ne)
        sigma_spread = spread.get(sigma_key, math.nan)
        spread[key] = abs(ratio) * ((sigma_spread / abs(sigma) if sigma != 0.0 else math.nan) + ne_spread / abs(ne))
        sources[key] = (sigma_key, ne_key)


def _ne_error(
    run: RunAnalysis,
    weights: Mapping[str, float],
    values: Mapping[Key, float],
    errors: Mapping[Key, float],
    term: float,
) -> float:
    """The error of Σ wᵢ Dᵢ: the species' own noise adds in quadrature, the box's shared flow (the same
    motion in every species' error, see :mod:`.shared_motion`) adds linearly."""
    own, common = [], []
    for species, weight in weights.items():
        key: Key = ("self_diffusion_pbc", species)
        share = shared_variance_ratio(run.counts[species], values.get(key, math.nan), term)
        error = errors[("self_diffusion", species)]
        own.append((weight * error) ** 2 / (1.0 + share))
        common.append(weight * error * math.sqrt(share / (1.0 + share)))
    return math.sqrt(math.fsum(own) + math.fsum(common) ** 2)


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


#: The flags of a fitted value that every value formed from it carries: how far its fit can be trusted.
CARRIED = (NO_DIFFUSIVE_REGIME, NOT_CONVERGED, WINDOW_SENSITIVE, POOR_FIT)


def carry_flags(estimates: Mapping[Key, Estimate], sources: Mapping[Key, tuple[Key, ...]]) -> dict[Key, Estimate]:
    """Every estimate with the fit flags (:data:`CARRIED`) of the values it was formed from (``sources``,
    followed back to the fitted values): a Yeh–Hummer D from a periodic-box D that is not converged is not
    converged either."""
    found: dict[Key, tuple[str, ...]] = {}

    def inherited(key: Key) -> tuple[str, ...]:
        if key not in found:
            found[key] = ()  # a cycle cannot recurse forever
            own = estimates[key].flags if key in estimates else ()
            found[key] = merge_flags(
                (flag for flag in own if flag in CARRIED), *(inherited(source) for source in sources.get(key, ()))
            )
        return found[key]

    return {
        key: replace(estimate, flags=merge_flags(estimate.flags, inherited(key))) for key, estimate in estimates.items()
    }


def spread_key(key: Key) -> Key:
    """The value whose window spread ``key`` reports: a corrected value moves with its uncorrected one."""
    spread_of = properties.get(key[0]).spread_of
    return (spread_of, key[1]) if spread_of is not None else key
