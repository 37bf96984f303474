"""A campaign of 100 run folders analysed without figures, against a plain numpy
script doing the least the same analysis needs:

1. analyze_states on one core: 10 states x 10 replicas of realistic size
   (order-n tables of 60-75 rows with their logs' sampling, every value with
   its own error, a 2,000-row RDF, a 100,000-row temperature table, species
   K, OH and water): target at most 1 s. The same campaign with the window
   search instead of the error-bar fits names the cost of the uncertainty.
2. The same with jobs=2: target at least 1.8x faster than one core.
3. Peer "numpy loadtxt + polyfit": per run, numpy.loadtxt of every table the
   analysis reads and numpy.polyfit over exactly the windows our fits chose,
   so it searches no window and finds no RDF shell: ratio peer/ours, target
   at least 2x.
4. The temperature series of 100,000 rows: the streaming mean against the
   floor of reading its bytes and parsing its floats unboxed
   (numpy.fromstring), target within 1.5x.
5. The window spread of one 60-row curve: target under 20 µs a call.
6. The profile of one single-core campaign: its five costliest functions with
   their share of the time, so the next slowest part is named in every run.

The run folders are written once into a temporary directory, untimed; each
time is the best of a few repeats, wall clock.

    ZORV_MODULE_DIR=<build>/python python3 bench/campaign_analysis_bench.py [--repeats 5]
"""

import argparse
import cProfile
import io
import json
import math
import os
import pathlib
import pstats
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
# run_all.py puts only the module's build directory on the path.
sys.path.insert(0, str(ROOT / "python"))
if os.environ.get("ZORV_MODULE_DIR"):
    sys.path.insert(0, os.environ["ZORV_MODULE_DIR"])

import numpy as np  # noqa: E402

from zorv_pp import Window, properties, synthetic  # noqa: E402
from zorv_pp.campaign.batch import StateJob, analyze_states  # noqa: E402
from zorv_pp.msdfit import window_sensitivity  # noqa: E402
from zorv_pp.run.tables import column_mean  # noqa: E402

STATES, REPLICAS = 10, 10
RDF_ROWS, TEMPERATURE_ROWS = 2000, 100_000
NOISE = 0.03
ONE_CORE_TARGET = 1.0
SPEEDUP_TARGET = 1.8
PEER_TARGET = 2.0
SERIES_TARGET = 1.5
SPREAD_TARGET = 20e-6
TABLE_FILES = {
    "diffself": "diffself.dat",
    "diffonsag": "diffonsag.dat",
    "viscosity": "viscosity.dat",
    "tconductivity": "tconductivity.dat",
}


def state_spec(k, seed):
    """State k of a KOH solution: more salt and a warmer box as k grows."""
    salt = 10 + 6 * k
    return synthetic.RunSpec(
        counts={"K": salt, "OH": salt, "water": 1000},
        self_diffusion={"K": 1.8e-9 - 3e-11 * k, "OH": 2.6e-9 - 5e-11 * k, "water": 2.2e-9 - 4e-11 * k},
        onsager={
            ("K", "K"): 6e-11 + 4e-12 * k,
            ("K", "OH"): 5e-12,
            ("K", "water"): -2e-12,
            ("OH", "OH"): 8e-11 + 5e-12 * k,
            ("OH", "water"): -3e-12,
            ("water", "water"): 1.9e-9,
        },
        temperature=298.15 + 3.0 * k,
        volume=(3.0e-26 + 2e-28 * salt),
        density=1000.0 + 12.0 * k,
        noise=NOISE,
        rdf_rows=RDF_ROWS,
        temperature_rows=TEMPERATURE_ROWS,
        seed=seed,
    )


def write_campaign(root):
    """The state jobs of 100 runs and the row counts of their transport tables."""
    jobs, rows = [], []
    for k in range(STATES):
        runs = []
        for r in range(REPLICAS):
            folder = root / f"state{k}" / f"rep{r}"
            synthetic.write_run(folder, state_spec(k, 100 * k + r))
            runs.append(str(folder))
            rows += [len(np.loadtxt(folder / name, comments="#")) for name in TABLE_FILES.values()]
        jobs.append(StateJob(f"state{k}", runs))
    return jobs, np.array(rows)


def best_time(call, repeats):
    best, out = math.inf, None
    for _ in range(repeats):
        start = time.perf_counter()
        out = call()
        best = min(best, time.perf_counter() - start)
    return best, out


def column_of(prop, label, header):
    """The column of a fitted curve in its table's header."""
    if prop == "self_diffusion_pbc":
        return header.index(f"MSD__{label}")
    if prop == "onsager":
        first, second = label.split("-")
        name = f"MSD__{first}_{second}"
        return header.index(name if name in header else f"MSD__{second}_{first}")
    return header.index(label)


