#!/usr/bin/env python3
"""Coverage of single-run and state intervals of zorv_pp.msdfit on simulated order-n tables.

Draws known-answer MSD columns with zorv_pp.synthetic.ordern (no files),
fits each with fit_msd, and prints how often intervals at nominal
50/68/90/95/99 % hold the truth, their median relative half-width and the
bias, per column family and pooled; then two-relaxation runs, 5-replica
state intervals, and the cost of a fit. Draws docs/figures/reliability.png.

    PYTHONPATH=build/host-py311/python:python python3 tools/coverage_table.py [--groups 64] [--seed 1]
"""

from __future__ import annotations

import argparse
import math
import statistics
import time
from dataclasses import dataclass, replace
from pathlib import Path

import numpy as np

from zorv_pp.msdfit import StartRule, combine_runs, fit_msd, z
from zorv_pp.msdfit.fit import ANCHORED_RULE
from zorv_pp.msdfit.quantiles import student_t_quantile
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import WALKERS, Shape, power_law_from_above, power_law_from_below, simulate_table

LEVELS = (0.50, 0.68, 0.90, 0.95, 0.99)
REPLICAS = 5
# Column families by their independent walkers; self-diffusion draws 10-100 molecules.
FAMILIES = {
    "self_diffusion": None,
    "viscosity_all (5)": WALKERS["viscosity_all"],
    "onsager/off/tc_all (3)": WALKERS["onsager"],
    "component/bulk (1)": WALKERS["component"],
    # An Onsager diagonal as a run fits it: its search starts where its species' self-diffusion starts.
    "onsager from D's start (3)": WALKERS["onsager"],
    # Molecules that share their box's flow, which adds R times their independent variance (R 0.1-10).
    "self_diffusion, flow": None,
}
SIBLING = "onsager from D's start (3)"
FLOW = "self_diffusion, flow"
SIBLING_WALKERS = 600


@dataclass(frozen=True)
class Result:
    family: str
    truth: float
    slope: float
    se: float
    flags: tuple[str, ...]
    group: int
    first_se: float = math.nan  # the error of a fit from the first row (straight lines only)
    first: float = math.nan  # and its slope


def _draw_sampling(rng: np.random.Generator) -> Sampling:
    nbe = int(rng.choice([5, 8, 10, 16, 20]))
    interval = float(rng.choice([0.002, 0.01, 0.5, 2.0]))
    samples = int(rng.integers(2_000, 12_000))
    return Sampling(interval=interval, nbe=nbe, run_length=interval * samples)


def _shape(kind: str, rng: np.random.Generator, h: float, tau: float, horizon: float) -> Shape:
    """A walker of ``kind``: how its MSD reaches its line (h the sampling interval, τ the velocity's relaxation)."""
    if kind == "ou":
        return Shape(((1.0, tau),))
    if kind == "line":
        return Shape(((1.0, 1e-3 * h),))
    if kind == "two_relaxations":
        share = float(rng.uniform(0.05, 0.30))
        return Shape(((1.0 - share, tau), (share, tau * float(rng.uniform(10.0, 50.0)))))
    # A cage rattle of relaxation τ_r adding a share q of D to the local slope at t = 0.
    tau_r = h * float(10.0 ** rng.uniform(0.3, 1.5))
    rattle = ((float(rng.uniform(0.2, 2.0)) * tau_r, tau_r),)
    if kind == "above":
        return Shape(((1.0, tau),), rattle)
    if kind == "both_signs":
        share = float(rng.uniform(0.1, 0.3))
        slow = tau_r * float(rng.uniform(3.0, 10.0))
        return Shape(((1.0 - share, tau), (share, slow)), rattle)
    if kind == "power_above":
        return power_law_from_above(1.0, tau, h, horizon, float(rng.uniform(0.1, 0.4)))
    if kind == "power_below":
        return power_law_from_below(tau, horizon, float(rng.uniform(0.05, 0.2)))
    raise ValueError(kind)


