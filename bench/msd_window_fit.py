"""Speed of the transport analysis functions, each against a named peer run
in the same process:

1. diff_calculator on a 20,000-point MSD curve (min_window 10, max_window
   5000, margin 0.05): ns per window visited against the 2 ns target; peer
   "numpy incremental search", the same search written with numpy, its four
   sums grown one point per length for all starts at once (same bits, so the
   same window must come out).
2. diff_calculator on a 1,000-point curve with max_window 500; peer "numpy
   from-scratch loop", the loop a user would write, summing each window's
   log-log terms anew: target at least 1000x, and the same window.
3. repacking_results and local_maximum_finder on lists of 10^6 floats; peer
   "array('d', list)", which only reads the list into doubles.

    PYTHONPATH=<build>/python python3 bench/msd_window_fit.py
"""

import array
import json
import math
import random
import sys
import time

import numpy as np

import _zorv_pp as z

MARGIN, MIN_WINDOW, MAX_ERROR = 0.05, 10, 0.5


def curve(n, seed=3):
    """Ballistic at short times, diffusive later, noisy at the end."""
    rng = random.Random(seed)
    times, msd = [], []
    for i in range(1, n + 1):
        t = 1e-3 * i
        spread = 0.002 + 0.05 * i / n
        times.append(t)
        msd.append(6.0 * (t + 0.05 * math.expm1(-t / 0.05)) * (1.0 + spread * rng.gauss(0.0, 1.0)))
    return times, msd


def bounds(n, max_window):
    def count(v):
        return 0 if not v > 0 else (2**64 - 1 if v >= 2.0**64 else int(v))

    s0, e0 = count(MARGIN * n), count((1.0 - MARGIN) * n)
    end = 0 if MIN_WINDOW > e0 else e0 - MIN_WINDOW
    starts = np.arange(s0, min(end, n), dtype=np.int64)
    limits = np.minimum(np.minimum(end - starts, max_window), n - starts + 1)
    return starts, limits


def windows_visited(n, max_window):
    _, limits = bounds(n, max_window)
    return int(np.maximum(limits - MIN_WINDOW, 0).sum())


def skipped(t, starts):
    nxt = np.append(t[1:], np.nan)[starts]
    return np.abs(t[starts] - nxt) < 2.220446049250313e-16 * np.fmax(np.abs(t[starts]), 1.0)


def numpy_incremental(times, msd, max_window):
    t = np.asarray(times)
    x, y = np.log10(t), np.log10(np.abs(np.asarray(msd)))
    n = len(t)
    starts, limits = bounds(n, max_window)

    def pad(a):
        return np.concatenate([a, np.zeros(max_window + MIN_WINDOW + 1)])

    xp, yp = pad(x), pad(y)
    terms = [xp, yp, xp * yp, xp * xp]
    sums = [np.full(len(starts), -0.0) for _ in terms]
    for i in range(MIN_WINDOW):
        for s, a in zip(sums, terms):
            s += a[starts + i]
    best_d = np.full(len(starts), np.inf)
    best_w = np.zeros(len(starts), dtype=np.int64)
    lo, hi = 1.0 - MAX_ERROR, MAX_ERROR + 1.0
    with np.errstate(divide="ignore", invalid="ignore"):
        for w in range(MIN_WINDOW, int(limits.max(initial=0))):
            sx, sy, sxy, sxx = sums
            slope = (w * sxy - sx * sy) / (w * sxx - sx * sx)
            dist = np.abs(slope - 1.0)
            take = (limits > w) & (lo < slope) & (slope < hi) & (dist < best_d)
            best_d = np.where(take, dist, best_d)
            best_w = np.where(take, w, best_w)
            for s, a in zip(sums, terms):
                s += a[starts + w]
    best_d[skipped(t, starts) | (best_w == 0)] = np.inf
    if not np.isfinite(best_d).any():
        return None
    j = int(np.argmin(best_d))  # the first of equal distances: earliest start
    return int(starts[j]), int(best_w[j])


def numpy_from_scratch(times, msd, max_window):
    t = np.asarray(times)
    x, y = np.log10(t), np.log10(np.abs(np.asarray(msd)))
    starts, limits = bounds(len(t), max_window)
    lo, hi = 1.0 - MAX_ERROR, MAX_ERROR + 1.0
    best = None
    for k, limit in zip(starts.tolist(), limits.tolist()):
        if skipped(t, np.array([k]))[0]:
            continue
        for w in range(MIN_WINDOW, limit):
            xs, ys = x[k : k + w], y[k : k + w]
            sx, sy = xs.sum(), ys.sum()
            den = w * (xs * xs).sum() - sx * sx
            slope = (w * (xs * ys).sum() - sx * sy) / den if den != 0 else math.nan
            if lo < slope < hi and (best is None or abs(slope - 1.0) < best[0]):
                best = (abs(slope - 1.0), k, w)
    return best and (best[1], best[2])


