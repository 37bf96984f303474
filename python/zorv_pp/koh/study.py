"""A KOH(aq) study over a campaign: every state point analysed and compared.

The campaign's [[state]] tables give ``temperature`` (K), and their
``[state.metadata]`` tables either ``molality`` (mol/kg) or ``molarity``
(mol/L, converted with the density model), and optionally ``hop_distance`` (m). An optional top-level table sets
the species and the parameter set::

    [koh]
    cation = "K"                   # species names of the runs (these are the defaults)
    anion = "OH"
    water = "water"
    hop_distance = 2.65e-10        # m, for every state (a state's own value wins)
    [koh.parameters]               # a parameter set of your own (default: zorv_pp.koh.KOH)
    name = "KOH, my fit"
    molar_mass = 56.11             # g/mol
    density = [c0, c1, c2, c3, c4]
    viscosity = [v1, v2, v3, v4, v5, v6]
    density_temperature = [277.15, 368.15]   # K, fitted range (optional)
    density_mass_fraction = 0.51861          # largest fitted mass fraction (optional)
    viscosity_temperature = [259.05, 313.15]
    viscosity_mass_fraction = 0.51861
"""

from __future__ import annotations

import dataclasses
import math
import os
from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any

from ..analysis.estimate import Estimate
from ..campaign.batch import Failure, RunRecord, analyze_states, jobs_of
from ..campaign.file import Campaign, load_campaign
from ..errors import ZorvError
from ..msdfit.window import Window
from .compare import HopDistanceError, KohComparison, Propagated, SpeciesNames, compare
from .params import KOH, FitRange, SaltParameters

_KOH_KEYS = ("cation", "anion", "water", "hop_distance", "parameters")
_PARAMETER_KEYS = (
    "name",
    "molar_mass",
    "density",
    "viscosity",
    "density_temperature",
    "density_mass_fraction",
    "viscosity_temperature",
    "viscosity_mass_fraction",
)


@dataclass(frozen=True)
class StudySettings:
    """What the [koh] table of a campaign sets: species names, parameter set, common hop distance (m)."""

    species: SpeciesNames = SpeciesNames()
    params: SaltParameters = KOH
    hop_distance: float | None = None


@dataclass(frozen=True)
class StudyPoint:
    """A state of the study: temperature (K), molality (mol/kg), how it was given, hop distance (m)."""

    index: int
    name: str
    temperature: float
    molality: float
    given_as: str
    hop_distance: float | None


def _is_number(value: Any) -> bool:
    return not isinstance(value, bool) and isinstance(value, (int, float)) and math.isfinite(value)


def _positive(value: Any) -> bool:
    return _is_number(value) and value > 0.0


def settings_of(campaign: Campaign) -> StudySettings:
    """The study settings of ``campaign``; raises CampaignError naming the line and key."""
    table = campaign.raw.get("koh", {})
    where = ("koh",)
    if not isinstance(table, dict):
        raise campaign.error((), "koh", "must be a table")
    for key in table:
        if key not in _KOH_KEYS:
            raise campaign.error(where, key, f"unknown key (known: {', '.join(_KOH_KEYS)})")
    names = {}
    for role in ("cation", "anion", "water"):
        name = table.get(role, getattr(SpeciesNames(), role))
        if not isinstance(name, str) or not name:
            raise campaign.error(where, role, f"must be a species name, not {name!r}")
        if campaign.species and name not in campaign.species:
            known = ", ".join(campaign.species)
            if role in table:
                raise campaign.error(where, role, f"unknown species {name!r} (the [species] table names: {known})")
            raise campaign.error(
                ("species",),
                None,
                f'no species {name!r}, the default {role}: name it with [koh] {role} = "..." (species: {known})',
            )
        names[role] = name
    if len(set(names.values())) != 3:
        raise campaign.error(where, None, f"cation, anion and water must be three species, not {names}")
    hop = table.get("hop_distance")
    if hop is not None and not _positive(hop):
        raise campaign.error(where, "hop_distance", f"must be a positive length in m, not {hop!r}")
    params = _parameters(campaign, table["parameters"]) if "parameters" in table else KOH
    return StudySettings(SpeciesNames(**names), params, None if hop is None else float(hop))