def header_of(path):
    """Column names of a transport table: its last comment line before the numbers."""
    last = None
    with open(path) as stream:
        for line in stream:
            if not line.startswith("#"):
                break
            last = line
    return last.lstrip("#").split()


def peer_plan(analyses):
    """Per run: (table file, column, first row, end row, a line's slope through our rows) of every range our
    fits chose.

    Worked out untimed from our results, so the peer searches nothing.
    """
    plan = {}
    for analysis in analyses:
        folder = pathlib.Path(analysis.run)
        fits = []
        for curve in analysis.curves:
            if not curve.t_fit:
                continue  # no window found: nothing to fit
            kind = properties.get(curve.property).table
            path = folder / TABLE_FILES[kind]
            column = column_of(curve.property, curve.label, header_of(path))
            start = curve.time.index(curve.t_fit[0])
            end = start + len(curve.t_fit)
            if curve.time[start:end] != curve.t_fit:
                raise SystemExit(f"{path}: the window of {curve.label} is not a run of consecutive rows")
            # The peer fits a plain line: it is checked against a plain line through our own rows there.
            line = np.polyfit(curve.time[start:end], curve.values[start:end], 1)[0]
            fits.append((kind, column, start, end, line))
        plan[analysis.run] = fits
    return plan


def peer(plan):
    """numpy.loadtxt of every table a run's analysis reads, numpy.polyfit over the chosen windows."""
    slopes, states = [], []
    for run, fits in plan.items():
        folder = pathlib.Path(run)
        tables = {kind: np.loadtxt(folder / name, comments="#") for kind, name in TABLE_FILES.items()}
        np.loadtxt(folder / "rdf.dat", skiprows=1)
        states.append(
            (
                np.loadtxt(folder / "temperature.dat", comments="#", ndmin=2)[:, 1].mean(),
                np.loadtxt(folder / "volume.dat", comments="#", ndmin=2)[0, 1],
                np.loadtxt(folder / "density.dat", comments="#", ndmin=2)[0, 1],
            )
        )
        for kind, column, start, end, _ in fits:
            table = tables[kind]
            slopes.append(np.polyfit(table[start:end, 0], table[start:end, column], 1)[0])
    return slopes


def series_times(path, repeats):
    """The streaming mean of a temperature series and the floor: its bytes read, its floats parsed unboxed."""

    def floor():
        data = path.read_bytes()
        body = data[data.index(b"\n", data.index(b"\n") + 1) + 1 :]
        return np.fromstring(body, sep=" ").reshape(-1, 2)[:, 1].mean()  # noqa: NPY201 (text mode parses)

    ours, mean = best_time(lambda: column_mean(path.parent, path, []), repeats)
    peer_time, peer_mean = best_time(floor, repeats)
    if not math.isclose(mean[0], peer_mean, rel_tol=1e-9):  # a running sum against numpy's pairwise one
        raise SystemExit(f"{path}: the streaming mean {mean[0]} is not the floor's {peer_mean}")
    return ours, peer_time


def spread_time(analyses, repeats):
    """Seconds per window spread of the first 60 rows of the campaign's curves (the first 200 found)."""
    curves = [
        (np.asarray(c.time[:60]), np.asarray(c.values[:60])) for a in analyses for c in a.curves if len(c.time) >= 60
    ][:200]
    if not curves:
        raise SystemExit("no 60-row curve in the campaign")
    window = Window()
    seconds, _ = best_time(lambda: [window_sensitivity(t, y, window) for t, y in curves], repeats)
    return seconds / len(curves)


def top_five(jobs):
    """The five functions of one single-core campaign with the most time of their own, with their share."""
    profile = cProfile.Profile()
    profile.enable()
    analyze_states(jobs, jobs=1, progress=False, curves=False)
    profile.disable()
    stats = pstats.Stats(profile, stream=io.StringIO())
    total = sum(entry[2] for entry in stats.stats.values())
    ranked = sorted(stats.stats.items(), key=lambda item: item[1][2], reverse=True)[:5]
    return [
        (f"{pathlib.Path(file).name}:{line}({name})", own / total) for (file, line, name), (_, _, own, *_) in ranked
    ]


