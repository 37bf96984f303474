"""Electrolyte models against the code a user would otherwise write.

* molarity_to_molality on 100,000 molarities vs scipy.optimize.brentq on the
  same density model in a Python loop, same bracket and tolerance;
* the element-wise models and conversions on 1,000,000-element lists vs their
  floor: numpy.asarray of the input lists and .tolist() of as many output
  arrays as the function returns, with no model arithmetic. The numpy round
  trip (the same plus the vectorised formula) is shown for information.

Prints each time, the ratios, and whether the results agree.
Usage: python bench/electrolyte_bench.py [scale]   (scale 0.1 for a quick run)
"""

import json
import math
import sys
import time

import numpy as np
from scipy.optimize import brentq

import _zorv_pp as z

MW = 56.1056
DENSITY_FIT = (657.16, 1923.4, 0.2145, 2e-4, 10.0)
VISCOSITY_FIT = (9.69, 1.59, 2.51, 0.01, 0.3, 1.2)
TOLERANCE = 1e-10
# A model may spend on its arithmetic (a few exp and pow per element at most) no
# longer than on converting its lists.
FLOOR_FACTOR = 2.0


def best_of(repeats, function):
    """Least time to produce the result; freeing the previous one is left off the clock."""
    times = []
    result = None
    for _ in range(repeats):
        result = None
        start = time.perf_counter()
        result = function()
        times.append(time.perf_counter() - start)
    return min(times), result


def bench_row(name, peer, ours_time, peer_time, ratio, target, verdict):
    function, _, workload = name.partition(" ")
    print(
        "bench-row "
        + json.dumps(
            {
                "function": function,
                "workload": workload.replace("n=", "") + " elements",
                "time": f"{ours_time * 1e3:.1f} ms",
                "peer": f"{peer} {peer_time * 1e3:.1f} ms",
                "ratio": ratio,
                "target": target,
                "verdict": verdict,
            }
        )
    )


def report(name, peer, ours_time, peer_time, agree, target=None):
    """Ours against a peer: ratio peer/ours, against a target or, without one,
    for information."""
    ratio = peer_time / ours_time
    print(
        f"{name:28s} ours {ours_time * 1e3:9.1f} ms   {peer} {peer_time * 1e3:9.1f} ms   "
        f"ratio {ratio:6.1f}x   agree: {agree}"
    )
    if target is None:
        bench_row(name, peer, ours_time, peer_time, f"{ratio:.1f}x faster", "information", "information")
    else:
        bench_row(
            name,
            peer,
            ours_time,
            peer_time,
            f"{ratio:.1f}x",
            f">= {target:g}x",
            "pass" if ratio >= target else "fall short",
        )


def report_floor(name, ours_time, floor_time):
    """Ours against the floor: ratio ours/floor, at most FLOOR_FACTOR."""
    ratio = ours_time / floor_time
    print(
        f"{name:28s} ours {ours_time * 1e3:9.1f} ms   floor {floor_time * 1e3:9.1f} ms   "
        f"{ratio:5.2f}x the floor (target <= {FLOOR_FACTOR:g}x)"
    )
    bench_row(
        name,
        "floor: asarray + tolist",
        ours_time,
        floor_time,
        f"{ratio:.2f}x floor",
        f"<= {FLOOR_FACTOR:g}x floor",
        "pass" if ratio <= FLOOR_FACTOR else "fall short",
    )


# ---- the density model written as a user would, for brentq and numpy ----


def np_density(t_k, m, mw, c0, c1, c2, c3, c4):
    t = t_k - 273.15
    p = ((((-2.8054253e-10 * t + 1.0556302e-7) * t - 4.6170461e-5) * t - 0.0079870401) * t + 16.945176) * t + 999.83952
    rho_w = p / (0.01687985 * t + 1.0)
    e = np.exp(((t + c4) * (t + c4)) * 1e-6)
    w = (m * mw) / (m * mw + 1000.0)
    v = (c3 * t + (c2 + w)) / (e * (c0 * w + c1))
    rho = 1.0 / ((1.0 - w) / rho_w + v * w)
    return rho, (rho * w) / mw


def py_molarity(x, t_k, mw, c0, c1, c2, c3, c4):
    t = t_k - 273.15
    p = ((((-2.8054253e-10 * t + 1.0556302e-7) * t - 4.6170461e-5) * t - 0.0079870401) * t + 16.945176) * t + 999.83952
    rho_w = p / (0.01687985 * t + 1.0)
    e = math.exp(((t + c4) * (t + c4)) * 1e-6)
    w = (x * mw) / (x * mw + 1000.0)
    v = (c3 * t + (c2 + w)) / (e * (c0 * w + c1))
    rho = 1.0 / ((1.0 - w) / rho_w + v * w)
    return (rho * w) / mw


def brentq_peer(molarities, t_k, params):
    out = []
    for y in molarities:
        f = lambda x, y=y: py_molarity(x, t_k, *params) - y  # noqa: E731
        h = max(y, 1.0)
        for _ in range(65):
            h = h + h
            if f(h) >= 0.0:
                break
        out.append(brentq(f, 1e-12, h, xtol=TOLERANCE, maxiter=200))
    return out


def bench_solver(scale):
    n = max(1, int(100_000 * scale))
    t_k = 298.15
    params = (MW,) + DENSITY_FIT
    molalities = [0.01 + 12.0 * i / n for i in range(n)]
    molarities = z.laliberte_density([t_k] * n, molalities, *params)[1]
    ours_time, ours = best_of(3, lambda: z.molarity_to_molality(molarities, t_k, *params, TOLERANCE, 200))
    peer_time, peer = best_of(1, lambda: brentq_peer(molarities, t_k, params))
    worst = max(abs(a - b) for a, b in zip(ours, peer))
    report(
        f"molarity_to_molality n={n}",
        "scipy.optimize.brentq loop",
        ours_time,
        peer_time,
        f"max |diff| {worst:.1e} (tolerance {TOLERANCE:g})",
        target=25.0,
    )