def _parameters(campaign: Campaign, table: Any) -> SaltParameters:
    where = ("koh", "parameters")
    if not isinstance(table, dict):
        raise campaign.error(("koh",), "parameters", "must be a table")
    for key in table:
        if key not in _PARAMETER_KEYS:
            raise campaign.error(where, key, f"unknown key (known: {', '.join(_PARAMETER_KEYS)})")

    def numbers(key: str, count: int, required: bool = True) -> tuple[float, ...] | None:
        if key not in table:
            if required:
                raise campaign.error(where, key, f"missing: {count} numbers")
            return None
        value = table[key]
        if not isinstance(value, list) or len(value) != count or not all(_is_number(v) for v in value):
            raise campaign.error(where, key, f"must be a list of {count} numbers, not {value!r}")
        return tuple(float(v) for v in value)

    def fit_range(prefix: str) -> FitRange:
        temperature = numbers(f"{prefix}_temperature", 2, required=False)
        fraction = table.get(f"{prefix}_mass_fraction")
        if fraction is not None and not _positive(fraction):
            raise campaign.error(where, f"{prefix}_mass_fraction", f"must be a positive number, not {fraction!r}")
        low, high = temperature if temperature is not None else (None, None)
        return FitRange(low, high, None if fraction is None else float(fraction))

    molar_mass = table.get("molar_mass")
    if not _positive(molar_mass):
        raise campaign.error(where, "molar_mass", f"must be a positive number of g/mol, not {molar_mass!r}")
    name = table.get("name", "custom")
    if not isinstance(name, str):
        raise campaign.error(where, "name", f"must be a text, not {name!r}")
    density, viscosity = numbers("density", 5), numbers("viscosity", 6)
    assert molar_mass is not None and density is not None and viscosity is not None  # checked above
    return SaltParameters(
        name,
        float(molar_mass),
        (density[0], density[1], density[2], density[3], density[4]),
        (viscosity[0], viscosity[1], viscosity[2], viscosity[3], viscosity[4], viscosity[5]),
        fit_range("density"),
        fit_range("viscosity"),
    )


def points_of(campaign: Campaign, settings: StudySettings) -> list[StudyPoint]:
    """The study's state points, molarities converted to molalities; CampaignError on a bad state."""
    points = []
    for index, state in enumerate(campaign.states):
        meta = state.metadata
        if state.temperature is None:
            raise campaign.state_error(index, "temperature", "missing (the KOH study needs it, in K)")
        temperature = state.temperature
        if not temperature > 0.0:
            raise campaign.state_error(index, "temperature", f"must be positive (K), not {temperature!r}")
        given = [key for key in ("molality", "molarity") if key in meta]
        if len(given) != 1:
            raise campaign.metadata_error(
                index,
                given[-1] if given else None,
                "give exactly one of molality (mol/kg) and molarity (mol/L) in [state.metadata]",
            )
        key = given[0]
        value = meta[key]
        if not _positive(value):
            raise campaign.metadata_error(index, key, f"must be a positive number, not {value!r}")
        molality = float(value)
        if key == "molarity":
            try:
                molality = settings.params.molality_of(float(value), temperature)
            except ValueError as error:
                raise campaign.metadata_error(index, key, str(error)) from None
        hop = meta.get("hop_distance")
        if hop is not None and not _positive(hop):
            raise campaign.metadata_error(index, "hop_distance", f"must be a positive length in m, not {hop!r}")
        points.append(
            StudyPoint(
                index, state.name, temperature, molality, key, float(hop) if hop is not None else settings.hop_distance
            )
        )
    return points


@dataclass(frozen=True)
class KohStudy:
    """The comparisons of every state that could be analysed, in campaign order, and the failures."""

    comparisons: list[KohComparison]
    failures: list[Failure]
    settings: StudySettings
    points: list[StudyPoint]
    runs: list[RunRecord] = dataclasses.field(default_factory=list)  # every analysed run with its warnings

    def columns(self) -> list[str]:
        """The columns of :meth:`rows`, in order."""
        names = self.settings.species
        diffusion = [f"D_{name}{suffix}" for name in names for suffix in _ESTIMATE]
        return [*_LEADING, *diffusion, *_HOPPING, *[f"D_{names.anion}_corrected{s}" for s in _PROPAGATED], "flags"]

    def units(self) -> dict[str, str]:
        """The SI unit of every column ("1" for ratios, "" for text)."""
        return {column: _unit(column) for column in self.columns()}

    def rows(self) -> list[dict[str, Any]]:
        """One row per state: every value in SI units, the flags joined by ';'."""
        given = {point.name: point.given_as for point in self.points}
        return [_row(c, given.get(c.state, "molality")) for c in self.comparisons]


#: The columns of an MD estimate (value, replica spread, error, 95 % interval) and of a value derived
#: from σ_MD (value, error, 95 % interval, values at σ_MD ∓ its replica spread).
_ESTIMATE = ("", "_std", "_sem", "_ci95_low", "_ci95_high")
_PROPAGATED = ("", "_sem", "_ci95_low", "_ci95_high", "_low", "_high")
_LEADING = (
    "state",
    "temperature",
    "molality",
    "molarity",
    "mass_fraction",
    "given_as",
    *(f"sigma_md{s}" for s in _ESTIMATE),
    "sigma_md_count",
    *(f"sigma_ne{s}" for s in _ESTIMATE),
    "sigma_exp",
    "sigma_md_deviation",
    "sigma_ne_deviation",
    *(f"density_md{s}" for s in _ESTIMATE),
    "density_model",
    "density_deviation",
    *(f"viscosity_md{s}" for s in _ESTIMATE),
    "viscosity_model",
    "viscosity_deviation",
)
_HOPPING = (
    "hop_distance",
    "hop_distance_source",
    *(f"tau{s}" for s in _PROPAGATED),
    *(f"d_hop{s}" for s in _PROPAGATED),
)
_UNITS = {
    "temperature": "K",
    "molality": "mol/kg",
    "molarity": "mol/L",
    "sigma": "S/m",
    "density": "kg/m^3",
    "viscosity": "Pa s",
    "D": "m^2/s",
    "d": "m^2/s",
    "hop": "m",
    "tau": "s",
}


