"""The noise of order-n tables by itself: sampled walkers' rows less their expectation, for tables
written on their own grids."""

from __future__ import annotations

import numpy as np

from ...run.sampling import Sampling
from .table import expected_table, ordern_grid, ordern_products, simulate_table
from .walkers import FloatArray, walker_positions

# A velocity that forgets itself within a thousandth of a sample: the walkers are straight lines.
_TAU = 1e-3


def ordern_noise(
    times: FloatArray, sampling: Sampling, walkers: int, rng: np.random.Generator, shared: float = 0.0
) -> FloatArray:
    """The deviation of a unit-slope column of ``walkers`` walkers at ``times`` from its expectation.

    ``times`` are rows of ``sampling``'s order-n grid, in order, each lag taken at its first unused
    occurrence there (a block's last lag comes again as the next block's first). Multiply by a column's
    slope (or the root of its noise scale) for its noise. ``shared``: the share of the diffusivity that
    molecules (three walkers each) move together, as in :func:`simulate_table`.
    """
    tau = _TAU * sampling.interval
    grid, msd, _ = simulate_table(sampling, walkers, 1.0, tau, rng, shared=shared)
    _, expected = expected_table(sampling, 1.0, tau)
    return _on_rows(times, grid, msd - expected)


def onsager_noise(
    times: FloatArray, sampling: Sampling, slopes: FloatArray, rng: np.random.Generator
) -> dict[tuple[int, int], FloatArray]:
    """The noise of every Onsager column ⟨ΔR_i·ΔR_j⟩ of species whose summed displacements have the
    slope matrix ``slopes`` (symmetric, positive definite), drawn together: three walkers per species
    mixed by the matrix's Cholesky factor, so that a cross column's noise goes with its diagonals'.

    Keys (i, j) with i ≤ j; a cross product is summed as (|R_i + R_j|² − |R_i − R_j|²) / 4.
    """
    tau = _TAU * sampling.interval
    grid = ordern_grid(sampling)
    mix = np.linalg.cholesky(np.asarray(slopes, dtype=np.float64))
    n = mix.shape[0]
    unit = walker_positions(rng, 3 * n, grid.samples, sampling.interval, 1.0, tau).reshape(n, 3, -1)
    species = np.einsum("ij,jdt->idt", mix, unit)
    _, expected = expected_table(sampling, 1.0, tau)
    deviation: dict[tuple[int, int], FloatArray] = {}
    for i in range(n):
        for j in range(i, n):
            if i == j:
                total = ordern_products(grid, species[i])
            else:
                total = (
                    ordern_products(grid, species[i] + species[j]) - ordern_products(grid, species[i] - species[j])
                ) / 4.0
            msd = total / (2.0 * 3) / grid.origins
            deviation[(i, j)] = _on_rows(times, grid.time, msd - slopes[i, j] * expected)
    return deviation


def _on_rows(times: FloatArray, lags: FloatArray, values: FloatArray) -> FloatArray:
    """``values`` on the grid ``lags`` taken at ``times``, each lag at its first unused occurrence."""
    out = np.empty(len(times))
    used = np.zeros(len(lags), dtype=bool)
    for i, when in enumerate(times):
        matches = np.flatnonzero(np.isclose(lags, when, rtol=1e-9, atol=0.0) & ~used)
        if len(matches) == 0:
            raise ValueError(f"the lag {when} is no row of the order-n grid")
        used[matches[0]] = True
        out[i] = values[matches[0]]
    return out
