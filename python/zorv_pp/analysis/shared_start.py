"""Replicas of a single-walker column refitted from the start their mean curve shows.

One walker's column hides a change of slope of a tenth under its noise (a
slow part of the bulk pressure's correlation, see the docs), so a run's own
start rule may stop early, its value the integral up to a few correlation
times. The replicas' mean curve averages their walkers: the start
rule run on it sees what no single run can, and every run is refitted from
that start under the noise scale of the mean curve's slope, shared by all (a
single walker's own slope as its scale would make its low runs look precise
and weigh most).
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from dataclasses import replace

import numpy as np

from .. import properties
from ..flags import NOT_CONVERGED, ONE_RUN_START, POOR_FIT, WINDOW_SENSITIVE
from ..msdfit import fit_msd
from .estimate import merge_flags
from .keys import Key
from .record import ValueRecord
from .run_fit import RunAnalysis
from .sampled_curve import SampledCurve


def shared_starts(fitted: Sequence[RunAnalysis]) -> list[RunAnalysis]:
    """The runs, each single-walker column's value refitted from its replicas' common start.

    A column no replicas share a start for (one run, or runs on other grids) is flagged ``one_run_start``.
    """
    out = list(fitted)
    for prop in properties.of_kind("column"):
        if prop.walkers == 1.0 and not prop.per_molecule:
            curves = _curves(out, prop.name) if len(out) > 1 else None
            out = _alone(out, prop.name) if curves is None else _refit(out, curves, prop.name)
    return out


def _alone(runs: list[RunAnalysis], name: str) -> list[RunAnalysis]:
    key = (name, None)
    out = []
    for run in runs:
        record = run.records.get(key)
        flagged = None if record is None else replace(record, flags=merge_flags(record.flags, (ONE_RUN_START,)))
        out.append(run if flagged is None else _with(run, key, flagged))
    return out


def _with(run: RunAnalysis, key: Key, record: ValueRecord) -> RunAnalysis:
    return replace(run, records={**run.records, key: record})


def _curves(runs: Sequence[RunAnalysis], name: str) -> list[SampledCurve] | None:
    found = [
        next((c for c in run.single_walker if c.property == name and isinstance(c, SampledCurve)), None) for run in runs
    ]
    curves = [c for c in found if c is not None and c.sampling is not None and c.t_fit]
    if len(curves) != len(runs):
        return None
    first = curves[0]
    same = all(c.time == first.time and c.sampling == first.sampling and c.bridge == first.bridge for c in curves)
    return curves if same else None


def _refit(runs: list[RunAnalysis], curves: list[SampledCurve], name: str) -> list[RunAnalysis]:
    first = curves[0]
    assert first.sampling is not None
    time = np.asarray(first.time)
    mean = np.mean([np.asarray(c.values) for c in curves], axis=0)
    pooled = fit_msd(time, mean, first.sampling, sum(c.walkers for c in curves), bridge=first.bridge)
    if not math.isfinite(pooled.slope) or len(pooled.t_fit) == 0:
        return _alone(runs, name)
    start, key = float(pooled.t_fit[0]), (name, None)
    out = []
    for run, curve in zip(runs, curves):
        found = fit_msd(
            time,
            curve.values,
            first.sampling,
            curve.walkers,
            scale=pooled.slope**2,
            start_at=start,
            bridge=curve.bridge,
        )
        factor = curve.scale / curve.time_unit
        record = run.records[key]
        flags = merge_flags(_kept(record.flags), found.flags, pooled.flags)
        refitted = replace(
            record,
            value=found.slope * factor,
            error=found.slope_se * abs(factor),
            flags=flags,
            start=start * curve.time_unit,
            noise=abs(pooled.slope * factor),
            fit_p=found.checks.p,
        )
        out.append(_with(run, key, refitted))
    return out


def _kept(flags: tuple[str, ...]) -> tuple[str, ...]:
    """A run's flags less those of its own fit, which the refit replaces."""
    return tuple(f for f in flags if f not in (NOT_CONVERGED, POOR_FIT, WINDOW_SENSITIVE))
