"""One KOH(aq) state point: MD against experiment and models, and the proton hopping it lacks."""

from __future__ import annotations

import math
from collections.abc import Callable, Iterator, Mapping, Sequence
from dataclasses import dataclass, field, replace

from .._native import hop_diffusion, hop_time
from ..analysis.estimate import Estimate
from ..analysis.state import StateResult
from ..errors import ZorvError
from .params import KOH, SaltParameters

# Flags a comparison may carry, besides those of σ_MD; the report page's legend reads their docstrings.
DENSITY_EXTRAPOLATED = "density_extrapolated"
"""The state lies outside the temperatures and mass fractions the density model was fitted to."""
VISCOSITY_EXTRAPOLATED = "viscosity_extrapolated"
"""The state lies outside the temperatures and mass fractions the viscosity model was fitted to."""
NO_DEFICIT = "no_deficit"
"""The MD conductivity is not below the experimental one: nothing is left to proton hopping, so no τ is given."""
DEFICIT_WITHIN_SPREAD = "deficit_within_spread"
"""The experimental conductivity lies inside the MD one's 95 % interval: the deficit, and τ, may be noise."""


class HopDistanceError(ZorvError):
    """A state whose hop distance is neither given nor found in an RDF."""


@dataclass(frozen=True)
class SpeciesNames:
    """The names of the cation, the anion (the one that hops) and water in the runs."""

    cation: str = "K"
    anion: str = "OH"
    water: str = "water"

    def __iter__(self) -> Iterator[str]:
        return iter((self.cation, self.anion, self.water))

    @property
    def charges(self) -> dict[str, float]:
        """Formal charges in e: +1, -1 and 0."""
        return {self.cation: 1.0, self.anion: -1.0, self.water: 0.0}


@dataclass(frozen=True)
class Propagated(Estimate):
    """A quantity derived from σ_MD, with the error of σ_MD carried through it.

    ``mean`` is the value at σ_MD's state value; ``ci95`` the values at the
    ends of σ_MD's 95 % interval (the quantity is monotonic in σ_MD), ``sem``
    the half-width at σ_MD ± its standard error, combined in quadrature with
    the error of any other estimate it adds (the anion's diffusion for the
    corrected D). ``low`` and ``high`` are the smaller and larger of its
    values at σ_MD mean ∓ std (the replica spread), ``std`` half their
    distance. ``per_run`` holds the value of each run from its own σ_MD,
    volume and count. Where σ_MD reaches σ_exp there is no hopping to add: a
    time between hops is then infinite and a hopping diffusion coefficient zero.
    """

    low: float = math.nan
    high: float = math.nan


@dataclass(frozen=True)
class KohComparison:
    """One state point of a KOH(aq) study, every value in SI units.

    Temperatures in K, molality in mol/kg of water, molarity in mol/L,
    conductivities in S/m, densities in kg/m³, viscosities in Pa·s, diffusion
    coefficients in m²/s, the hop distance in m and the time between hops in
    s. MD values are Estimates over the replica runs; ``diffusion`` holds the
    Yeh–Hummer corrected self-diffusion of each species. ``tau``, ``d_hop``
    and ``d_oh_corrected`` are None when σ_MD is not below σ_exp (flag
    "no_deficit"). ``flags`` also names every model evaluated outside its
    fitted range ("density_extrapolated", "viscosity_extrapolated") and a
    deficit inside the 95 % interval of σ_MD ("deficit_within_spread").
    """

    state: str
    temperature: float
    molality: float
    molarity: float
    mass_fraction: float
    sigma_md: Estimate
    sigma_ne: Estimate | None
    sigma_exp: float
    density_md: Estimate | None
    density_model: float
    viscosity_md: Estimate | None
    viscosity_model: float
    diffusion: Mapping[str, Estimate]
    hop_distance: float | None
    hop_distance_source: str
    tau: Propagated | None
    d_hop: Propagated | None
    d_oh_corrected: Propagated | None
    flags: tuple[str, ...]
    species: SpeciesNames = SpeciesNames()
    params: SaltParameters = field(default=KOH, repr=False)

    @property
    def sigma_md_deviation(self) -> float:
        """(σ_MD − σ_exp) / σ_exp."""
        return _deviation(self.sigma_md, self.sigma_exp)

    @property
    def sigma_ne_deviation(self) -> float:
        """(σ_NE − σ_exp) / σ_exp."""
        return _deviation(self.sigma_ne, self.sigma_exp)

    @property
    def density_deviation(self) -> float:
        """(ρ_MD − ρ_model) / ρ_model."""
        return _deviation(self.density_md, self.density_model)

    @property
    def viscosity_deviation(self) -> float:
        """(η_MD − η_model) / η_model."""
        return _deviation(self.viscosity_md, self.viscosity_model)

    @property
    def d_oh(self) -> Estimate | None:
        """The Yeh–Hummer corrected self-diffusion of the anion, without hopping."""
        return self.diffusion.get(self.species.anion)


