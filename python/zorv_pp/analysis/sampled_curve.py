"""A fitted curve together with the noise model of its fit, so that figures can refit it from any start."""

from __future__ import annotations

from dataclasses import dataclass

from ..run.sampling import Sampling
from .curve_fit import Curve


@dataclass(frozen=True)
class SampledCurve(Curve):
    """A :class:`Curve` with its table's order-n ``sampling`` (None: no order-n grid), the number of
    independent one-dimensional ``walkers`` its column averages and its noise ``scale`` in file units
    (None: the slope squared, as for any squared displacement); ``bridge`` whether it was fitted by the
    bridge shape of a flux taken less its run's own mean."""

    sampling: Sampling | None = None
    walkers: float = 1.0
    noise: float | None = None
    bridge: bool = False