# ---- element-wise models against the numpy round trip ----


def np_viscosity(t_k, m, mw, v1, v2, v3, v4, v5, v6):
    t = t_k - 273.15
    w = (m * mw) / (m * mw + 1000.0)
    eta_w = (t + 245.9996) / ((0.055943 * t + 5.284245) * t + 137.3664)
    eta_s = np.exp((v1 * np.power(w, v2) + v3) / (v4 * t + 1.0)) / (v5 * np.power(w, v6) + 1.0)
    return (np.power(eta_w, 1.0 - w) * np.power(eta_s, w)) * 0.001


def np_koh(t_k, m, mw, *c):
    molarity = np_density(t_k, m, mw, *c)[1]
    p = ((m * mw) / (m * mw + 1000.0)) * 100.0
    low = ((0.001043 * molarity) * molarity) * molarity + (
        (207.2 * molarity) / t_k
        + ((0.005332 * molarity) * t_k + ((-0.0028 * molarity) * molarity + (-2.041 * molarity)))
    )
    high = ((7.0101e-6 * p) * p) * p + (
        (-10.7021 * p) / t_k + ((0.00033647 * p) * t_k + ((-0.0013077 * p) * p + 0.0022204 * p))
    )
    low = (low - ((t_k * molarity) * (t_k * molarity)) * 3e-7) * 100.0
    high = (high - ((t_k * p) * (t_k * p)) * 3.2033e-9) * 100.0
    return np.where(t_k < 353.15, low, high)


def numpy_round_trip(formula, *lists_then_scalars, pair=False):
    def run():
        arrays = [np.asarray(a, dtype=float) for a in lists_then_scalars if isinstance(a, list)]
        scalars = [a for a in lists_then_scalars if not isinstance(a, list)]
        result = formula(*arrays, *scalars)
        return tuple(r.tolist() for r in result) if pair else result.tolist()

    return run


def floor_of(inputs, outputs):
    """The conversions every element-wise model pays: the input lists to arrays
    and arrays of the outputs' length to lists, with no arithmetic between."""

    def run():
        arrays = [np.asarray(a, dtype=float) for a in inputs]
        return arrays, [o.tolist() for o in outputs]

    return run


def agree(ours, peer):
    a = np.asarray(ours, dtype=float).ravel()
    b = np.asarray(peer, dtype=float).ravel()
    return f"max rel diff {float(np.max(np.abs(a - b) / np.abs(b))):.1e}"


def bench_elementwise(scale):
    n = max(1, int(1_000_000 * scale))
    ts = [278.15 + 90.0 * ((i * 7919) % n) / n for i in range(n)]
    ms = [0.05 + 10.0 * ((i * 104729) % n) / n for i in range(n)]
    fractions = [0.001 + 0.5 * ((i * 7919) % n) / n for i in range(n)]
    d_params = (MW,) + DENSITY_FIT
    v_params = (MW,) + VISCOSITY_FIT
    cases = [
        (
            "laliberte_density",
            [ts, ms],
            lambda: z.laliberte_density(ts, ms, *d_params),
            numpy_round_trip(np_density, ts, ms, *d_params, pair=True),
        ),
        (
            "laliberte_viscosity",
            [ts, ms],
            lambda: z.laliberte_viscosity(ts, ms, *v_params),
            numpy_round_trip(np_viscosity, ts, ms, *v_params),
        ),
        (
            "koh_gilliam_eval",
            [ts, ms],
            lambda: z.koh_gilliam_eval(ts, ms, *d_params),
            numpy_round_trip(np_koh, ts, ms, *d_params),
        ),
        (
            "mass_fraction_to_molality",
            [fractions],
            lambda: z.mass_fraction_to_molality(fractions, MW),
            numpy_round_trip(lambda x, mw: x / ((1.0 - x) * (mw / 1000.0)), fractions, MW),
        ),
        (
            "molality_to_mass_fraction",
            [ms],
            lambda: z.molality_to_mass_fraction(ms, MW),
            numpy_round_trip(lambda x, mw: 1.0 / (1.0 / (x * (mw / 1000.0)) + 1.0), ms, MW),
        ),
        (
            "mole_fraction_to_molality",
            [fractions],
            lambda: z.mole_fraction_to_molality(fractions, 18.015),
            numpy_round_trip(lambda x, mw: x / ((1.0 - x) * (mw / 1000.0)), fractions, 18.015),
        ),
        (
            "molality_to_mole_fraction",
            [ms],
            lambda: z.molality_to_mole_fraction(ms, 18.015),
            numpy_round_trip(lambda x, mw: 1.0 / (1.0 / (x * (mw / 1000.0)) + 1.0), ms, 18.015),
        ),
    ]
    for name, inputs, ours_call, peer_call in cases:
        ours_time, ours = best_of(3, ours_call)
        # The floor boxes as many floats as ours returns: two lists for the density pair.
        outputs = [np.asarray(r, dtype=float) for r in (ours if isinstance(ours, tuple) else (ours,))]
        floor_time, _ = best_of(3, floor_of(inputs, outputs))
        report_floor(f"{name} n={n}", ours_time, floor_time)
        peer_time, peer = best_of(3, peer_call)
        report(f"{name} n={n}", "numpy round trip", ours_time, peer_time, agree(ours, peer))


def main(argv):
    scale = float(argv[1]) if len(argv) > 1 else 1.0
    bench_solver(scale)
    bench_elementwise(scale)


if __name__ == "__main__":
    main(sys.argv)