def _deviation(md: Estimate | None, model: float) -> float:
    return math.nan if md is None else (md.mean - model) / model


def _optional(state: StateResult, prop: str, species: str | tuple[str, str] | None = None) -> Estimate | None:
    try:
        return state.get(prop, species)
    except KeyError:
        return None


def _tau(
    sigma_exp: float, sigma_md: float, temperature: float, volume: float, count: float, hop_distance: float
) -> float:
    """Time between hops (s); infinite where σ_MD leaves no deficit, NaN where it is unknown."""
    if not (math.isfinite(sigma_md) and math.isfinite(volume)):
        return math.nan
    if sigma_md >= sigma_exp:
        return math.inf
    return hop_time(sigma_exp, sigma_md, temperature, volume ** (1.0 / 3.0), count, hop_distance)


def _d_hop(tau: float, hop_distance: float) -> float:
    if math.isinf(tau):
        return 0.0
    return hop_diffusion(tau, hop_distance)


def _spread(function: Callable[[float], float], center: float, width: float) -> tuple[float, float, float]:
    """Half-width, smaller and larger value of ``function`` at center ∓ width."""
    if not math.isfinite(width):
        return math.nan, math.nan, math.nan
    a, b = function(center - width), function(center + width)
    low, high = min(a, b), max(a, b)
    return (high - low) / 2.0, low, high


def _propagate(
    sigma: Estimate,
    of_sigma: Callable[[float], float],
    per_run: Sequence[float],
    unit: str,
    added: Estimate | None = None,
) -> Propagated:
    std, low, high = _spread(of_sigma, sigma.mean, sigma.std)
    sem = _spread(of_sigma, sigma.mean, sigma.sem)[0]
    mean = of_sigma(sigma.mean)
    ends = sorted(of_sigma(end) for end in sigma.ci95)
    if added is not None:
        # Independent errors add in quadrature, so do the half-widths of the intervals.
        sem = math.hypot(sem, added.sem)
        below = math.hypot(mean - ends[0], added.mean - added.ci95[0])
        above = math.hypot(ends[1] - mean, added.ci95[1] - added.mean)
        ends = [mean - below, mean + above]
    return Propagated(
        mean,
        std,
        sem,
        sigma.count,
        unit,
        tuple(per_run),
        ci95=(ends[0], ends[1]),
        flags=sigma.flags,
        low=low,
        high=high,
    )


def _anion_count(state: StateResult, anion: str) -> float:
    counts = [run_counts.get(anion) for run_counts in state.counts]
    if not counts or None in counts:
        have = sorted({name for run_counts in state.counts for name in run_counts})
        raise ZorvError(
            f"state {state.name!r}: its runs have no species {anion!r} (they have: {', '.join(have) or 'none'})"
        )
    if len(set(counts)) != 1:
        raise ZorvError(f"state {state.name!r}: its runs hold different counts of {anion!r}: {counts}")
    return float(counts[0])  # type: ignore[arg-type]


def _hop_distance(state: StateResult, given: float | None, species: SpeciesNames) -> tuple[float | None, str]:
    if given is not None:
        if not (math.isfinite(given) and given > 0.0):
            raise ZorvError(f"hop distance must be a positive length in m, not {given!r}")
        return given, "given"
    peak = _optional(state, "rdf_peak_position", (species.anion, species.water))
    if peak is not None and math.isfinite(peak.mean):
        return peak.mean, f"rdf {species.anion}-{species.water}"
    return None, ""


def extrapolation_flags(params: SaltParameters, temperature: float, molality: float) -> tuple[str, ...]:
    """The models of ``params`` that (``temperature`` K, ``molality`` mol/kg) lies outside the fit of."""
    w = params.mass_fraction(molality)
    flags = []
    if not params.density_range.contains(temperature, w):
        flags.append(DENSITY_EXTRAPOLATED)
    if not params.viscosity_range.contains(temperature, w):
        flags.append(VISCOSITY_EXTRAPOLATED)
    return tuple(flags)