def row(function, workload, time_text, peer_text, ratio, target, met):
    verdict = "information" if met is None else "pass" if met else "fall short"
    print(
        "bench-row "
        + json.dumps(
            {
                "function": function,
                "workload": workload,
                "time": time_text,
                "peer": peer_text,
                "ratio": ratio,
                "target": target,
                "verdict": verdict,
            }
        ),
        flush=True,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="zorv-campaign-") as tmp:
        start = time.perf_counter()
        jobs, rows = write_campaign(pathlib.Path(tmp))
        print(
            f"wrote {STATES * REPLICAS} runs ({rows.min()}-{rows.max()} rows per transport table) "
            f"in {time.perf_counter() - start:.1f} s",
            file=sys.stderr,
        )
        analyses = []
        analyze_states(jobs, jobs=1, progress=False, on_run=analyses.append)  # warm the page cache
        if any(not hasattr(a, "curves") for a in analyses):
            raise SystemExit(f"a run failed: {next(a for a in analyses if not hasattr(a, 'curves'))}")
        # Pairs of jobs=1 and jobs=2 calls side by side, so both meet the same load from other users.
        load = os.getloadavg()[0]
        one = two = cpu = math.inf
        for _ in range(args.repeats):
            start = time.process_time()
            t1, result_one = best_time(lambda: analyze_states(jobs, jobs=1, progress=False, curves=False), 1)
            cpu = min(cpu, time.process_time() - start)
            t2, result_two = best_time(lambda: analyze_states(jobs, jobs=2, progress=False, curves=False), 1)
            one, two = min(one, t1), min(two, t2)
        same = repr(result_one.rows()) == repr(result_two.rows()) and not result_one.failures
        window_only = Window(method="window")
        plain, _ = best_time(
            lambda: analyze_states(jobs, window=window_only, jobs=1, progress=False, curves=False), args.repeats
        )
        plan = peer_plan(analyses)
        peer_time, slopes = best_time(lambda: peer(plan), args.repeats)
        ours_slopes = [fit[4] for fits in plan.values() for fit in fits]
        worst = max(abs(a - b) / abs(b) for a, b in zip(slopes, ours_slopes))
        series, series_floor = series_times(pathlib.Path(jobs[0].runs[0]) / "temperature.dat", args.repeats)
        spread = spread_time(analyses, args.repeats)
        profile = top_five(jobs)
    curves = len(ours_slopes)
    workload = (
        f"{STATES * REPLICAS} runs: {rows.min()}-{rows.max()}-row order-n MSD tables, {RDF_ROWS:,}-row rdf, "
        f"{TEMPERATURE_ROWS:,}-row temperature, {curves} fits"
    )
    # CPU time tells how much of a slow wall time other users' load took.
    print(
        f"load average {load:.2f}; one core {one:.3f} s ({cpu:.3f} s CPU), jobs=2 {two:.3f} s ({one / two:.2f}x), "
        f"peer {peer_time:.3f} s ({peer_time / one:.2f}x ours); same results with jobs=2: {same}; "
        f"peer slopes within {worst:.1e} of ours",
        file=sys.stderr,
    )
    print(
        "profile of one single-core campaign, own time: " + "; ".join(f"{name} {share:.0%}" for name, share in profile),
        file=sys.stderr,
    )
    row(
        "analyze_states",
        workload + ", jobs=1, no figures",
        f"{one:.3f} s",
        "",
        "",
        f"<= {ONE_CORE_TARGET:g} s",
        one <= ONE_CORE_TARGET,
    )
    row(
        "analyze_states",
        workload + ", jobs=1: the cost of the uncertainty (GLS fits with their errors against the window search alone)",
        f"{one:.3f} s",
        f"window search only {plain:.3f} s",
        f"{one / plain:.2f}x",
        "",
        None,
    )
    row(
        "analyze_states",
        workload + f", jobs=2 against jobs=1 (load average {load:.1f} before)",
        f"{two:.3f} s",
        f"jobs=1 {one:.3f} s",
        f"{one / two:.2f}x",
        f">= {SPEEDUP_TARGET:g}x",
        one / two >= SPEEDUP_TARGET,
    )
    row(
        "analyze_states",
        workload + "; the peer is handed our windows, no window search nor rdf shell: favours it",
        f"{one:.3f} s",
        f"numpy loadtxt + polyfit {peer_time:.3f} s",
        f"{peer_time / one:.2f}x",
        f">= {PEER_TARGET:g}x",
        peer_time / one >= PEER_TARGET,
    )
    row(
        "run.tables.column_mean",
        f"{TEMPERATURE_ROWS:,}-row temperature series, streamed",
        f"{series * 1e3:.1f} ms",
        f"bytes read + numpy.fromstring {series_floor * 1e3:.1f} ms",
        f"{series / series_floor:.2f}x",
        f"<= {SERIES_TARGET:g}x",
        series / series_floor <= SERIES_TARGET,
    )
    row(
        "msdfit.window_sensitivity",
        "a 60-row curve, default window settings",
        f"{spread * 1e6:.1f} µs",
        "",
        "",
        f"< {SPREAD_TARGET * 1e6:g} µs",
        spread < SPREAD_TARGET,
    )
    row(
        "analyze_states profile",
        "own time of one single-core campaign, the five costliest",
        "; ".join(f"{name} {share:.0%}" for name, share in profile),
        "",
        "",
        "",
        None,
    )
    return 0 if same and worst < 1e-6 else 1


if __name__ == "__main__":
    sys.exit(main())
