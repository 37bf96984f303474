"""One-dimensional walkers with an Ornstein–Uhlenbeck velocity, sampled exactly.

A walker of long-time diffusivity D whose velocity forgets itself in a time τ
has MSD(t) = 2D[t − τ(1 − e^(−t/τ))]: ballistic for t ≪ τ, of slope 2D once
t ≫ τ. A walker with a slow second relaxation moves the sum of two such
walkers, a share f of D relaxing in τ·factor and the rest in τ.

Positions are drawn at the sampling times only: over one interval h the pair
(velocity, position) has an exact Gaussian update, so no integration error
enters, whatever h/τ is.
"""

from __future__ import annotations

import math

import numpy as np
import numpy.typing as npt

FloatArray = npt.NDArray[np.float64]

# Below this h/τ the closed form of the position variance loses too many digits.
_SERIES_BELOW = 0.1


def _position_shape(u: float) -> float:
    """2u − 3 + 4e^(−u) − e^(−2u): the position variance over h = uτ, in units of Dτ."""
    if u >= _SERIES_BELOW:
        return 2.0 * u - 3.0 + 4.0 * math.exp(-u) - math.exp(-2.0 * u)
    # Taylor series, Σ_{n≥3} (4(−1)^n − (−2)^n) u^n / n!: the leading terms cancel in the closed form.
    total, power, factorial = 0.0, u * u, 2.0
    for n in range(3, 30):
        power *= u
        factorial *= n
        total += (4.0 * (-1.0) ** n - (-2.0) ** n) * power / factorial
    return total


def expected_msd(
    time: npt.ArrayLike, diffusion: float, tau: float, slow_share: float = 0.0, slow_factor: float = 20.0
) -> FloatArray:
    """E[Δx²]/2 of one walker at lags ``time``: D[t − τ(1 − e^(−t/τ))] per relaxation.

    Its long-time slope is ``diffusion``, its asymptote's intercept
    −D[(1 − f)τ + f·τ·factor] with f = ``slow_share``.
    """
    t = np.asarray(time, dtype=np.float64)
    shape = np.zeros_like(t)
    for share, relax in ((1.0 - slow_share, tau), (slow_share, tau * slow_factor)):
        if share > 0.0:
            shape += share * (t + relax * np.expm1(-t / relax))
    return np.asarray(diffusion * shape, dtype=np.float64)


def _ar1_doubling(v: FloatArray, decay: float) -> None:
    """v[s] ← decay·v[s−1] + v[s] along the last axis, in place, by doubling strides.

    Each pass doubles the span of past terms summed in; once decay**span is
    below the double precision of a term, older terms cannot change a bit.
    """
    stride, factor = 1, decay
    length = v.shape[-1]
    while stride < length and factor > 1e-18:
        # The right-hand side is evaluated before the update, so it holds the old values.
        v[..., stride:] += factor * v[..., :-stride]
        stride *= 2
        factor *= factor


_BLOCK = 16


def _ar1(v: FloatArray, decay: float) -> None:
    """The recursion of :func:`_ar1_doubling`; slowly decaying ones in blocks of 16 samples.

    A slow decay needs many doubling passes; instead each block is solved by
    one matrix product and the blocks' ends, a recursion 16 times shorter,
    carry the past into the next block.
    """
    length = v.shape[-1]
    if decay ** (_BLOCK // 2) <= 1e-18 or length < 4 * _BLOCK:
        _ar1_doubling(v, decay)
        return
    blocks = -(-length // _BLOCK)
    lead = v.shape[:-1]
    work = np.zeros(lead + (blocks * _BLOCK,))
    work[..., :length] = v
    index = np.arange(_BLOCK)
    lag = index[None, :] - index[:, None]
    within = np.where(lag >= 0, decay ** np.maximum(lag, 0).astype(np.float64), 0.0)
    local = (work.reshape(-1, _BLOCK) @ within).reshape(lead + (blocks, _BLOCK))
    ends = local[..., -1].copy()
    _ar1_doubling(ends, decay**_BLOCK)
    local[..., 1:, :] += ends[..., :-1, None] * decay ** (index + 1.0)
    v[...] = local.reshape(lead + (blocks * _BLOCK,))[..., :length]


def ou_positions(
    rng: np.random.Generator, walkers: int, samples: int, interval: float, diffusion: float, tau: float
) -> FloatArray:
    """Positions of ``walkers`` independent OU walkers at 0, h, ..., samples·h (h = ``interval``).

    Shape (walkers, samples + 1), every walker starting at 0 with a velocity
    drawn from its stationary law, so that increments are stationary:
    E[(x(t0 + t) − x(t0))²] = 2·``diffusion``·[t − τ(1 − e^(−t/τ))] for every t0.
    """
    if walkers < 1 or samples < 1:
        raise ValueError("need at least one walker and one sampling interval")
    if not (interval > 0.0 and tau > 0.0 and diffusion >= 0.0):
        raise ValueError("interval and tau must be positive and diffusion not negative")
    u = interval / tau
    decay = math.exp(-u)
    one_minus = -math.expm1(-u)
    var_v = diffusion / tau  # stationary velocity variance
    sd_kick = math.sqrt(var_v * -math.expm1(-2.0 * u))
    var_x = diffusion * tau * _position_shape(u)
    cov_xv = diffusion * one_minus * one_minus
    # Position kick given the velocity kick: a regression on it plus an independent rest.
    slope = cov_xv / (sd_kick * sd_kick) if sd_kick > 0.0 else 0.0
    explained = diffusion * tau * one_minus**3 / (1.0 + decay)
    sd_rest = math.sqrt(max(var_x - explained, 0.0))
    # velocity[s] is v at sample s: its stationary start, then a kick per interval.
    velocity = rng.standard_normal((walkers, samples))
    velocity[:, 0] *= math.sqrt(var_v)
    velocity[:, 1:] *= sd_kick
    steps = rng.standard_normal((walkers, samples))
    steps *= sd_rest
    steps[:, :-1] += slope * velocity[:, 1:]
    # The kick into sample `samples` is needed for the last step only.
    steps[:, -1] += (slope * sd_kick) * rng.standard_normal(walkers)
    _ar1(velocity, decay)
    velocity *= tau * one_minus
    steps += velocity
    positions = np.empty((walkers, samples + 1))
    positions[:, 0] = 0.0
    np.cumsum(steps, axis=1, out=positions[:, 1:])
    return positions


def walker_positions(
    rng: np.random.Generator,
    walkers: int,
    samples: int,
    interval: float,
    diffusion: float,
    tau: float,
    slow_share: float = 0.0,
    slow_factor: float = 20.0,
) -> FloatArray:
    """Like :func:`ou_positions`, with a share ``slow_share`` of D relaxing in τ·``slow_factor``."""
    if not 0.0 <= slow_share < 1.0:
        raise ValueError("slow_share must lie in [0, 1)")
    if slow_share > 0.0 and not slow_factor > 0.0:
        raise ValueError("slow_factor must be positive")
    fast = ou_positions(rng, walkers, samples, interval, diffusion * (1.0 - slow_share), tau)
    if slow_share > 0.0:
        fast += ou_positions(rng, walkers, samples, interval, diffusion * slow_share, tau * slow_factor)
    return fast
