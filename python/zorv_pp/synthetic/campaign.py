"""A campaign of synthetic runs: state folders with replicas, and the campaign file naming them."""

from __future__ import annotations

import os
import re
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field, replace
from pathlib import Path

from .runs import RunSpec, write_run


@dataclass(frozen=True)
class Species:
    """Campaign data of a species: charge in e, molar mass in g/mol."""

    charge: int
    molar_mass: float


@dataclass(frozen=True)
class CampaignState:
    """One state of a campaign: its folder name, the run spec shared by its
    replicas (replica k, from 1, uses seed spec.seed + k) and extra keys for
    the campaign file (e.g. molality in mol/kg)."""

    name: str
    spec: RunSpec
    metadata: Mapping[str, float | int | str] = field(default_factory=dict)


def _toml_key(key: str) -> str:
    return key if re.fullmatch(r"[A-Za-z0-9_-]+", key) else _toml_value(key)


def _toml_value(value: float | int | str) -> str:
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, bool):
        return "true" if value else "false"
    return repr(value)


def write_campaign(
    root: str | os.PathLike[str],
    *,
    states: Sequence[CampaignState],
    replicas: int,
    species: Mapping[str, Species],
    window: Mapping[str, float | int] | None = None,
) -> dict[str, dict[str, object]]:
    """Write `root/<state>/rep<k>/` for k = 1..replicas and `root/campaign.toml`.

    Every state's runs must share one unit style and name exactly the
    species of `species`, whose log groups carry the species names. The
    campaign file lists the species, the optional [window] fit settings and
    one [[state]] per state with its run glob, temperature in K and its
    [state.metadata] table. Returns {state name: answers of `write_run`};
    the replicas of a state share their answers and differ only in noise.
    """
    if replicas < 1 or not states:
        raise ValueError("a campaign needs states and at least one replica")
    styles = {s.spec.units for s in states}
    if len(styles) != 1:
        raise ValueError("all states must use one unit style")
    if len({s.name for s in states}) != len(states):
        raise ValueError("state names must be distinct")
    base = Path(root)
    expected: dict[str, dict[str, object]] = {}
    for state in states:
        if not re.fullmatch(r"[A-Za-z0-9_.+-]+", state.name):
            raise ValueError(f"state name {state.name!r} is no plain folder name")
        if set(state.spec.counts) != set(species):
            raise ValueError(f"state {state.name!r} does not name the campaign's species")
        answers = [
            write_run(base / state.name / f"rep{k}", replace(state.spec, seed=state.spec.seed + k))
            for k in range(1, replicas + 1)
        ]
        expected[state.name] = answers[0]

    # write_run writes density.dat in g/cm3: said once, so no run has to guess it.
    lines = [f"units = {_toml_value(styles.pop())}", 'density_unit = "g/cm3"', ""]
    for name, info in species.items():
        lines += [
            f"[species.{_toml_key(name)}]",
            f"group = {_toml_value(name)}",
            f"charge = {info.charge}",
            f"molar_mass = {info.molar_mass!r}",
            "",
        ]
    if window:
        lines += ["[window]", *(f"{_toml_key(k)} = {_toml_value(v)}" for k, v in window.items()), ""]
    for state in states:
        lines += [
            "[[state]]",
            f"name = {_toml_value(state.name)}",
            f"runs = [{_toml_value(state.name + '/rep*')}]",
            f"temperature = {state.spec.temperature!r}",
            *(["", "[state.metadata]"] if state.metadata else []),
            *(f"{_toml_key(k)} = {_toml_value(v)}" for k, v in state.metadata.items()),
            "",
        ]
    base.mkdir(parents=True, exist_ok=True)
    (base / "campaign.toml").write_text("\n".join(lines), encoding="utf-8")
    return expected