def _unit(column: str) -> str:
    if column.endswith(("_deviation", "_count")) or column == "mass_fraction":
        return "1"
    if column in ("state", "given_as", "flags", "hop_distance_source"):
        return ""
    return _UNITS[column.split("_")[0]]


def _estimate(prefix: str, estimate: Estimate | None, count: bool = False) -> dict[str, Any]:
    if estimate is None:
        values: dict[str, Any] = {f"{prefix}{s}": None for s in _ESTIMATE}
    else:
        values = {
            prefix: estimate.mean,
            f"{prefix}_std": estimate.std,
            f"{prefix}_sem": estimate.sem,
            f"{prefix}_ci95_low": estimate.ci95[0],
            f"{prefix}_ci95_high": estimate.ci95[1],
        }
    if count:
        values[f"{prefix}_count"] = None if estimate is None else estimate.count
    return values


def _bounds(prefix: str, value: Propagated | None) -> dict[str, Any]:
    if value is None:
        return {f"{prefix}{s}": None for s in _PROPAGATED}
    return {
        prefix: value.mean,
        f"{prefix}_sem": value.sem,
        f"{prefix}_ci95_low": value.ci95[0],
        f"{prefix}_ci95_high": value.ci95[1],
        f"{prefix}_low": value.low,
        f"{prefix}_high": value.high,
    }


def _row(c: KohComparison, given_as: str) -> dict[str, Any]:
    row: dict[str, Any] = {
        "state": c.state,
        "temperature": c.temperature,
        "molality": c.molality,
        "molarity": c.molarity,
        "mass_fraction": c.mass_fraction,
        "given_as": given_as,
    }
    row.update(_estimate("sigma_md", c.sigma_md, count=True))
    row.update(_estimate("sigma_ne", c.sigma_ne))
    row.update(sigma_exp=c.sigma_exp, sigma_md_deviation=c.sigma_md_deviation, sigma_ne_deviation=c.sigma_ne_deviation)
    row.update(_estimate("density_md", c.density_md))
    row.update(density_model=c.density_model, density_deviation=c.density_deviation)
    row.update(_estimate("viscosity_md", c.viscosity_md))
    row.update(viscosity_model=c.viscosity_model, viscosity_deviation=c.viscosity_deviation)
    for name in c.species:
        row.update(_estimate(f"D_{name}", c.diffusion.get(name)))
    row.update(hop_distance=c.hop_distance, hop_distance_source=c.hop_distance_source)
    row.update(_bounds("tau", c.tau))
    row.update(_bounds("d_hop", c.d_hop))
    row.update(_bounds(f"D_{c.species.anion}_corrected", c.d_oh_corrected))
    row["flags"] = ";".join(c.flags)
    return row


def study(
    campaign: Campaign | str | os.PathLike[str],
    *,
    jobs: int = 1,
    progress: bool | None = False,
    window: Mapping[str, Window] | Window | None = None,
) -> KohStudy:
    """Analyse every state of ``campaign`` (a Campaign or the path of its file) and compare it.

    Runs are fitted in ``jobs`` processes with the campaign's fit settings
    (or ``window``); the conductivities use the formal charges +1 and -1 of
    the cation and anion. A state whose runs fail, or that cannot be
    compared, is reported among the failures and left out. Raises
    CampaignError for a bad campaign file, before any run is read.
    """
    if not isinstance(campaign, Campaign):
        campaign = load_campaign(campaign)
    settings = settings_of(campaign)
    points = points_of(campaign, settings)
    charges = {name: 0.0 for name in campaign.species} | settings.species.charges
    state_jobs = [dataclasses.replace(job, charges=charges) for job in jobs_of(campaign)]
    result = analyze_states(
        state_jobs,
        window=window if window is not None else campaign.windows,
        jobs=jobs,
        progress=progress,
        curves=False,
    )
    by_name = {point.name: point for point in points}
    comparisons, failures = [], list(result.failures)
    for state in result.states:
        point = by_name[state.name]
        try:
            comparisons.append(
                compare(
                    state,
                    point.temperature,
                    point.molality,
                    hop_distance=point.hop_distance,
                    params=settings.params,
                    species=settings.species,
                )
            )
        except HopDistanceError as error:
            message = str(campaign.metadata_error(point.index, "hop_distance", str(error)))
            failures.append(Failure(state.name, state.name, None, message))
        except ZorvError as error:
            failures.append(Failure(state.name, state.name, None, str(error)))
    return KohStudy(comparisons, failures, settings, points, list(result.runs))
