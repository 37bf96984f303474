"""Estimates of a state point: the value, its error, its 95 % interval and its flags.

Each replica run gives a value and, for fitted properties, its own standard
error from the covariance of its MSD table. Runs are combined by
inverse-variance weighting; when they scatter more than their errors allow
(a Birge ratio R above 1) the error is multiplied by R. Properties without a
per-run error (volume, density, temperature, structure) fall back to the
replicas' mean and its standard error.
"""

from __future__ import annotations

import math
import statistics
from collections.abc import Iterable, Sequence
from dataclasses import dataclass, replace
from statistics import NormalDist

from .._native import finite_mean_std_count
from ..flags import REPLICAS_DISAGREE
from ..msdfit import combine_runs
from ..msdfit.quantiles import Z95, student_t_quantile
from ..rounding import shown

NAN_PAIR = (math.nan, math.nan)


def common_scale_errors(sems: Sequence[float], noise: Sequence[float]) -> tuple[float, ...]:
    """Each run's error rescaled from the noise scale of its own slope to the replicas' median one.

    A squared displacement's error grows with its slope, so a replica whose slope came out low by chance
    also looks precise; weighted by their own errors the low runs would weigh most, and the mean of a
    few-walker column (an Onsager diagonal, a stress component) would sit low by about twice its
    single-run relative variance. Runs with no usable ``noise`` keep their own error.
    """
    usable = [r for r in noise if math.isfinite(r) and r > 0.0]
    if len(noise) != len(sems) or len(usable) < 2:
        return tuple(sems)
    common = statistics.median(usable)
    return tuple(s * common / r if math.isfinite(r) and r > 0.0 else s for s, r in zip(sems, noise))


def merge_flags(*groups: Iterable[str]) -> tuple[str, ...]:
    """The flags of every group, each once, in first-seen order."""
    return tuple(dict.fromkeys(flag for group in groups for flag in group))