def compare(
    state_result: StateResult,
    temperature: float,
    molality: float,
    *,
    hop_distance: float | None = None,
    params: SaltParameters = KOH,
    species: SpeciesNames = SpeciesNames(),  # noqa: B008 (frozen: one shared default is safe)
) -> KohComparison:
    """Compare one analysed KOH(aq) state point with experiment and models.

    ``state_result`` must hold the electrical conductivities (analyse with
    ``charges=species.charges``), the volume and the molecule counts;
    ``temperature`` is in K and ``molality`` in mol/kg. ``hop_distance`` (m)
    is the proton hop length; None takes the first peak of the anion-water
    RDF. σ_exp comes from Gilliam's correlation, ρ and η from the Laliberté
    models of ``params``. When σ_MD lies below σ_exp, τ = tau_calculator(σ_exp,
    σ_MD, T, V^(1/3), N_anion, d), D_hop = d² / (6τ) and the corrected anion
    diffusion D_anion + D_hop follow; else they are None.

    Raises ZorvError when σ_MD or the volume is missing, and HopDistanceError
    when there is a deficit but no hop distance.
    """
    if not (math.isfinite(temperature) and temperature > 0.0):
        raise ZorvError(f"temperature must be a positive number of K, not {temperature!r}")
    if not (math.isfinite(molality) and molality > 0.0):
        raise ZorvError(f"molality must be a positive number of mol/kg, not {molality!r}")
    sigma_md = _optional(state_result, "electrical_conductivity")
    volume = _optional(state_result, "volume")
    if sigma_md is None or not math.isfinite(sigma_md.mean):
        raise ZorvError(
            f"state {state_result.name!r} has no electrical conductivity: analyse it with charges={species.charges}"
        )
    if volume is None or not math.isfinite(volume.mean):
        raise ZorvError(f"state {state_result.name!r} has no volume (volume.dat)")
    count = _anion_count(state_result, species.anion)
    density_model, molarity = params.density_at(temperature, molality)
    sigma_exp = params.conductivity_at(temperature, molality)
    flags = list(extrapolation_flags(params, temperature, molality))
    diffusion = {name: est for name in species if (est := _optional(state_result, "self_diffusion", name))}
    distance, source = _hop_distance(state_result, hop_distance, species)

    tau = d_hop = d_oh_corrected = None
    if sigma_md.mean >= sigma_exp:
        flags.append(NO_DEFICIT)
    else:
        if distance is None:
            raise HopDistanceError(
                f"state {state_result.name!r}: no hop distance: its runs have no {species.anion}-"
                f"{species.water} RDF peak, so give hop_distance (m)"
            )
        d = distance
        if sigma_md.ci95[1] >= sigma_exp:
            flags.append(DEFICIT_WITHIN_SPREAD)
        runs = range(len(sigma_md.per_run))
        run_tau = [_tau(sigma_exp, sigma_md.per_run[i], temperature, volume.per_run[i], count, d) for i in runs]
        run_hop = [_d_hop(t, d) if not math.isnan(t) else math.nan for t in run_tau]

        def tau_of(sigma: float) -> float:
            return _tau(sigma_exp, sigma, temperature, volume.mean, count, d)

        def hop_of(sigma: float) -> float:
            return _d_hop(tau_of(sigma), d)

        tau = _propagate(sigma_md, tau_of, run_tau, "s")
        d_hop = _propagate(sigma_md, hop_of, run_hop, "m^2/s")
        d_oh = diffusion.get(species.anion)
        if d_oh is not None:
            run_oh = [d_oh.per_run[i] + run_hop[i] if i < len(d_oh.per_run) else math.nan for i in runs]
            d_oh_corrected = _propagate(sigma_md, hop_of, run_oh, "m^2/s", d_oh)
            d_oh_corrected = replace(
                d_oh_corrected,
                mean=d_oh.mean + d_oh_corrected.mean,
                ci95=(d_oh.mean + d_oh_corrected.ci95[0], d_oh.mean + d_oh_corrected.ci95[1]),
                low=d_oh.mean + d_oh_corrected.low,
                high=d_oh.mean + d_oh_corrected.high,
            )

    return KohComparison(
        state_result.name,
        temperature,
        molality,
        molarity,
        params.mass_fraction(molality),
        sigma_md,
        _optional(state_result, "electrical_conductivity_ne"),
        sigma_exp,
        _optional(state_result, "density"),
        density_model,
        _optional(state_result, "shear_viscosity"),
        params.viscosity_at(temperature, molality),
        diffusion,
        distance,
        source,
        tau,
        d_hop,
        d_oh_corrected,
        tuple(flags),
        species,
        params,
    )
