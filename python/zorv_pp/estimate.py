"""Estimates over replica runs: mean, spread and count, in SI units."""
from __future__ import annotations

import math
from collections.abc import Sequence
from dataclasses import dataclass

import _zorv_pp


@dataclass(frozen=True)
class Estimate:
    """One property of a state point, summarised over its replica runs.

    ``mean`` and ``std`` (population standard deviation, divisor n) are taken
    over the finite per-run values only; ``count`` is how many there were, so a
    run whose fit found no window (NaN) lowers the count instead of the mean.
    ``sem`` is the standard error of the mean, std / sqrt(count − 1) (the
    sample standard deviation over sqrt(count)); NaN below two finite values.
    ``unit`` names the SI unit of ``mean``, ``std``, ``sem`` and ``per_run``;
    ``per_run`` holds one value per run of the state, in run order, NaN where
    a run gave none.
    """

    mean: float
    std: float
    sem: float
    count: int
    unit: str
    per_run: tuple[float, ...] = ()

    @classmethod
    def of(cls, values: Sequence[float], unit: str) -> Estimate:
        """Summarise per-run ``values`` (in ``unit``) into an Estimate."""
        per_run = tuple(float(v) for v in values)
        mean, std, count = _zorv_pp.repacking_results(per_run)
        sem = std / math.sqrt(count - 1) if count > 1 else math.nan
        return cls(mean, std, sem, count, unit, per_run)

    def __format__(self, spec: str) -> str:
        spec = spec or ".4g"
        return f"{self.mean:{spec}} ± {self.sem:{spec}} {self.unit} (n={self.count})"

    def __str__(self) -> str:
        return format(self)