TITLES = {
    "ou": "one velocity relaxation, from below",
    "two_relaxations": "5-30 % of D relaxing 10-50x slower, from below",
    "above": "a cage rattle: approach from above",
    "both_signs": "a rattle from above, then a slow relaxation from below",
    "power_above": "local slope falling as t^-1/2 (from above)",
    "power_below": "local slope rising as t^-1/2 (long-time tail, from below)",
    "line": "straight from the first row: nothing to wait for",
}
SHAPES = ("ou", "two_relaxations", "above", "both_signs", "power_above", "power_below", "line")
# A value carrying none of these is one a reader takes at its word.
FIT_FLAGS = ("not_converged", "window_sensitive", "poor_fit")


def simulate(
    groups: int, seed: int, rule: StartRule, kind: str, shared: list[tuple[bool, bool]] | None = None
) -> list[Result]:
    """``groups`` groups of REPLICAS runs per family, of walkers of shape ``kind``; with ``shared``, each
    single-walker group's state from the runs' own starts and from their mean curve's (see
    :func:`shared_state`): whether each holds the truth."""
    rng = np.random.default_rng(seed)
    out: list[Result] = []
    for family, fixed in FAMILIES.items():
        for _ in range(groups):
            sampling = _draw_sampling(rng)
            walkers = int(fixed if fixed is not None else 3 * rng.integers(10, 101))
            diffusion = float(10.0 ** rng.uniform(-1.0, 1.0))
            tau = sampling.interval * float(10.0 ** rng.uniform(-0.5, 1.0))
            shape = _shape(kind, rng, sampling.interval, tau, 0.02 * sampling.run_length)
            # Amplitudes are drawn for D = 1: scale them to this D.
            shape = Shape(shape.velocity, tuple((a * diffusion, t) for a, t in shape.bounded))
            # (N − 1)·s² = R: the share s of D the common walkers carry; the fit knows R, as a run's does.
            ratio = float(10.0 ** rng.uniform(-1.0, 1.0)) if family == FLOW else 0.0
            share = min(1.0, math.sqrt(ratio / (walkers // 3 - 1))) if ratio else 0.0
            t, tables, truth = simulate_table(
                sampling, walkers, diffusion, tau, rng, shape=shape, realisations=REPLICAS, shared=share
            )
            own = []
            earliest = None
            if family == SIBLING:
                # The species' molecules move alike; their own column, fitted first, shows where the bend ends.
                _, column, _ = simulate_table(sampling, SIBLING_WALKERS, diffusion, tau, rng, shape=shape)
                found = fit_msd(t, column, sampling, SIBLING_WALKERS, start_rule=rule)
                earliest = float(found.t_fit[0]) if len(found.t_fit) else None
            for msd in tables:
                anchored = (
                    rule
                    if earliest is None
                    else replace(rule, accept_z=ANCHORED_RULE.accept_z, widen_anchor=ANCHORED_RULE.widen_anchor)
                )
                independent = walkers / (1.0 + ratio)
                fit = fit_msd(t, msd, sampling, independent, start_rule=anchored, earliest=earliest)
                own.append(fit)
                first = fit_msd(t, msd, sampling, independent, start_at=float(t[0])) if kind == "line" else None
                out.append(
                    Result(
                        family,
                        truth,
                        fit.slope,
                        fit.slope_se,
                        fit.flags,
                        len(out) // REPLICAS,
                        math.nan if first is None else first.slope_se,
                        math.nan if first is None else first.slope,
                    )
                )
            if shared is not None and walkers == 1:
                held = _holds(combine_runs([f.slope for f in own], [f.slope_se for f in own]), truth)
                shared.append((held, _holds(shared_state(t, tables, sampling, rule), truth)))
    return out


def shared_state(
    t: np.ndarray, tables: list[np.ndarray], sampling: Sampling, rule: StartRule
) -> tuple[float, float, float, int]:
    """A state of single-walker replicas as ``zorv_pp.combine`` forms it: every run refitted from the start
    the replicas' mean curve shows, under the noise scale of its slope."""
    pooled = fit_msd(t, np.mean(tables, axis=0), sampling, float(len(tables)), start_rule=rule)
    if not math.isfinite(pooled.slope):
        return math.nan, math.nan, math.nan, 0
    start = float(pooled.t_fit[0])
    fits = [fit_msd(t, msd, sampling, 1.0, scale=pooled.slope**2, start_at=start) for msd in tables]
    return combine_runs([f.slope for f in fits], [f.slope_se for f in fits])


def _holds(state: tuple[float, float, float, int], truth: float) -> bool:
    mean, sem, _, _ = state
    return abs(mean - truth) <= z(0.95) * sem


def _coverage(results: list[Result], level: float) -> float:
    hits = [abs(r.slope - r.truth) <= z(level) * r.se for r in results if math.isfinite(r.slope)]
    return 100.0 * sum(hits) / max(1, len(hits))


def _row(name: str, results: list[Result]) -> str:
    ok = [r for r in results if math.isfinite(r.slope)]
    cover = "  ".join(f"{_coverage(ok, level):5.1f}" for level in LEVELS)
    width = statistics.median(z(0.95) * r.se / r.truth for r in ok) * 100.0
    bias = statistics.fmean((r.slope - r.truth) / r.truth for r in ok) * 100.0
    flagged = [r for r in ok if "not_converged" in r.flags]
    share = 100.0 * len(flagged) / max(1, len(results))
    held = f"{_coverage(flagged, 0.95):5.1f}" if flagged else "    –"
    sensitive = 100.0 * sum("window_sensitive" in r.flags for r in ok) / max(1, len(results))
    clean = [r for r in ok if not set(r.flags) & set(FIT_FLAGS)]
    unflagged = f"{_coverage(clean, 0.95):5.1f}" if clean else "    –"
    firsts = [r.se / r.first_se for r in ok if r.first_se > 0.0]
    versus = f"{statistics.median(firsts):5.2f}" if firsts else "    –"
    # How often the start choice alone moves a straight line's value by more than the error it states.
    moved = [abs(r.slope - r.first) > r.se for r in ok if r.first_se > 0.0]
    versus += f"  {100.0 * sum(moved) / len(moved):5.1f}" if moved else "      –"
    return (
        f"{name:26s} {len(results):5d}  {cover}  {width:7.2f}  {bias:+6.2f}  {share:5.1f}  {held}  "
        f"{sensitive:5.1f}  {unflagged}  {versus}"
    )


def table(title: str, results: list[Result]) -> list[str]:
    lines = [
        title,
        f"{'family':26s} {'n':>5s}  "
        + "  ".join(f"{100 * v:5.0f}" for v in LEVELS)
        + "  hw95[%]  bias[%]  not_conv[%]  its 95 %  w_sens[%]  unflagged 95  se/first-row  moved>se[%]",
    ]
    lines += [_row(name, [r for r in results if r.family == name]) for name in FAMILIES]
    lines.append(_row("pooled", results))
    return lines


def states(results: list[Result]) -> list[str]:
    """Coverage and width of 5-replica state intervals against the replica t-interval."""
    by_group: dict[int, list[Result]] = {}
    for r in results:
        by_group.setdefault(r.group, []).append(r)
    t_quantile = student_t_quantile(0.975, REPLICAS - 1)
    hits_z = hits_t = hits_rep = 0
    widths_z: list[float] = []
    widths_rep: list[float] = []
    for runs in by_group.values():
        values = np.array([r.slope for r in runs])
        mean, sem, birge, dof = combine_runs(values, [r.se for r in runs])
        truth = runs[0].truth
        hits_z += abs(mean - truth) <= z(0.95) * sem
        # With disagreeing replicas the widened error is itself estimated from n − 1 degrees of freedom.
        q = student_t_quantile(0.975, dof) if birge > 1.0 else z(0.95)
        hits_t += abs(mean - truth) <= q * sem
        spread = float(np.std(values, ddof=1)) / math.sqrt(len(values))
        hits_rep += abs(float(values.mean()) - truth) <= t_quantile * spread
        widths_z.append(z(0.95) * sem)
        widths_rep.append(t_quantile * spread)
    n = len(by_group)
    ratio = statistics.median(widths_z) / statistics.median(widths_rep)
    ratio_each = statistics.median(a / b for a, b in zip(widths_z, widths_rep))
    return [
        f"5-replica states ({n}): inverse-variance + Birge, z: {100 * hits_z / n:.1f} %; "
        f"t(n-1) when R > 1: {100 * hits_t / n:.1f} %; replica t-interval: {100 * hits_rep / n:.1f} %",
        f"median width vs replica t-interval: {ratio:.2f}x (median of per-state ratios {ratio_each:.2f}x)",
    ]


def cost() -> str:
    rng = np.random.default_rng(5)
    sampling = Sampling(interval=0.01, nbe=10, run_length=1000.0)
    t, msd, _ = simulate_table(sampling, 300, 1.0, 0.03, rng)
    fit_msd(t, msd, sampling, 300)  # builds and caches the covariance
    start = time.perf_counter()
    for _ in range(200):
        fit_msd(t, msd, sampling, 300)
    per_fit = (time.perf_counter() - start) / 200 * 1e3
    return f"cost: {len(t)} rows, {per_fit:.2f} ms per column once the table's covariance is cached"


def reliability(results: dict[str, list[Result]], path: Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(4.6, 4.2))
    nominal = [100 * v for v in LEVELS]
    ax.plot([40, 100], [40, 100], color="0.6", lw=1, ls="--", label="ideal")
    for kind, part in results.items():
        ax.plot(nominal, [_coverage(part, v) for v in LEVELS], marker="o", ms=3, lw=1.0, label=kind)
    ax.set(xlabel="nominal coverage [%]", ylabel="observed coverage [%]", xlim=(45, 100), ylim=(45, 100))
    ax.legend(fontsize=7, loc="lower right", title="shape (pooled families)", title_fontsize=7)
    ax.set_title("Single-run GLS intervals, simulated order-n runs", fontsize=9)
    fig.tight_layout()
    path.parent.mkdir(parents=True, exist_ok=True)
    fig.savefig(path, dpi=150)


def main() -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n")[0])
    parser.add_argument("--groups", type=int, default=64, help="replica groups per family (5 runs each)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--shapes", default=",".join(SHAPES), help=f"comma-separated, of {', '.join(SHAPES)}")
    parser.add_argument("--accept-z", type=float, default=StartRule.accept_z)
    parser.add_argument("--factor", type=float, default=StartRule.factor)
    parser.add_argument(
        "--bend-z",
        type=float,
        default=StartRule.bend_z,
        help="τ̂ taken this many standard errors of the intercept below its value",
    )
    parser.add_argument("--no-step", action="store_true", help="take the first accepted start, even after a bend")
    parser.add_argument("--unconverged", type=float, default=StartRule.unconverged_factor)
    parser.add_argument(
        "--figure", type=Path, default=Path(__file__).resolve().parents[1] / "docs/figures/reliability.png"
    )
    parser.add_argument("--no-figure", action="store_true")
    args = parser.parse_args()
    rule = StartRule(
        factor=args.factor,
        accept_z=args.accept_z,
        bend_z=args.bend_z,
        step_on_bend=not args.no_step,
        unconverged_factor=args.unconverged,
    )
    start = time.perf_counter()
    results: dict[str, list[Result]] = {}
    for offset, kind in enumerate(args.shapes.split(",")):
        groups = args.groups if kind == "ou" else max(1, args.groups // 2)
        shared: list[tuple[bool, bool]] = []
        results[kind] = simulate(groups, args.seed + offset, rule, kind, shared)
        print("\n".join(table(f"{kind}: {TITLES[kind]}; coverage [%] at nominal level", results[kind])))
        own, common = (100.0 * sum(held[k] for held in shared) / len(shared) for k in (0, 1))
        print(f"single-walker 5-replica states ({len(shared)}): own starts {own:.1f} %, shared start {common:.1f} %")
        print()
    if "ou" in results:
        print("\n".join(states(results["ou"])))
    print(cost())
    print(f"({sum(map(len, results.values()))} runs simulated and fitted in {time.perf_counter() - start:.0f} s)")
    if not args.no_figure:
        reliability(results, args.figure)


if __name__ == "__main__":
    main()
