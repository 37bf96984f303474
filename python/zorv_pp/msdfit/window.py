"""Settings of the MSD window fit, with defaults chosen on realistic outputs."""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass, fields, replace
from typing import Any

from .._native import log_log_window_fit
from ..properties import fit_groups

#: How a curve's value is found: generalized least squares, or the log-log window search.
METHODS = ("gls", "window")
#: The fraction of points the window search trims at each end unless told otherwise.
SEARCH_MARGIN = 0.1


@dataclass(frozen=True)
class Window:
    """How the log-log window search picks the diffusive stretch of a curve.

    The fit tries every window of ``min_window`` up to (not including)
    ``max_window`` consecutive points inside the curve trimmed by ``margin`` (a
    fraction of the points at each end), keeps those whose log-log slope lies
    within ``max_error`` of 1, takes the one closest to 1 and fits a straight
    line to it on the raw data. ``min_displacement`` drops points whose |MSD| is
    below its square, in the file's own units (0 keeps every point).

    The defaults suit order-n sampled tables of 50-2,000 rows (about 20 points
    per decade of time): half a decade at least, three decades at most, the
    ballistic start and the noisy last tenth trimmed away.

    ``method`` chooses the value a curve gives: "gls" (the default) fits the
    diffusive range by generalized least squares under the covariance of the
    order-n sampling and gives each value its standard error; "window" keeps
    the slope of the window found here, with no error. Both report the spread
    of slopes over every window this search accepts.

    ``start`` and ``end`` fix the range of a GLS fit, in seconds (reduced time
    in ``lj`` units): the start rule is then not used, and the value carries no
    widening for the start choice. Unset, the range starts where the slope has
    stopped changing and ends at the last row. ``margin`` unset trims 0.1 of
    the points for the window search and nothing for a GLS fit; set, it trims
    that fraction of the rows at each end for both: a GLS range then starts
    no earlier and ends no later.
    """

    margin: float | None = None
    min_window: int = 10
    max_window: int = 60
    max_error: float = 0.15
    min_displacement: float = 0.0
    method: str = "gls"
    start: float | None = None
    end: float | None = None

    @property
    def search_margin(self) -> float:
        """The fraction of points the window search trims at each end."""
        return SEARCH_MARGIN if self.margin is None else self.margin

    def fit(self, time: Any, msd: Any) -> tuple[float, list[float], list[float]]:
        """Slope, window times and fitted values of ``msd`` against ``time`` (file units)."""
        return log_log_window_fit(
            time, msd, self.search_margin, self.min_window, self.max_window, self.max_error, self.min_displacement
        )

    @classmethod
    def from_mapping(cls, settings: Mapping[str, Any], base: Window | None = None) -> Window:
        """A Window from ``base`` (default: the defaults) with ``settings`` applied.

        Raises ValueError for an unknown setting, a value of the wrong type, a
        range whose end is not after its start, or a ``margin`` for a GLS fit.
        """
        known = {f.name: f.type for f in fields(cls)}
        changes: dict[str, Any] = {}
        for key, value in settings.items():
            if key not in known:
                raise ValueError(f"unknown window setting {key!r} (known: {', '.join(known)})")
            if key == "method":
                if value not in METHODS:
                    raise ValueError(f"window setting 'method' must be one of {', '.join(METHODS)}, not {value!r}")
                changes[key] = value
                continue
            integral = key in ("min_window", "max_window")
            if (
                isinstance(value, bool)
                or not isinstance(value, (int, float))
                or (integral and not isinstance(value, int))
            ):
                kind = "a whole number" if integral else "a number"
                raise ValueError(f"window setting {key!r} must be {kind}, not {value!r}")
            if integral and value < 0:
                raise ValueError(f"window setting {key!r} must not be negative, not {value!r}")
            if key in ("start", "end") and not value > 0:
                raise ValueError(f"window setting {key!r} must be a positive time, not {value!r}")
            changes[key] = value if integral else float(value)
        window = replace(base or cls(), **changes)
        if window.start is not None and window.end is not None and not window.end > window.start:
            raise ValueError(f"window setting 'end' ({window.end!r}) must be after 'start' ({window.start!r})")
        return window


WindowSpec = Window | Mapping[str, Window] | None
"""A Window for every curve, a mapping from fit group (or "default") to Window, or None for the defaults."""


def windows_for(spec: WindowSpec) -> dict[str, Window]:
    """The Window of every fit group under ``spec``."""
    groups = fit_groups()
    if spec is None:
        return {group: Window() for group in groups}
    if isinstance(spec, Window):
        return {group: spec for group in groups}
    unknown = set(spec) - set(groups) - {"default"}
    if unknown:
        raise ValueError(f"unknown fit group(s) {sorted(unknown)} (known: default, {', '.join(groups)})")
    default = spec.get("default", Window())
    return {group: spec.get(group, default) for group in groups}
