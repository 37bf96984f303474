"""One value of a run with everything it is read with, and the rule that a value formed from others carries
their fit flags."""

from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass

from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED, POOR_FIT, WINDOW_SENSITIVE
from .estimate import merge_flags
from .keys import Key

#: The flags of a fitted value that every value formed from it carries: how far its fit can be trusted.
CARRIED = (NO_DIFFUSIVE_REGIME, NOT_CONVERGED, WINDOW_SENSITIVE, POOR_FIT)


@dataclass(frozen=True)
class ValueRecord:
    """One value of a run, in its property's unit: SI, reduced units for ``units lj``.

    ``error`` is its standard error from the run's own sampling, in the value's unit (NaN when none);
    ``has_error`` is False for a value that has no error of its own (a temperature, an RDF shell, a sum of
    coefficients fitted without errors), whose replicas' scatter alone sizes it, and True for a fit, even
    one that could not size its error. ``flags`` name what the value should be read with. ``start`` is the
    time its fitted range starts at, in seconds (reduced time for ``lj``; NaN when not fitted); ``spread``
    how far the choice of fit window alone moves it, in the value's unit (NaN when not known); ``noise``
    the root of the noise scale its error was sized by, in the value's unit (the fitted slope for a squared
    displacement; NaN when not fitted). ``sources`` are the keys of the values it was formed from, empty for
    a fitted or read value. ``fit_p`` is the p value of its fit's χ² under the fit's covariance model (below
    0.001 it is ``poor_fit``; NaN when not fitted).
    """

    value: float
    error: float = math.nan
    flags: tuple[str, ...] = ()
    start: float = math.nan
    spread: float = math.nan
    noise: float = math.nan
    sources: tuple[Key, ...] = ()
    has_error: bool = True
    fit_p: float = math.nan


def formed(
    value: float,
    error: float,
    sources: Mapping[Key, ValueRecord],
    *,
    flags: tuple[str, ...] = (),
    spread: float = math.nan,
    has_error: bool = True,
) -> ValueRecord:
    """A value formed from the ``sources`` records, with their fit flags (:data:`CARRIED`) after its own:
    a Yeh–Hummer D from a periodic-box D that is not converged is not converged either."""
    carried = (flag for record in sources.values() for flag in record.flags if flag in CARRIED)
    return ValueRecord(
        value,
        error,
        merge_flags(flags, carried),
        spread=spread,
        sources=tuple(sources),
        has_error=has_error,
    )
