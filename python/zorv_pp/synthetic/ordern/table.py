"""MSD tables sampled the way the order-n computation samples them.

Block b of the computation looks at every nbe**b-th sample and averages the
squared displacement over lags k·Δ0·nbe**b (k = 1..nbe) from every origin it
has, M = floor(T / (Δ0·nbe**b)) − k + 1 of them; a row is written only when
M ≥ 1, and the last lag of a block comes again as the first of the next.
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from ...run.sampling import Sampling
from .shapes import Shape, shape_positions
from .walkers import FloatArray, expected_msd
from .walkers import walker_positions as ou_walkers

IntArray = npt.NDArray[np.int64]

#: Independent one-dimensional walkers behind one column, by column kind.
#: A self-diffusion column has 3 per molecule (molecules × dimensions).
WALKERS: dict[str, int] = {
    "self_diffusion_per_molecule": 3,
    "onsager": 3,
    "viscosity_all": 5,
    "viscosity_off": 3,
    "bulk_viscosity": 1,
    "thermal_conductivity_all": 3,
    "component": 1,
}

#: Dimensions of a molecule's displacement: a self-diffusion column's walkers are molecules × these.
DIMENSIONS = 3

# Rows with at most this many origins are summed from the differences directly.
_DIRECT = 64
# Walker-samples generated at once: keeps one draw within a few tens of MB.
_CHUNK = 1_000_000


@dataclass(frozen=True)
class OrderNGrid:
    """The rows of an order-n table: lag (table time unit), block, element k and origins M."""

    time: FloatArray
    block: IntArray
    element: IntArray
    origins: IntArray
    samples: int
    """Sampling intervals in the run, floor(T / Δ0): samples 0..samples exist."""
    nbe: int


def ordern_grid(sampling: Sampling) -> OrderNGrid:
    """Every row the order-n computation writes for ``sampling``, in file order.

    Block boundaries repeat their lag (last of block b, first of block b + 1);
    ``sampling.blocks`` None means as many blocks as have an origin.
    """
    if sampling.nbe < 2:
        raise ValueError("nbe must be at least 2")
    samples = sampling.origins(0, 1)  # floor(T / Δ0), with the same rounding as the fits
    if samples < 1:
        raise ValueError("the run is shorter than one sampling interval")
    time: list[float] = []
    block: list[int] = []
    element: list[int] = []
    origins: list[int] = []
    b = 0
    while sampling.blocks is None or b < sampling.blocks:
        stride = sampling.nbe**b
        coarse = samples // stride
        if coarse < 1:
            break
        for k in range(1, min(sampling.nbe, coarse) + 1):
            # The lag as the integer number of samples times Δ0: times read as the log writes them.
            time.append(sampling.interval * (k * stride))
            block.append(b)
            element.append(k)
            origins.append(coarse - k + 1)
        b += 1
    return OrderNGrid(
        np.array(time),
        np.array(block, dtype=np.int64),
        np.array(element, dtype=np.int64),
        np.array(origins, dtype=np.int64),
        samples,
        sampling.nbe,
    )


def ordern_products(grid: OrderNGrid, positions: FloatArray) -> FloatArray:
    """Σ over walkers and origins of the squared displacement, for every row of ``grid``.

    ``positions`` has shape (..., walkers, samples + 1); leading axes are kept.
    Σ_j (x[j+k] − x[j])² is summed as Σ x[j+k]² + Σ x[j]² − 2 Σ x[j]·x[j+k]
    from prefix sums of squares: one pass per lag, no temporaries; the
    cancellation costs about log10(samples / k) digits, far below the noise.
    Rows of few origins are summed from the differences themselves.
    """
    out = np.empty(positions.shape[:-2] + (grid.time.size,))
    for b in np.unique(grid.block).tolist():
        a = positions[..., :: grid.nbe**b]
        squares = np.einsum("...ij,...ij->...j", a, a)
        prefix = np.zeros(squares.shape[:-1] + (squares.shape[-1] + 1,))
        np.cumsum(squares, axis=-1, out=prefix[..., 1:])
        n = a.shape[-1]
        for row in np.flatnonzero(grid.block == b).tolist():
            k = int(grid.element[row])
            if n - k <= _DIRECT:
                # Few origins: the differences themselves, exact, and the same bits for the same lag in two blocks.
                d = a[..., k:] - a[..., :-k]
                out[..., row] = np.einsum("...ij,...ij->...", d, d)
            else:
                cross = np.einsum("...ij,...ij->...", a[..., k:], a[..., :-k])
                out[..., row] = (prefix[..., n] - prefix[..., k]) + prefix[..., n - k] - 2.0 * cross
    return out


def simulate_table(
    sampling: Sampling,
    walkers: int,
    diffusion: float,
    tau: float,
    rng: np.random.Generator,
    *,
    slow_share: float = 0.0,
    slow_factor: float = 20.0,
    scale: float = 1.0,
    realisations: int | None = None,
    shape: Shape | None = None,
    shared: float = 0.0,
) -> tuple[FloatArray, FloatArray, float]:
    """One MSD column of an order-n table of ``walkers`` independent OU walkers.

    Each walker moves in one dimension with long-time diffusivity
    ``diffusion`` (length²/time in the table's units) and velocity relaxation
    time ``tau``; with ``slow_share`` f > 0 a share f of the diffusivity
    relaxes in tau·``slow_factor`` instead. Positions are drawn exactly every
    ``sampling.interval`` over ``sampling.run_length``.

    Returns ``(time, msd, answer)``:

    - ``time``: the lags of the rows the order-n computation writes
      (:func:`ordern_grid`), in the table's time unit;
    - ``msd``: for every row, scale × (1/walkers) Σ_walkers (1/M) Σ_origins Δx²/2,
      shape (rows,), or (realisations, rows) with ``realisations``;
    - ``answer``: scale × diffusion, the slope of E[msd] once t ≫ tau (and
      tau·slow_factor). E[msd] is exactly scale × :func:`expected_msd` at
      every row, its asymptote has intercept −answer·[(1 − f)τ + f·τ·slow_factor].

    A self-diffusion column (``MSD__i`` of diffself.dat, summed over the N_i
    molecules and divided by 6) is walkers = 3·N_i, scale = N_i; the
    column kinds of the other tables are in :data:`WALKERS` (scale 1: the slope is D).

    ``shape`` (see :class:`Shape`) replaces ``tau``, ``slow_share`` and
    ``slow_factor`` by any mix of velocity and bounded parts: E[msd] is then
    scale × ``shape.expected``, approaching its line from above or below.

    ``shared`` s > 0 makes the walkers molecules × :data:`DIMENSIONS` that move
    with the box's collective flow: walker w is its own walker of diffusivity
    (1 − s)·D plus the common walker of dimension w mod 3, of diffusivity s·D,
    the same for every molecule. E[msd] and the answer stay the same; the
    column's variance grows about (1 + N·s²) times for N molecules.
    """
    if walkers < 1:
        raise ValueError("need at least one walker")
    check_shared(shared, walkers)
    grid = ordern_grid(sampling)
    copies = 1 if realisations is None else realisations
    if copies < 1:
        raise ValueError("realisations must be positive")
    total = np.zeros((copies, grid.time.size))
    span = grid.samples + 1

    def draw(
        rng: np.random.Generator,
        count: int,
        samples: int,
        interval: float,
        diffusion: float,
        tau: float,
        slow_share: float,
        slow_factor: float,
    ) -> FloatArray:
        if shape is not None:
            return shape_positions(rng, count, samples, interval, diffusion, shape)
        return ou_walkers(rng, count, samples, interval, diffusion, tau, slow_share, slow_factor)

    def flow(rng: np.random.Generator, count: int) -> FloatArray:
        # The collective flow moves as the velocity parts do; a cage's rattle is each molecule's own.
        flow_shape = None if shape is None else Shape(shape.velocity)
        if flow_shape is not None:
            return shape_positions(rng, count, grid.samples, sampling.interval, diffusion * shared, flow_shape)
        return ou_walkers(rng, count, grid.samples, sampling.interval, diffusion * shared, tau, slow_share, slow_factor)

    own = diffusion * (1.0 - shared)
    if walkers * span <= _CHUNK:
        group = max(1, _CHUNK // (walkers * span))
        for start in range(0, copies, group):
            n = min(group, copies - start)
            x = draw(rng, n * walkers, grid.samples, sampling.interval, own, tau, slow_share, slow_factor)
            x = x.reshape(n, walkers, span)
            if shared > 0.0:
                common = flow(rng, n * DIMENSIONS).reshape(n, DIMENSIONS, span)
                x = (x.reshape(n, -1, DIMENSIONS, span) + common[:, None]).reshape(n, walkers, span)
            total[start : start + n] = ordern_products(grid, x)
    else:
        per_draw = max(1, _CHUNK // span)
        for copy in range(copies):
            walk = flow(rng, DIMENSIONS) if shared > 0.0 else None
            for start in range(0, walkers, per_draw):
                count = min(per_draw, walkers - start)
                x = draw(rng, count, grid.samples, sampling.interval, own, tau, slow_share, slow_factor)
                if walk is not None:
                    add_common(x, start, walk)
                total[copy] += ordern_products(grid, x)
    msd = total * (scale / (2.0 * walkers)) / grid.origins
    return grid.time, (msd[0] if realisations is None else msd), scale * diffusion


def check_shared(shared: float, walkers: int) -> None:
    if not 0.0 <= shared <= 1.0:
        raise ValueError("shared must lie in [0, 1]")
    if shared > 0.0 and walkers % DIMENSIONS:
        raise ValueError(f"a shared flow needs walkers in whole molecules of {DIMENSIONS} dimensions")


def add_common(positions: FloatArray, start: int, common: FloatArray) -> None:
    """Add to walkers start, start + 1, ... (rows of ``positions``) the common walker of their dimension."""
    dimension = np.arange(start, start + positions.shape[0]) % common.shape[0]
    positions += common[dimension]


def expected_table(
    sampling: Sampling,
    diffusion: float,
    tau: float,
    *,
    slow_share: float = 0.0,
    slow_factor: float = 20.0,
    scale: float = 1.0,
    shape: Shape | None = None,
) -> tuple[FloatArray, FloatArray]:
    """The lags of ``sampling``'s rows and E[msd] of :func:`simulate_table` at them."""
    grid = ordern_grid(sampling)
    if shape is not None:
        return grid.time, scale * shape.expected(grid.time, diffusion)
    return grid.time, scale * expected_msd(grid.time, diffusion, tau, slow_share, slow_factor)
