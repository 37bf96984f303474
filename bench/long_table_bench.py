"""Long order-n tables: a table of any length is fitted on at most FIT_ROWS rows spread log-uniformly in
time, so its cost stays bounded.

1. A run folder whose diffself.dat has 20,000 rows (nbe 10,000, two blocks),
   read and fitted (load_and_fit), against the peer "the 2,500-row table"
   (nbe 1,250) analysed the same way in the same run: target at most 2x.
2. With --widths: what the subset costs. Order-n columns of OU walkers are
   drawn from the exact mean and the exact covariance of all their rows
   (Gaussian, the closed form), and fitted on all rows and on subsets of
   several sizes: the median ratio of the 95 % half-widths. Then known-answer
   runs of walkers sampled as the order-n computation samples them
   (simulate_table): the share of 95 % intervals that hold the answer, with
   all rows and with the subsets.

Each time is the best of a few repeats, wall clock, every cache emptied first.

    ZORV_MODULE_DIR=<build>/python python3 bench/long_table_bench.py [--widths]
"""

import argparse
import json
import math
import os
import pathlib
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
# run_all.py puts only the module's build directory on the path.
sys.path.insert(0, str(ROOT / "python"))
if os.environ.get("ZORV_MODULE_DIR"):
    sys.path.insert(0, os.environ["ZORV_MODULE_DIR"])

import numpy as np  # noqa: E402

from zorv_pp.analysis.load_fit import load_and_fit  # noqa: E402
from zorv_pp.msdfit import covariance, fit  # noqa: E402
from zorv_pp.msdfit.quantiles import Z95  # noqa: E402
from zorv_pp.run.grid import grid_rows  # noqa: E402
from zorv_pp.run.sampling import Sampling  # noqa: E402
from zorv_pp.synthetic.ordern.table import ordern_grid, simulate_table  # noqa: E402
from zorv_pp.synthetic.ordern.walkers import expected_msd  # noqa: E402

COUNTS = {"A": 200, "B": 800}
TAU = 20.0  # fs: the walkers' velocity relaxation, a bend the start rule must see past


def row(function, workload, time_text, peer_text, ratio, target, met):
    verdict = "information" if met is None else "pass" if met else "fall short"
    fields = dict(function=function, workload=workload, time=time_text, peer=peer_text, ratio=ratio, target=target)
    print("bench-row " + json.dumps(fields | {"verdict": verdict}), flush=True)


def write_folder(folder, sampling, seed):
    """A run folder sampled after the run: diffself.dat on ``sampling``'s grid, its ordern.log and state."""
    folder.mkdir()
    time_ = ordern_grid(sampling).time
    rng = np.random.default_rng(seed)
    columns = []
    for count in COUNTS.values():
        line = count * 0.01 * (time_ - TAU * -np.expm1(-time_ / TAU))
        columns.append(line * (1.0 + 0.01 * np.sqrt(time_ / time_[-1]) * rng.standard_normal(time_.size)))
    body = "\n".join(" ".join(repr(float(v)) for v in values) for values in zip(time_, *columns))
    (folder / "diffself.dat").write_text(f"#Time {' '.join(f'MSD__{n}' for n in COUNTS)}\n{body}\n")
    s = sampling
    (folder / "ordern.log").write_text(
        "zorv_pp order-n sampling after the run\nunits: real\n"
        f"species: {', '.join(f'{n} {c}' for n, c in COUNTS.items())}\n"
        f"sampling diffself: interval {s.interval} nbe {s.nbe} blocks {s.blocks} run_length {s.run_length}\n"
        "temperature: 300.0 (given)\nvolume: 40000.0 (given)\n"
    )
    return folder


def empty_caches():
    covariance.rows_and_covariance._kept.clear()
    grid_rows._kept.clear()
    fit._WHITE.clear()


def analysed(folder, repeats):
    best = math.inf
    for _ in range(repeats):
        empty_caches()
        start = time.perf_counter()
        result = load_and_fit(folder, curves=False)
        best = min(best, time.perf_counter() - start)
    return best, result


