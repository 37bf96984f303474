"""Plain-Python transcriptions of the electrolyte models, one float operation
at a time, for bitwise comparison with the module. Python floats are IEEE
doubles and math.exp/log10/pow are the same C library functions."""

import math


def mass_fraction(m, mw):
    g = m * mw
    return g / (g + 1000.0)


def density(T, m, mw, c0, c1, c2, c3, c4):
    t = T - 273.15
    p = ((((-2.8054253e-10 * t + 1.0556302e-7) * t - 4.6170461e-5) * t - 0.0079870401) * t + 16.945176) * t + 999.83952
    rho_w = p / (0.01687985 * t + 1.0)
    e = math.exp(((t + c4) * (t + c4)) * 1e-6)
    w = mass_fraction(m, mw)
    v = (c3 * t + (c2 + w)) / (e * (c0 * w + c1))
    rho = 1.0 / ((1.0 - w) / rho_w + v * w)
    return rho, (rho * w) / mw


def viscosity(T, m, mw, v1, v2, v3, v4, v5, v6):
    t = T - 273.15
    w = mass_fraction(m, mw)
    eta_w = (t + 245.9996) / ((0.055943 * t + 5.284245) * t + 137.3664)
    eta_s = math.exp((v1 * math.pow(w, v2) + v3) / (v4 * t + 1.0)) / (v5 * math.pow(w, v6) + 1.0)
    return (math.pow(eta_w, 1.0 - w) * math.pow(eta_s, w)) * 0.001


def koh_conductivity(T, m, mw, *c):
    if T < 353.15:
        x = density(T, m, mw, *c)[1]
        s = ((0.001043 * x) * x) * x + ((207.2 * x) / T + ((0.005332 * x) * T + ((-0.0028 * x) * x + (-2.041 * x))))
        q = 3e-7
    else:
        x = mass_fraction(m, mw) * 100.0
        s = ((7.0101e-6 * x) * x) * x + (
            (-10.7021 * x) / T + ((0.00033647 * x) * T + ((-0.0013077 * x) * x + 0.0022204 * x))
        )
        q = 3.2033e-9
    return (s - ((T * x) * (T * x)) * q) * 100.0


def dewane(c, k):
    v = k[0] - math.sqrt(c) * k[1]
    v = math.log10(c) * (k[2] * c) + v
    v = v + c * k[3]
    v = math.pow(c, 1.5) * k[4] + v
    v = (k[5] * c) * c + v
    v = math.pow(c, 2.5) * k[6] + v
    v = ((k[7] * c) * c) * c + v
    v = v + (((k[8] * c) * c) * c) * c
    v = ((((k[9] * c) * c) * c) * c) * c + v
    return (v * c) / 10.0


def into_molality(x, mw):
    return x / ((1.0 - x) * (mw / 1000.0))


def out_of_molality(x, mw):
    return 1.0 / (1.0 / (x * (mw / 1000.0)) + 1.0)


def divide(x, y):
    """IEEE division: Python raises where the hardware gives inf or NaN."""
    try:
        return x / y
    except ZeroDivisionError:
        if math.isnan(x) or x == 0.0:
            return math.nan
        return math.copysign(math.inf, x) * math.copysign(1.0, y)


def molarity_to_molality(y, T, mw, c0, c1, c2, c3, c4, tol, n):
    """Bracket expansion and Brent-Dekker steps, in the order the solver takes
    them (a NaN residual at a bracket end gives NaN; no bracket raises)."""

    def molarity(x):
        return density(T, x, mw, c0, c1, c2, c3, c4)[1]

    if y <= 0:
        return 0.0
    h = 1.0 if math.isnan(y) else max(y, 1.0)
    for _ in range(65):
        h = h + h
        mh = molarity(h)
        if not y > mh:
            break
    fa = molarity(1e-12) - y
    fb = mh - y
    if math.isnan(fa) or math.isnan(fb):
        return math.nan
    if fa * fb > 0:
        raise ValueError("no bracket")
    a, b = 1e-12, h
    if abs(fb) > abs(fa):
        a, b, fa, fb = b, a, fb, fa
    c, fc, d, bisected = a, fa, 0.0, True
    for _ in range(n):
        if abs(fb) <= tol or abs(b - a) <= tol:
            break
        if fa != fc and fb != fc:
            p1 = divide((a * fb) * fc, (fa - fc) * (fa - fb))
            p2 = divide((b * fa) * fc, (fb - fc) * (fb - fa))
            p3 = divide((c * fa) * fb, (fc - fa) * (fc - fb))
            s = p3 + (p1 + p2)
        else:
            s = b - divide((b - a) * fb, fb - fa)
        q = (a * 3.0 + b) * 0.25
        k = abs(b - c) if bisected else abs(c - d)
        between = (q < s < b) or (b < s < q)
        if not between or k * 0.5 <= abs(s - b) or k < tol:
            s = (a + b) * 0.5
            bisected = True
        else:
            bisected = False
        fs = molarity(s) - y
        d, c, fc = c, b, fb
        if fa * fs < 0:
            b, fb = s, fs
        else:
            a, fa = s, fs
        if abs(fb) > abs(fa):
            a, b, fa, fb = b, a, fb, fa
    return b
