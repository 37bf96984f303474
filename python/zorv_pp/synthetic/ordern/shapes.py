"""Walkers whose MSD reaches its diffusive line from below, from above, or both, in one or many steps.

Real liquids do not all bend like an Ornstein–Uhlenbeck walker. A walker here
moves the sum of independent parts:

- velocity parts (share f of D, relaxation τ): an OU walker each, whose MSD
  approaches its line from below, 2fD[t − τ(1 − e^(−t/τ))];
- bounded parts (amplitude A, relaxation τ): a stationary OU position, a
  rattle in a cage that adds 2A(1 − e^(−t/τ)) to the MSD and so makes it
  approach its line from above, its local slope falling towards 2D.

Many parts on a logarithmic ladder of τ make a power-law approach: bounded
parts give a local slope that falls as t^(−1/2) (from above), velocity parts
one that rises as t^(−1/2), the long-time tail of hydrodynamics (from below).
Every shape's long-time slope of the table (Δx²/2 per walker) is exactly D.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from .walkers import FloatArray, _ar1, ou_positions


@dataclass(frozen=True)
class Shape:
    """The parts of one walker: ``velocity`` (share of D, τ) and ``bounded`` (amplitude, τ) pairs.

    Shares of D must sum to 1; amplitudes are in the table's units (MSD/2,
    length²), times in its time unit.
    """

    velocity: tuple[tuple[float, float], ...]
    bounded: tuple[tuple[float, float], ...] = ()

    def __post_init__(self) -> None:
        if not self.velocity or not math.isclose(sum(f for f, _ in self.velocity), 1.0, rel_tol=1e-9):
            raise ValueError("the velocity parts' shares of D must sum to 1")
        if any(not (f >= 0.0 and tau > 0.0) for f, tau in self.velocity):
            raise ValueError("velocity shares must not be negative and their times must be positive")
        if any(not (a >= 0.0 and tau > 0.0) for a, tau in self.bounded):
            raise ValueError("bounded amplitudes must not be negative and their times must be positive")

    def expected(self, time: npt.ArrayLike, diffusion: float) -> FloatArray:
        """E[Δx²]/2 at lags ``time``: slope ``diffusion`` once every part has relaxed."""
        t = np.asarray(time, dtype=np.float64)
        out = np.zeros_like(t)
        for share, tau in self.velocity:
            out += share * diffusion * (t + tau * np.expm1(-t / tau))
        for amplitude, tau in self.bounded:
            out -= amplitude * np.expm1(-t / tau)
        return out

    def intercept(self, diffusion: float) -> float:
        """Intercept of the asymptotic line: positive when the curve approaches it from above."""
        return sum(a for a, _ in self.bounded) - diffusion * sum(f * tau for f, tau in self.velocity)


def ladder(first: float, last: float, count: int) -> FloatArray:
    """``count`` relaxation times spaced evenly in log from ``first`` to ``last``."""
    return np.geomspace(first, last, count)


def power_law_from_above(
    diffusion: float, tau: float, first: float, last: float, excess: float, count: int = 12
) -> Shape:
    """A local slope D(1 + c·t^(−1/2)) between ``first`` and ``last``, ``excess`` = c·first^(−1/2) at ``first``.

    Bounded parts with A_k ∝ τ_k^(1/2) on a log ladder: Σ A_k e^(−t/τ_k)/τ_k ≈ t^(−1/2) in between.
    """
    taus = ladder(first, last, count)
    step = math.log(taus[1] / taus[0]) if count > 1 else 1.0
    weights = np.sqrt(taus) * step
    local = float(np.sum(weights * np.exp(-first / taus) / taus))
    amplitudes = weights * (excess * diffusion / local)
    return Shape(((1.0, tau),), tuple((float(a), float(t)) for a, t in zip(amplitudes, taus)))


def power_law_from_below(tau: float, last: float, deficit: float, count: int = 12) -> Shape:
    """A local slope rising as D(1 − c·t^(−1/2)) from ``tau`` to ``last``; ``deficit`` is its share of D.

    Velocity parts with shares ∝ τ_k^(−1/2) on a log ladder: the long-time tail of the velocity.
    """
    taus = ladder(tau, last, count)
    weights = 1.0 / np.sqrt(taus)
    shares = deficit * weights / float(np.sum(weights))
    parts = [(float(s), float(t)) for s, t in zip(shares, taus)]
    return Shape(((1.0 - deficit, tau),) + tuple(parts))


def bounded_positions(
    rng: np.random.Generator, walkers: int, samples: int, interval: float, amplitude: float, tau: float
) -> FloatArray:
    """A stationary OU position of variance ``amplitude`` at 0, h, ..., samples·h, shape (walkers, samples + 1)."""
    decay = math.exp(-interval / tau)
    y = rng.standard_normal((walkers, samples + 1))
    y[:, 0] *= math.sqrt(amplitude)
    y[:, 1:] *= math.sqrt(amplitude * -math.expm1(-2.0 * interval / tau))
    _ar1(y, decay)
    return y


def shape_positions(
    rng: np.random.Generator, walkers: int, samples: int, interval: float, diffusion: float, shape: Shape
) -> FloatArray:
    """Positions of ``walkers`` walkers of ``shape``; E[Δx²]/2 = ``shape.expected(t, diffusion)``."""
    total = np.zeros((walkers, samples + 1))
    for share, tau in shape.velocity:
        if share > 0.0:
            total += ou_positions(rng, walkers, samples, interval, diffusion * share, tau)
    for amplitude, tau in shape.bounded:
        if amplitude > 0.0:
            total += bounded_positions(rng, walkers, samples, interval, amplitude, tau)
    return total