def chosen_window(times, result):
    t_fit = result[1]
    return times.index(t_fit[0]), len(t_fit)


def best_time(run, repeats):
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        out = run()
        best = min(best, time.perf_counter() - start)
    return best, out


def row(function, workload, time_text, peer, ratio, target, ok):
    print(
        "bench-row "
        + json.dumps(
            {
                "function": function,
                "workload": workload,
                "time": time_text,
                "peer": peer,
                "ratio": ratio,
                "target": target,
                "verdict": "pass" if ok else "fall short",
            }
        )
    )


def search_speed():
    times, msd = curve(20000)
    args = (times, msd, MARGIN, MIN_WINDOW, 5000, MAX_ERROR, 0.0)
    windows = windows_visited(len(times), 5000)
    ours, result = best_time(lambda: z.diff_calculator(*args), 3)
    peer, peer_window = best_time(lambda: numpy_incremental(times, msd, 5000), 1)
    ns = ours / windows * 1e9
    same = chosen_window(times, result) == peer_window
    print(f"[1] 20,000 points, {windows:,} windows")
    print(
        f"    diff_calculator           {ours:8.3f} s  {ns:6.3f} ns/window "
        f"(target <= 2 ns: {'met' if ns <= 2.0 else 'MISSED'})"
    )
    print(f"    numpy incremental search  {peer:8.3f} s  {peer / windows * 1e9:6.3f} ns/window")
    print(f"    ratio peer/ours {peer / ours:.1f}x, same window: {same} {chosen_window(times, result)}")
    row(
        "diff_calculator",
        f"20,000 points, {windows:,} windows",
        f"{ours:.3f} s ({ns:.2f} ns/window)",
        f"numpy incremental search {peer:.3f} s",
        f"{peer / ours:.1f}x",
        "<= 2 ns/window",
        ns <= 2.0 and same,
    )
    return same


def loop_speed():
    times, msd = curve(1000)
    args = (times, msd, MARGIN, MIN_WINDOW, 500, MAX_ERROR, 0.0)
    ours, result = best_time(lambda: z.diff_calculator(*args), 20)
    peer, peer_window = best_time(lambda: numpy_from_scratch(times, msd, 500), 1)
    same = chosen_window(times, result) == peer_window
    ratio = peer / ours
    print(f"[2] 1,000 points, {windows_visited(1000, 500):,} windows")
    print(f"    diff_calculator           {ours * 1e3:8.3f} ms")
    print(f"    numpy from-scratch loop   {peer * 1e3:8.1f} ms")
    print(
        f"    ratio {ratio:,.0f}x (target >= 1000x: {'met' if ratio >= 1000 else 'MISSED'}), "
        f"same window: {same} {chosen_window(times, result)}"
    )
    row(
        "diff_calculator",
        "1,000 points, max_window 500",
        f"{ours * 1e3:.3f} ms",
        f"numpy from-scratch loop {peer * 1e3:.0f} ms",
        f"{ratio:,.0f}x",
        ">= 1000x",
        ratio >= 1000 and same,
    )
    return same


def list_speed():
    rng = random.Random(5)
    values = [rng.random() for _ in range(10**6)]
    rising = [i * 1e-6 for i in range(10**6 - 1)] + [0.0]  # the peak is the last candidate
    peer, _ = best_time(lambda: array.array("d", values), 5)
    for name, run in (
        ("repacking_results", lambda: z.repacking_results(values)),
        ("local_maximum_finder", lambda: z.local_maximum_finder(rising, 0, 1)),
    ):
        ours, _ = best_time(run, 5)
        print(
            f"[3] {name:21s} {ours * 1e3:7.2f} ms, array('d', list) {peer * 1e3:7.2f} ms, "
            f"ratio {ours / peer:.2f}x the time of reading the list"
        )
        row(
            name,
            "list of 1,000,000 floats",
            f"{ours * 1e3:.2f} ms",
            f"array('d', list) {peer * 1e3:.2f} ms",
            f"{ours / peer:.2f} of peer",
            "time of reading the list",
            ours <= 1.5 * peer,
        )


if __name__ == "__main__":
    same = [search_speed(), loop_speed()]
    list_speed()
    sys.exit(0 if all(same) else 1)
