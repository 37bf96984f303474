import math
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _zorv_pp as z

NAN = math.nan
POWERS = [1.0, 2.0, 4.0, 8.0, 16.0, 32.0, 64.0]
STEEP = [1.0, 8.0, 16.0, 128.0, 1024.0, 8192.0, 65536.0]
LINE = [float(i) for i in range(1, 11)]
REPEAT = [1.0, 2.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0]


def bits(values):
    return [struct.pack("<d", v) for v in values]


def same(result, expected):
    d, t_fit, fit = result
    return bits([d]) == bits([expected[0]]) and t_fit == expected[1] and bits(fit) == bits(expected[2])


# The C++ tests hold the full list; these cross the argument conversions.
@pytest.mark.parametrize(
    "args, expected",
    [
        ((POWERS, STEEP, 0.0, 2, 4, 0.5, 0.0), (4.0, [2.0, 4.0], [8.0, 16.0])),
        ((REPEAT, REPEAT, 0.1, 3, 6, 0.1, 0.0), (1.0, [2.0, 3.0, 4.0], [2.0, 3.0, 4.0])),
        ((LINE, LINE[:-1], 0.0, 2, 4, 0.5, 0.0), (NAN, [], [])),
        (([], [], 0.0, 2, 4, 0.5, 0.0), (NAN, [], [])),
        ((LINE, LINE, 0.0, 2**64 - 1, 2**64 - 1, 0.5, 0.0), (NAN, [1.0], [1.0])),
        ((LINE, LINE, -1e300, 2, 2**64 - 1, 0.5, 0.0), (1.0, [1.0, 2.0], [1.0, 2.0])),
    ],
)
def test_examples(args, expected):
    assert same(z.diff_calculator(*args), expected)


def test_keywords_tuples_and_negative_counts():
    result = z.diff_calculator(
        msd_in=tuple(STEEP),
        time=tuple(POWERS),
        margin=0.0,
        min_window=2,
        max_window=4,
        max_error=0.5,
        min_displacement=0,
    )
    assert isinstance(result, tuple) and same(result, (4.0, [2.0, 4.0], [8.0, 16.0]))
    with pytest.raises(OverflowError):
        z.diff_calculator(POWERS, STEEP, 0.0, -2, 4, 0.5, 0.0)
    with pytest.raises(TypeError):
        z.diff_calculator("1234", STEEP, 0.0, 2, 4, 0.5, 0.0)


def reference_fit(time, msd, margin, min_w, max_w, max_error, min_disp):
    """Every window summed from its first point, as a user would write it."""
    if not time or len(msd) != len(time):
        return (NAN, [], [])
    theta = min_disp * min_disp
    kept = [(t, m) for t, m in zip(time, msd) if abs(m) >= theta]
    if not kept:
        return (NAN, [], [])
    t = [p[0] for p in kept]
    m = [p[1] for p in kept]
    n = len(t)
    log = lambda v: math.log10(v) if v > 0 else (-math.inf if v == 0 else NAN)
    X = [log(v) for v in t]
    Y = [log(abs(v)) for v in m]
    count = lambda v: 0 if not v > 0 else (2**64 - 1 if v >= 2.0**64 else int(v))
    s0, e0 = count(margin * n), count((1.0 - margin) * n)
    end = 0 if min_w > e0 else e0 - min_w
    lo, hi = 1.0 - max_error, max_error + 1.0
    best = None
    for k in range(s0, min(end, n)):
        if k + 1 < n and abs(t[k] - t[k + 1]) < 2.220446049250313e-16 * max(abs(t[k]), 1.0):
            continue
        for w in range(min_w, min(end - k, max_w, n - k + 1)):
            sx = sy = sxy = sxx = -0.0
            for i in range(k, k + w):
                sx += X[i]
                sy += Y[i]
                sxy += X[i] * Y[i]
                sxx += X[i] * X[i]
            num, den = w * sxy - sx * sy, w * sxx - sx * sx
            slope = num / den if den != 0 and math.isfinite(num) and math.isfinite(den) else NAN
            if lo < slope < hi and math.isfinite(slope):
                if best is None or abs(slope - 1.0) < best[0]:
                    best = (abs(slope - 1.0), k, w)
    if best is None:
        return (NAN, [time[0]], [msd[0]])
    _, k, w = best
    x, y = t[k : k + w], m[k : k + w]
    sx = sy = sxy = sxx = -0.0
    for a, b in zip(x, y):
        sx += a
        sy += b
        sxy += a * b
        sxx += a * a
    den = sxx * w - sx * sx
    d = b0 = NAN
    if den != 0:
        d = (sxy * w - sx * sy) / den
        b0 = (sy - sx * d) / w
    return (d, x, [v * d + b0 for v in x])


# Boundaries the random curves rarely hit exactly.
@pytest.mark.parametrize(
    "args",
    [
        # Every window's slope is exactly 2 = 1 + max_error: on the band's edge, so none qualifies.
        ([1.0, 10.0, 100.0, 1000.0, 10000.0], [1.0, 100.0, 1e4, 1e6, 1e8], 0.0, 2, 6, 1.0, 0.0),
        # Times two ulps apart are no repeated time: the window from the first one stands.
        ([1.0, 1.0 + 2**-51, 2.0, 4.0, 8.0], [1.0, 1.0 + 2**-51, 2.0, 4.0, 8.0], 0.0, 2, 3, 0.5, 0.0),
    ],
)
def test_edges_match_windows_summed_from_scratch(args):
    assert same(z.diff_calculator(*args), reference_fit(*args))


@st.composite
def curves(draw):
    """Power-law curves with repeated, zero and negative times, NaN, zero and
    negative MSD values."""
    n = draw(st.integers(1, 40))
    steps = draw(st.lists(st.sampled_from([0.0, 0.1, 1.0]) | st.floats(0.01, 2.0), min_size=n, max_size=n))
    time, t = [], draw(st.sampled_from([-1.0, 0.0, 0.5]))
    for step in steps:
        t += step
        time.append(t)
    exponent = draw(st.floats(0.5, 2.0))
    factors = draw(st.lists(st.floats(0.8, 1.25) | st.sampled_from([NAN, -1.0, 0.0]), min_size=n, max_size=n))
    return time, [abs(v) ** exponent * f for v, f in zip(time, factors)]


@settings(max_examples=150, deadline=None)
@given(
    curves(),
    st.sampled_from([0.0, 0.05, -0.2, 0.3]),
    st.integers(0, 6),
    st.integers(0, 30),
    st.sampled_from([0.3, 1.0, math.inf]),
    st.sampled_from([0.0, 0.5]),
)
def test_matches_windows_summed_from_scratch(curve, margin, min_w, max_w, max_error, min_disp):
    time, msd = curve
    args = (time, msd, margin, min_w, max_w, max_error, min_disp)
    assert same(z.diff_calculator(*args), reference_fit(*args))