@dataclass(frozen=True)
class Estimate:
    """One property of a state point, in the unit ``unit``.

    ``mean`` is the state value and ``sem`` its standard error: the
    inverse-variance weighted mean of the runs' values and its error, widened
    by the Birge ratio when the runs disagree, wherever each run has its own
    error (``per_run_sem``); otherwise the plain mean of the runs and the
    standard error std / sqrt(count − 1). ``ci95`` is the 95 % interval
    (low, high): mean ± 1.96 sem from run errors, the Student-t interval from
    the replicas' scatter alone (NaN for one run without an error). ``std`` is
    the replicas' population standard deviation, ``count`` the number of
    finite run values, ``per_run`` each run's value in run order (NaN where a
    run gave none). ``flags`` name what the value should be read with:
    ``no_diffusive_regime``, ``not_converged``, ``run_length_assumed``,
    ``replicas_disagree``, ``anisotropic`` and the warning codes of the files
    it comes from. ``window_spread`` holds, per run, the spread of slopes over
    every window the log-log window search accepts, in ``unit``: how much the
    choice of fit window alone could move the value. ``fit_start`` holds, per
    run, the time its fitted range starts at, in seconds (reduced time in
    ``lj`` units; NaN where no curve was fitted), and ``fit_p`` the p value of
    that fit's χ² under its covariance model (``poor_fit`` below 0.001; NaN
    where no curve was fitted).
    """

    mean: float
    std: float
    sem: float
    count: int
    unit: str
    per_run: tuple[float, ...] = ()
    ci95: tuple[float, float] = NAN_PAIR
    per_run_sem: tuple[float, ...] = ()
    flags: tuple[str, ...] = ()
    window_spread: tuple[float, ...] = ()
    fit_start: tuple[float, ...] = ()
    fit_p: tuple[float, ...] = ()

    @classmethod
    def of(cls, values: Sequence[float], unit: str, flags: Iterable[str] = ()) -> Estimate:
        """Summarise per-run ``values`` (in ``unit``) that carry no error of their own."""
        per_run = tuple(float(v) for v in values)
        mean, std, count = finite_mean_std_count(per_run)
        sem = std / math.sqrt(count - 1) if count > 1 else math.nan
        half = student_t_quantile(0.975, count - 1) * sem if count > 1 else math.nan
        return cls(mean, std, sem, count, unit, per_run, (mean - half, mean + half), (), merge_flags(flags))

    @classmethod
    def from_runs(
        cls,
        values: Sequence[float],
        sems: Sequence[float],
        unit: str,
        flags: Iterable[str] = (),
        window_spread: Sequence[float] = (),
        fit_start: Sequence[float] = (),
        noise: Sequence[float] = (),
    ) -> Estimate:
        """Combine per-run ``values`` with their standard errors ``sems`` (both in ``unit``).

        Runs whose value or error is not finite take no part in the weighting
        (they lower ``count``). Without a single usable error this is :meth:`of`.
        ``noise`` holds, per run, the root of the noise scale its error was
        sized by (its own fitted slope, in ``unit``): the runs are then combined
        with their errors taken at the replicas' common scale (see
        :func:`common_scale_errors`), while ``per_run_sem`` keeps their own.
        """
        per_run = tuple(float(v) for v in values)
        per_sem = tuple(float(s) for s in sems)
        _, std, count = finite_mean_std_count(per_run)
        mean, sem, birge, dof = combine_runs(per_run, common_scale_errors(per_sem, noise))
        if math.isnan(mean):
            exact = {(v, s) for v, s in zip(per_run, per_sem) if math.isfinite(v)}
            if len(exact) == 1 and next(iter(exact))[1] == 0.0:
                # Every run gives the same value with no error at all (σ of neutral species): it is exact.
                value = next(iter(exact))[0]
                return cls(
                    value,
                    0.0,
                    0.0,
                    count,
                    unit,
                    per_run,
                    (value, value),
                    per_sem,
                    merge_flags(flags),
                    tuple(float(s) for s in window_spread),
                    tuple(float(s) for s in fit_start),
                )
            base = cls.of(per_run, unit, flags)
            return replace(base, per_run_sem=per_sem, window_spread=tuple(window_spread), fit_start=tuple(fit_start))
        extra = (REPLICAS_DISAGREE,) if dof > 0 and birge > _birge_limit(dof) else ()
        return cls(
            mean,
            std,
            sem,
            count,
            unit,
            per_run,
            (mean - Z95 * sem, mean + Z95 * sem),
            per_sem,
            merge_flags(flags, extra),
            tuple(float(s) for s in window_spread),
            tuple(float(s) for s in fit_start),
        )

    def widened(self, extra_sem: float) -> Estimate:
        """This estimate with ``extra_sem`` added in quadrature to its error (an error shared by every run)."""
        if not math.isfinite(extra_sem) or extra_sem == 0.0:
            return self
        sem = math.hypot(self.sem, extra_sem)
        half = (self.ci95[1] - self.ci95[0]) / 2.0
        scale = half / self.sem if self.sem > 0.0 and math.isfinite(half) else Z95
        return replace(self, sem=sem, ci95=(self.mean - scale * sem, self.mean + scale * sem))

    def __format__(self, spec: str) -> str:
        """``value ± standard error unit (95 % interval, n runs) [flags]``, rounded to the error in its display
        unit; ``spec`` aligns the whole text as for a string."""
        value, error, interval, unit = shown(self.mean, self.sem, *self.ci95, self.unit)
        flags = f" [{', '.join(self.flags)}]" if self.flags else ""
        if error == "–":
            text = f"{value}{' ' + unit if unit else ''} (no error, n = {self.count}){flags}"
        else:
            number = f"({value} ± {error}) × {unit}" if unit.startswith("10") else f"{value} ± {error} {unit}".rstrip()
            text = f"{number} (± standard error; 95 % interval {interval}; n = {self.count}){flags}"
        return format(text, spec)

    def __str__(self) -> str:
        return format(self)


def _birge_limit(dof: int) -> float:
    """The Birge ratio that replicas exceed by chance only 1 time in 100 (Wilson–Hilferty)."""
    z = NormalDist().inv_cdf(0.99)
    a = 2.0 / (9.0 * dof)
    chi2 = dof * (1.0 - a + z * math.sqrt(a)) ** 3
    return math.sqrt(chi2 / dof)
