"""The window spread of the analysis module against a plain loop over every window, and its chosen slope
against diff_calculator's."""

import math

import numpy as np
import pytest

import _zorv_analysis as za
import _zorv_pp as z


def reference(time, msd, margin, min_window, max_window, max_error, min_displacement):
    """Every window the search tries, in its order, with its test; (accepted, low, high, chosen)."""
    kept = [(t, y) for t, y in zip(time, msd) if abs(y) >= min_displacement**2]
    n = len(kept)
    first = int(margin * n) if margin * n > 0 else 0
    e0 = int((1 - margin) * n) if (1 - margin) * n > 0 else 0
    end = 0 if min_window > e0 else e0 - min_window
    accepted, slopes, best = 0, [], None
    for k in range(first, min(end, n)):
        if k + 1 < n and abs(kept[k][0] - kept[k + 1][0]) < 2.220446049250313e-16 * max(abs(kept[k][0]), 1.0):
            continue
        for w in range(min_window, min(end - k, max_window, n - k + 1)):
            window = kept[k : k + w]
            with np.errstate(all="ignore"):
                lx = [math.log10(t) if t > 0 else math.nan for t, _ in window]
                ly = [math.log10(abs(y)) if y != 0 else -math.inf for _, y in window]
            log_slope = slope(lx, ly)
            if not (math.isfinite(log_slope) and 1 - max_error < log_slope < 1 + max_error):
                continue
            accepted += 1
            raw = slope([t for t, _ in window], [y for _, y in window])
            slopes += [raw] if math.isfinite(raw) else []
            if best is None or abs(log_slope - 1) < best[0]:
                best = (abs(log_slope - 1), raw)
    if not slopes:
        return accepted, math.nan, math.nan, best[1] if best else math.nan
    return accepted, min(slopes), max(slopes), best[1] if best else math.nan


def slope(x, y):
    """The search's sums, left to right from -0.0."""
    sx = sy = sxy = sxx = -0.0
    for a, b in zip(x, y):
        sx, sy, sxy, sxx = sx + a, sy + b, sxy + a * b, sxx + a * a
    w = float(len(x))
    den = w * sxx - sx * sx
    with np.errstate(all="ignore"):
        return (w * sxy - sx * sy) / den if den != 0.0 else math.nan


def curve(seed, n):
    rng = np.random.default_rng(seed)
    time = np.cumsum(rng.uniform(0.5, 2.0, n))
    time[n // 3] = time[n // 3 - 1]  # an order-n block boundary repeats a time
    msd = (time - 3.0 * (1.0 - np.exp(-time / 3.0))) * (1.0 + 0.05 * rng.normal(size=n))
    return time, msd


@pytest.mark.parametrize(
    "seed, n, settings",
    [
        (1, 60, (0.1, 10, 60, 0.15, 0.0)),
        (2, 60, (0.0, 3, 20, 0.3, 0.0)),
        (3, 45, (0.2, 5, 100, 0.1, 1.0)),
        (4, 200, (0.1, 10, 60, 0.15, 0.0)),
        (5, 30, (0.1, 40, 60, 0.15, 0.0)),  # windows longer than the curve: none
        (6, 12, (-0.5, 2, 1000, 0.5, 0.0)),  # a negative margin
    ],
)
def test_spread_is_the_loop_over_every_accepted_window(seed, n, settings):
    time, msd = curve(seed, n)
    got = za.window_spread(time, msd, *settings)
    expected = reference(time, msd, *settings)
    assert got[0] == expected[0]
    assert got[1:] == pytest.approx(expected[1:], rel=1e-12, nan_ok=True)
    d = z.diff_calculator(list(time), list(msd), *settings)[0]
    assert got[3] == d or (math.isnan(got[3]) and math.isnan(d))  # the same bits as the kept window's D


@pytest.mark.parametrize(
    "time, msd",
    [
        ([], []),
        ([1.0, 2.0], [1.0]),
        ([1.0, 2.0, 3.0], [math.nan, math.nan, math.nan]),
        (list(range(1, 40)), [t**3 for t in range(1, 40)]),  # no log-log slope near 1
    ],
)
def test_no_accepted_window_gives_nans(time, msd):
    accepted, low, high, chosen = za.window_spread(time, msd, 0.1, 5, 30, 0.15, 0.0)
    assert accepted == 0 and all(math.isnan(v) for v in (low, high, chosen))


def test_sequences_and_buffers_give_the_same_spread():
    time, msd = curve(7, 80)
    assert za.window_spread(time, msd, 0.1, 10, 60, 0.15, 0.0) == za.window_spread(
        time.tolist(), msd.tolist(), 0.1, 10, 60, 0.15, 0.0
    )
    with pytest.raises(TypeError, match="msd"):
        za.window_spread(time, "abc", 0.1, 10, 60, 0.15, 0.0)
