"""Streaming order-n accumulators over the native ``OrderN``: frames in, sums over origins out."""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

import _zorv_analysis

FloatArray = npt.NDArray[np.float64]
IntArray = npt.NDArray[np.int64]


@dataclass(frozen=True)
class OrderNSums:
    """Rows (block, element k, origins M, lag in the series' time unit) and their sums over origins.

    ``squares`` has a column per group (species or flux channel), ``products``
    one per pair g ≤ h of groups in row-major order (positions only), neither divided by M.
    ``mean_pressure`` is the pressure a pressure tensor's bulk channel was taken from.
    """

    time: FloatArray
    block: IntArray
    element: IntArray
    origins: IntArray
    squares: FloatArray
    products: FloatArray
    mean_pressure: float | None = None


def _sums(native: _zorv_analysis.OrderN, groups: int, nbe: int, interval: float) -> OrderNSums:
    t = native.tables()
    block = np.asarray(t["block"]).astype(np.int64)
    element = np.asarray(t["element"]).astype(np.int64)
    rows = block.size
    pairs = groups * (groups + 1) // 2
    products = np.asarray(t["products"])
    return OrderNSums(
        # The lag as the whole number of samples times the interval, as the on-the-fly tables give it.
        time=interval * (element * nbe**block).astype(np.float64),
        block=block,
        element=element,
        origins=np.asarray(t["origins"]).astype(np.int64),
        squares=np.asarray(t["squares"]).reshape(rows, groups),
        products=products.reshape(rows, pairs) if products.size else np.empty((rows, 0)),
        mean_pressure=t.get("mean_pressure"),
    )


class _Fed:
    """What both accumulators share: frames fed to the native ``OrderN``."""

    _native: _zorv_analysis.OrderN

    def add(self, frames: npt.ArrayLike) -> int:
        """Feed one frame or several stacked on a first axis; returns the frames fed so far."""
        return int(self._native.add(np.ascontiguousarray(frames, dtype=np.float64)))

    @property
    def frames(self) -> int:
        return int(self._native.frames)


class PositionOrderN(_Fed):
    """Self-diffusion and Onsager sums of unwrapped molecule positions sampled every ``interval``.

    ``molecule_species[m]`` indexes ``species`` for molecule m; a frame is the
    (molecules, 3) array of positions. Memory is molecules × nb × nbe × 3 doubles.
    """

    def __init__(
        self, species: Sequence[str], molecule_species: npt.ArrayLike, nb: int, nbe: int, interval: float
    ) -> None:
        self.species = list(species)
        which = np.asarray(molecule_species, dtype=np.float64)
        self.counts = {name: int(np.count_nonzero(which == i)) for i, name in enumerate(self.species)}
        self.nbe, self.interval = nbe, interval
        self._native = _zorv_analysis.ordern_positions(which, len(self.species), nb, nbe)

    def sums(self) -> OrderNSums:
        return _sums(self._native, len(self.species), self.nbe, self.interval)


class FluxOrderN(_Fed):
    """Sums of squared increments of a flux's time integrals (trapezoids between frames ``interval`` apart).

    :meth:`pressure` takes (xx, yy, zz, xy, xz, yz) frames and integrates the
    traceless diagonal, the off-diagonal and the pressure less ``mean_pressure``
    (None: the run's own trapezoidal mean, subtracted exactly once every frame
    is in; :attr:`OrderNSums.mean_pressure` gives it);
    :meth:`heat` takes (x, y, z) heat-flux frames.
    """

    def __init__(
        self, channels: int, nb: int, nbe: int, interval: float, mean_pressure: float | None, own_mean: bool = False
    ) -> None:
        self.nbe, self.interval = nbe, interval
        self._native = _zorv_analysis.ordern_flux(channels, nb, nbe, interval, mean_pressure, own_mean)
        self.channels = 7 if mean_pressure is not None or own_mean else channels

    @classmethod
    def pressure(cls, nb: int, nbe: int, interval: float, mean_pressure: float | None) -> FluxOrderN:
        return cls(6, nb, nbe, interval, mean_pressure, own_mean=mean_pressure is None)

    @classmethod
    def heat(cls, nb: int, nbe: int, interval: float) -> FluxOrderN:
        return cls(3, nb, nbe, interval, None)

    def sums(self) -> OrderNSums:
        return _sums(self._native, self.channels, self.nbe, self.interval)
