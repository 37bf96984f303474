"""Values formed from fitted ones once the state's viscosity is known: the Yeh–Hummer self-diffusion, the
Nernst–Einstein conductivity and the Haven ratio, each with its error and window spread and the fit flags
of the values it was formed from; then the same rule once the runs are combined."""

from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, replace

from .. import properties
from ..errors import ZorvError
from ..flags import NO_VOLUME
from .estimate import Estimate, merge_flags
from .keys import Key, pair_key
from .record import CARRIED, ValueRecord, formed
from .run_fit import RunAnalysis
from .shared_motion import shared_variance_ratio, yeh_hummer_term


@dataclass(frozen=True)
class Derived:
    """A run with its derived values added (a new RunAnalysis; the fitted one is left as it was), and the
    error each derived value shares with every other run (from the state's viscosity), to be added once the
    runs are combined."""

    run: RunAnalysis
    shared: dict[Key, float]


def derive(run: RunAnalysis, eta: Estimate, charges: Mapping[str, float] | None) -> Derived:
    """Yeh–Hummer, Nernst–Einstein and Haven values of one run, with their errors; each record is formed from
    its sources' records, so it carries their fit flags."""
    records = dict(run.records)
    shared: dict[Key, float] = {}
    correction = yeh_hummer_term(run.style, run.temperature, run.volume, eta.mean)
    relative_eta = eta.sem / eta.mean if eta.mean != 0.0 else math.nan
    own = () if math.isfinite(run.volume) else (NO_VOLUME,)
    diffusion = [s for p, s in records if p == "self_diffusion_pbc" and isinstance(s, str)]
    for species in diffusion:
        source: Key = ("self_diffusion_pbc", species)
        pbc = records[source]
        key: Key = ("self_diffusion", species)
        records[key] = formed(pbc.value + correction, pbc.error, {source: pbc}, flags=own)
        shared[key] = correction * relative_eta
    if charges is not None:
        if ("electrical_conductivity", None) not in records:
            _conductivity_from_onsager(run, records, charges)
        if diffusion:
            _nernst_einstein(run, charges, diffusion, records, shared, correction * relative_eta, correction)
    return Derived(replace(run, records=records), shared)


def _nernst_einstein(
    run: RunAnalysis,
    charges: Mapping[str, float],
    diffusion: list[str],
    records: dict[Key, ValueRecord],
    shared: dict[Key, float],
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
    corrected = {s: records[("self_diffusion", s)] for s in weights}
    ne_key: Key = ("electrical_conductivity_ne", None)
    ne = math.fsum(w * corrected[s].value for s, w in weights.items())
    ne_error = _ne_error(run, weights, records, yeh_hummer)
    # How far the window choice alone moves σ_NE and the Haven ratio: their D's (and σ's) spreads, added.
    ne_spread = math.fsum(abs(w) * records[("self_diffusion_pbc", s)].spread for s, w in weights.items())
    sources: dict[Key, ValueRecord] = {("self_diffusion", s): record for s, record in corrected.items()}
    records[ne_key] = formed(ne, ne_error, sources, spread=ne_spread)
    shared[ne_key] = math.fsum(weights.values()) * eta_part
    sigma_key: Key = ("electrical_conductivity", None)
    sigma = records.get(sigma_key)
    if sigma is not None and sigma.value != 0.0 and ne != 0.0:
        ratio = ne / sigma.value
        error = abs(ratio) * math.hypot(sigma.error / sigma.value, ne_error / ne)
        spread = abs(ratio) * (sigma.spread / abs(sigma.value) + ne_spread / abs(ne))
        haven = {sigma_key: sigma, ne_key: records[ne_key]}
        records[("haven_ratio", None)] = formed(ratio, error, haven, spread=spread)


def _ne_error(run: RunAnalysis, weights: Mapping[str, float], records: Mapping[Key, ValueRecord], term: float) -> float:
    """The error of Σ wᵢ Dᵢ: the species' own noise adds in quadrature, the box's shared flow (the same
    motion in every species' error, see :mod:`.shared_motion`) adds linearly."""
    own, common = [], []
    for species, weight in weights.items():
        share = shared_variance_ratio(run.counts[species], records[("self_diffusion_pbc", species)].value, term)
        error = records[("self_diffusion", species)].error
        own.append((weight * error) ** 2 / (1.0 + share))
        common.append(weight * error * math.sqrt(share / (1.0 + share)))
    return math.sqrt(math.fsum(own) + math.fsum(common) ** 2)


def _conductivity_from_onsager(run: RunAnalysis, records: dict[Key, ValueRecord], charges: Mapping[str, float]) -> None:
    """σ from the sum of separately fitted Onsager coefficients, for runs fitted without charges (no error)."""
    onsager = {s: r for (p, s), r in records.items() if p == "onsager" and isinstance(s, tuple)}
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
    used = [(q, key) for q, key in products if q != 0.0]
    value = prefactor * total * math.fsum(q * (onsager[key].value if key in onsager else math.nan) for q, key in used)
    sources: dict[Key, ValueRecord] = {("onsager", key): onsager[key] for _, key in used if key in onsager}
    records[("electrical_conductivity", None)] = formed(value, math.nan, sources, has_error=False)


def carry_flags(estimates: Mapping[Key, Estimate], sources: Mapping[Key, tuple[Key, ...]]) -> dict[Key, Estimate]:
    """Every estimate with the fit flags (:data:`CARRIED`) of the values it was formed from (``sources``,
    followed back to the fitted values): a Yeh–Hummer D from a periodic-box D that is not converged is not
    converged either. Each run's derived record already carries them; this also passes on those of a
    replica that formed no such value."""
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
