"""The first coordination shell of a radial distribution function."""
from __future__ import annotations

import math
from collections.abc import Sequence

import numpy as np

import _zorv_pp

#: Neighbours on each side that a peak or a minimum must beat, so that noise
#: on a 0.01 Å grid is not taken for a shell.
NEIGHBORS = 5


def _is_peak(values: Sequence[float], index: int, neighbors: int) -> bool:
    # local_maximum_finder returns a fallback index when nothing qualifies.
    if index < neighbors or index + neighbors >= len(values):
        return False
    return all(values[index] > values[index - m] and values[index] > values[index + m]
               for m in range(1, neighbors + 1))


def first_shell(radius: Sequence[float], g: Sequence[float], density: float, length: float,
                neighbors: int = NEIGHBORS) -> tuple[float, float, float]:
    """Position (m), height and coordination number of the first peak of g(r).

    ``radius`` is in the file's length unit, ``length`` that unit in metres,
    ``density`` the number density (1/m³) of the species counted around the
    first one. The coordination number is 4π ρ ∫₀^r_min g(r) r² dr by the
    trapezoidal rule up to the first minimum after the peak; NaN when there
    is no peak, no minimum after it, or no density.
    """
    start = next((i for i, value in enumerate(g) if value > 0.0), 0)
    start = max(start - neighbors, 0)
    peak = _zorv_pp.local_maximum_finder(g, start, neighbors)
    if not _is_peak(g, peak, neighbors):
        return math.nan, math.nan, math.nan
    position, height = radius[peak] * length, g[peak]
    negated = [-value for value in g]
    minimum = _zorv_pp.local_maximum_finder(negated, peak, neighbors)
    if not _is_peak(negated, minimum, neighbors) or not math.isfinite(density):
        return position, height, math.nan
    r = np.asarray(radius[:minimum + 1], dtype=float) * length
    integrand = np.asarray(g[:minimum + 1], dtype=float) * r * r
    integral = float(np.sum((integrand[1:] + integrand[:-1]) * np.diff(r)) / 2.0)
    return position, height, 4.0 * math.pi * density * integral