def timing(repeats):
    with tempfile.TemporaryDirectory(prefix="zorv-long-") as tmp:
        short = write_folder(pathlib.Path(tmp) / "short", Sampling(1.0, 1250, 1250.0**2, 2), 1)
        long_ = write_folder(pathlib.Path(tmp) / "long", Sampling(1.0, 10000, 1e8, 2), 2)
        peer, _ = analysed(short, repeats)
        ours, result = analysed(long_, repeats)
    value = result.values[("self_diffusion_pbc", "A")]
    assert math.isfinite(value), "the 20,000-row table was not fitted"
    ratio = ours / peer
    row(
        "load_and_fit",
        f"20,000-row diffself.dat, 2 columns (fitted on {covariance.FIT_ROWS} rows)",
        f"{ours * 1e3:.1f} ms",
        f"the 2,500-row table: {peer * 1e3:.1f} ms",
        f"{ratio:.2f}x the peer's time",
        "at most 2x",
        ratio <= 2.0,
    )


def fits(time_, columns, sampling, walkers, cap):
    """Each column fitted with at most ``cap`` rows."""
    covariance.FIT_ROWS = cap
    empty_caches()
    return [fit.fit_msd(time_, msd, sampling, walkers) for msd in columns]


def gaussian_widths(caps, draws):
    """Median half-width with each cap over all rows, columns drawn from the exact covariance."""
    walkers = 3 * 500
    for sampling in (Sampling(1.0, 2000, 2000.0 * 2000, 2), Sampling(1.0, 500, 500.0**3, 3)):
        time_ = ordern_grid(sampling).time
        rows = grid_rows(time_, sampling)
        kept = np.flatnonzero(rows.keep)
        factor = np.linalg.cholesky(covariance.covariance_of_rows(rows, sampling) / walkers)
        mean = expected_msd(time_[kept], 1.0, TAU)
        rng = np.random.default_rng(7)
        columns = []
        for _ in range(draws):
            msd = np.full(time_.size, np.nan)
            msd[kept] = mean + factor @ rng.standard_normal(kept.size)
            columns.append(msd)
        found = {cap: fits(time_, columns, sampling, walkers, cap) for cap in caps}
        every = found[max(caps)]
        for cap in caps:
            # Paired by draw: the whole half-width, and its GLS part alone (less the start choice's widening).
            whole = np.median([f.slope_se / e.slope_se for f, e in zip(found[cap], every)])
            gls = np.median([_gls_part(f) / _gls_part(e) for f, e in zip(found[cap], every)])
            row(
                "subset half-width",
                f"{kept.size} rows (nbe {sampling.nbe}), {cap} rows fitted, {draws} draws",
                f"median {Z95 * np.median([f.slope_se for f in found[cap]]):.4g}",
                "all rows",
                f"{whole:.4f} (GLS part {gls:.4f})",
                "information",
                None,
            )


def _gls_part(found):
    return math.sqrt(max(found.slope_se**2 - found.widened**2, 0.0))


def coverage(caps, runs):
    """Share of 95 % intervals holding the answer, walkers sampled as the order-n computation does."""
    sampling = Sampling(1.0, 1500, 1500.0 * 20, 2)
    rng = np.random.default_rng(11)
    time_, columns, answer = simulate_table(sampling, 60, 1.0, TAU / 10, rng, realisations=runs)
    hits = {}
    for cap in caps:
        hits[cap] = sum(abs(f.slope - answer) <= Z95 * f.slope_se for f in fits(time_, columns, sampling, 60, cap))
    for cap in caps:
        row(
            "subset coverage",
            f"{time_.size} rows, {cap} rows fitted, {runs} runs",
            f"{hits[cap]}/{runs}",
            "nominal 95 %",
            f"{hits[cap] / runs:.2f}",
            "information",
            None,
        )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--widths", action="store_true", help="measure the subset's cost in width and coverage")
    parser.add_argument("--draws", type=int, default=60)
    parser.add_argument("--runs", type=int, default=100)
    args = parser.parse_args()
    timing(args.repeats)
    if args.widths:
        chosen = covariance.FIT_ROWS
        gaussian_widths([250, 500, 1000, 2000, 10**6], args.draws)
        coverage([250, chosen, 10**6], args.runs)
        covariance.FIT_ROWS = chosen


if __name__ == "__main__":
    main()
