"""The first coordination shell of every pair of a run's RDF table."""

from __future__ import annotations

import math

from .. import properties
from ..run import FINITE_RDF_PREFIX, RDF_PREFIX, split_pair
from .fitter import RunFitter
from .keys import Key, pair_key
from .rdf import REDUCED_SHELL_SCALE, shell_with_floors
from .record import ValueRecord


def fit_shells(fitter: RunFitter) -> dict[Key, float]:
    """Peak position, peak height and coordination number of each pair, by the registry's rdf properties;
    returns the floor of each one's error that the RDF's grid sets (the same for every replica on it)."""
    run = fitter.run
    shell = properties.of_kind("rdf")
    tables = {p.table for p in shell}
    assert len(tables) == 1, "the shell properties come from one table"
    table = run.tables.get(str(next(iter(tables))))
    floors: dict[Key, float] = {}
    if not table:
        return floors
    radius = next(iter(table.values()))
    species = set(run.counts) | {name for name in run.species}
    pairs: dict[tuple[str, str], str] = {}
    for prefix in (RDF_PREFIX, FINITE_RDF_PREFIX):  # the finite-size corrected curve wins
        for column in table:
            if column.startswith(prefix):
                pairs[split_pair(column[len(prefix) :], species)] = column
    for (first, second), column in pairs.items():
        density = run.counts[second] / fitter.volume if second in run.counts else math.nan
        found, floor = shell_with_floors(
            radius, table[column], density, run.units.length, REDUCED_SHELL_SCALE if run.units.reduced else None
        )
        key = pair_key(first, second)
        # The registry lists the shell's properties in the order shell_with_floors gives them.
        for prop, value, least in zip(shell, found, floor, strict=True):
            fitter.records[(prop.name, key)] = ValueRecord(value, has_error=False)
            floors[(prop.name, key)] = least
        fitter.labels[key] = f"{first}-{second}"
    return floors
