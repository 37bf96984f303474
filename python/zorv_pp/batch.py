"""Many state points at once: runs loaded and fitted in parallel, failures collected."""
from __future__ import annotations

import dataclasses
import os
import sys
from collections.abc import Callable, Iterator, Mapping, Sequence
from concurrent.futures import ProcessPoolExecutor
from dataclasses import dataclass, field
from typing import Any

from .campaign import Campaign
from .errors import RunError, ZorvError
from .run import GroupSpec, Run
from .run_analysis import RunAnalysis, fit_run
from .state import StateResult, combine
from .window import Window, windows_for


@dataclass(frozen=True)
class Failure:
    """A run (or a whole state) that could not be analysed, and why."""

    state: str
    run: str
    file: str | None
    message: str

    def __str__(self) -> str:
        where = f"{self.run}: {self.file}" if self.file else self.run
        return f"state {self.state}: {where}: {self.message}"


@dataclass(frozen=True)
class StateJob:
    """One state point to analyse: its run folders and how to read and combine them."""

    name: str
    runs: Sequence[str]
    units: str | None = None
    counts: Mapping[str, int] | None = None
    groups: Mapping[str, GroupSpec] | None = None
    temperature: float | None = None
    charges: Mapping[str, float] | None = None
    viscosity: float | None = None
    metadata: Mapping[str, Any] = field(default_factory=dict)


@dataclass(frozen=True)
class CampaignResult:
    """The analysed states, in order, and every failure."""

    states: list[StateResult]
    failures: list[Failure]

    def rows(self) -> list[dict[str, Any]]:
        """The tidy rows of every state."""
        return [row for state in self.states for row in state.rows()]


def jobs_of(campaign: Campaign) -> list[StateJob]:
    """The state jobs of a campaign file."""
    return [StateJob(point.name, [os.fspath(p) for p in point.runs], campaign.units, None,
                     campaign.groups or None, point.temperature, campaign.charges,
                     point.viscosity if point.viscosity is not None else campaign.viscosity,
                     point.metadata)
            for point in campaign.states]


Task = tuple[str, StateJob, Mapping[str, Window], bool]


def _fit_one(task: Task) -> RunAnalysis | Failure:
    path, job, windows, curves = task
    try:
        run = Run.load(path, units=job.units, counts=job.counts, groups=job.groups)
        if run.temperature is None and job.temperature is not None:
            run = dataclasses.replace(run, temperature=job.temperature)
        fitted = fit_run(run, windows)
        # The curves are only for figures, and most of what a worker sends back.
        return fitted if curves else dataclasses.replace(fitted, curves=[])
    except RunError as error:
        return Failure(job.name, error.run, error.file, error.message)
    except (ZorvError, OSError, ValueError, ArithmeticError) as error:
        return Failure(job.name, path, None, f"{type(error).__name__}: {error}")


def _fitted(tasks: Sequence[Task], jobs: int) -> Iterator[RunAnalysis | Failure]:
    if jobs <= 1 or len(tasks) <= 1:
        yield from map(_fit_one, tasks)
        return
    chunk = max(1, len(tasks) // (4 * jobs))
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        yield from pool.map(_fit_one, tasks, chunksize=chunk)


def analyze_states(state_jobs: Sequence[StateJob], *, window: Mapping[str, Window] | Window | None = None,
                   jobs: int = 1, progress: bool | None = None,
                   on_run: Callable[[RunAnalysis | Failure], None] | None = None,
                   curves: bool = True) -> CampaignResult:
    """Analyse every state of ``state_jobs``; runs are fitted in ``jobs`` processes.

    A run that fails is reported in the result's failures and left out of its
    state; a state whose runs all fail, or whose replicas disagree, is left
    out too. ``progress`` shows a bar on standard error (None: when it is a
    terminal). ``curves=False`` leaves the fitted curves out of the states
    (no figures can be drawn from them then), which saves time and memory.
    """
    windows = windows_for(window)
    tasks = [(path, job, windows, curves) for job in state_jobs for path in job.runs]
    fitted: dict[str, list[RunAnalysis]] = {job.name: [] for job in state_jobs}
    failures: list[Failure] = []
    bar = _progress(len(tasks), progress)
    try:
        for (path, job, _, _), outcome in zip(tasks, _fitted(tasks, jobs)):
            if isinstance(outcome, Failure):
                failures.append(outcome)
            else:
                fitted[job.name].append(outcome)
            if on_run is not None:
                on_run(outcome)
            if bar is not None:
                bar.update(1)
    finally:
        if bar is not None:
            bar.close()
    states = []
    for job in state_jobs:
        runs = fitted[job.name]
        if not runs:
            failures.append(Failure(job.name, job.name, None, "no run of this state could be analysed"))
            continue
        try:
            states.append(combine(runs, charges=job.charges, viscosity=job.viscosity, name=job.name,
                                  metadata=job.metadata))
        except RunError as error:
            failures.append(Failure(job.name, error.run, error.file, error.message))
        except ZorvError as error:
            failures.append(Failure(job.name, job.name, None, str(error)))
    return CampaignResult(states, failures)


def _progress(total: int, progress: bool | None) -> Any:
    if progress is False:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="run", file=sys.stderr, disable=None if progress is None else False,
                desc="runs")
