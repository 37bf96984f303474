"""Many state points at once: runs loaded and fitted in parallel, failures collected."""

from __future__ import annotations

import dataclasses
import os
import sys
from collections.abc import Callable, Iterator, Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

from ..analysis.load_fit import load_and_fit
from ..analysis.run_fit import RunAnalysis
from ..analysis.state import StateResult, combine
from ..errors import RunError, ZorvError
from ..msdfit.window import Window, windows_for
from ..run import GroupChoice, LoadOptions
from ..run.sampling import Sampling
from .file import Campaign
from .shared_queue import SharedTasks


@dataclass(frozen=True)
class Failure:
    """A run (or a whole state) that could not be analysed, and why.

    ``missing_species`` names the species left without a molecule count, so
    that each interface can say how it takes counts.
    """

    state: str
    run: str
    file: str | None
    message: str
    missing_species: tuple[str, ...] = ()

    def __str__(self) -> str:
        where = f"{self.run}: {self.file}" if self.file else self.run
        return f"state {self.state}: {where}: {self.message}"


@dataclass(frozen=True)
class StateJob:
    """One state point to analyse: its run folders and how to read and combine them.

    ``run_length``, ``sampling``, ``density_unit`` and ``molar_masses`` go to
    :func:`zorv_pp.run.load_run` as they are (None: the run decides).
    """

    name: str
    runs: Sequence[str]
    units: str | None = None
    counts: Mapping[str, int] | None = None
    groups: Mapping[str, GroupChoice] | None = None
    temperature: float | None = None
    charges: Mapping[str, float] | None = None
    viscosity: float | None = None
    metadata: Mapping[str, Any] = field(default_factory=dict)
    run_length: float | None = None
    sampling: Mapping[str, Sampling] | None = None
    density_unit: str | None = None
    molar_masses: Mapping[str, float] | None = None

    def load_options(self) -> LoadOptions:
        """The keyword arguments of :func:`zorv_pp.run.load_run` for a run of this state."""
        options = LoadOptions(units=self.units, counts=self.counts, groups=self.groups)
        if self.run_length is not None:
            options["run_length"] = self.run_length
        if self.sampling is not None:
            options["sampling"] = self.sampling
        if self.density_unit is not None:
            options["density_unit"] = self.density_unit
        if self.molar_masses is not None:
            options["molar_masses"] = self.molar_masses
        return options


@dataclass(frozen=True)
class RunRecord:
    """An analysed run: its state, its folder and the warnings of reading and fitting it."""

    state: str
    run: str
    warnings: tuple[Any, ...] = ()


@dataclass(frozen=True)
class CampaignResult:
    """The analysed states, in order, every failure, and every analysed run with its warnings."""

    states: list[StateResult]
    failures: list[Failure]
    runs: list[RunRecord] = field(default_factory=list)

    def rows(self) -> list[dict[str, Any]]:
        """The tidy rows of every state."""
        return [row for state in self.states for row in state.rows()]


def jobs_of(campaign: Campaign) -> list[StateJob]:
    """The state jobs of a campaign file."""
    return [
        StateJob(
            point.name,
            [os.fspath(p) for p in point.runs],
            campaign.units,
            None,
            campaign.groups or None,
            point.temperature,
            campaign.charges,
            point.viscosity if point.viscosity is not None else campaign.viscosity,
            point.metadata,
            point.run_length if point.run_length is not None else campaign.run_length,
            campaign.samplings(point),
            campaign.density_unit,
            campaign.molar_masses or None,
        )
        for point in campaign.states
    ]


Task = tuple[str, StateJob, Mapping[str, Window], bool]


def _fit_one(task: Task) -> RunAnalysis | Failure:
    path, job, windows, curves = task
    try:
        # The curves are only for figures, and most of what a worker sends back.
        return load_and_fit(
            path, windows, job.charges, curves=curves, fallback_temperature=job.temperature, **job.load_options()
        )
    except RunError as error:
        return Failure(job.name, error.run, error.file, error.message, tuple(getattr(error, "missing_species", ())))
    except (ZorvError, OSError, ValueError, ArithmeticError) as error:
        return Failure(job.name, path, None, f"{type(error).__name__}: {error}")


def _fitted(tasks: Sequence[Task], jobs: int) -> Iterator[RunAnalysis | Failure]:
    if jobs <= 1 or len(tasks) <= 1:
        return iter(map(_fit_one, tasks))
    return iter(SharedTasks(_fit_one, tasks, jobs))


def analyze_states(
    state_jobs: Sequence[StateJob],
    *,
    window: Mapping[str, Window] | Window | None = None,
    jobs: int = 1,
    progress: bool | None = None,
    on_run: Callable[[RunAnalysis | Failure], None] | None = None,
    curves: bool = True,
) -> CampaignResult:
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
    records: list[RunRecord] = []
    states: list[StateResult] = []
    state_failures: list[Failure] = []  # after every run's, in the order of the states

    def combined(job: StateJob) -> None:
        nonlocal records
        runs = fitted[job.name]
        if not runs:
            state_failures.append(Failure(job.name, job.name, None, "no run of this state could be analysed"))
            return
        try:
            state = combine(runs, charges=job.charges, viscosity=job.viscosity, name=job.name, metadata=job.metadata)
            states.append(state)
            # Combining may warn about a run too (a copy of another counted once).
            records = [
                dataclasses.replace(r, warnings=state.warnings[r.run])
                if r.state == job.name and len(state.warnings.get(r.run, ())) > len(r.warnings)
                else r
                for r in records
            ]
        except RunError as error:
            state_failures.append(Failure(job.name, error.run, error.file, error.message))
        except ZorvError as error:
            state_failures.append(Failure(job.name, job.name, None, str(error)))

    # A state is combined as soon as its last run is in, while the workers fit the next ones; states that
    # share a name share their runs, so then every state waits for the end.
    waiting = list(state_jobs) if len(fitted) == len(state_jobs) else []
    seen = dict.fromkeys(fitted, 0)
    bar = _progress(len(tasks), progress)
    try:
        for (_, job, _, _), outcome in zip(tasks, _fitted(tasks, jobs)):
            if isinstance(outcome, Failure):
                failures.append(outcome)
            else:
                fitted[job.name].append(outcome)
                records.append(RunRecord(job.name, outcome.run, tuple(getattr(outcome, "warnings", ()))))
            if on_run is not None:
                on_run(outcome)
            if bar is not None:
                bar.update(1)
            seen[job.name] += 1
            while waiting and seen[waiting[0].name] == len(waiting[0].runs):
                combined(waiting.pop(0))
    finally:
        if bar is not None:
            bar.close()
    for job in waiting if len(fitted) == len(state_jobs) else state_jobs:
        combined(job)
    failures += state_failures
    return CampaignResult(states, failures, records)


def _progress(total: int, progress: bool | None) -> Any:
    if progress is False:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        return None

    class Bar(tqdm):  # type: ignore[misc, type-arg]
        # Every run updates the bar: no monitor thread is left running in the caller's process.
        monitor_interval = 0

    return Bar(total=total, unit="run", file=sys.stderr, disable=None if progress is None else False, desc="runs")
