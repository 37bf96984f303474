"""Numbers rounded to their error: the error to two significant digits, the value and its interval to
the same decimal place, trailing zeros kept (``2.867 ± 0.017``, interval ``2.834 to 2.900``)."""

from __future__ import annotations

import math

from .units import notation

#: Significant digits kept of an error.
ERROR_DIGITS = 2
#: Significant digits of a value that has no finite error.
BARE_DIGITS = 4
#: An error below this fraction of its value is floating-point noise, not a measured error.
NEGLIGIBLE = 1e-9


def place(error: float, digits: int = ERROR_DIGITS) -> int | None:
    """Power of ten of the last digit kept for ``error`` (−3 keeps thousandths); None without a usable error."""
    if not (math.isfinite(error) and error > 0.0):
        return None
    last = math.floor(math.log10(error)) - (digits - 1)
    # An error that rounds up to the next decade (0.0996 → 0.100) keeps two digits there (0.10).
    if round(error / 10.0**last) >= 10**digits:
        last += 1
    return last


def fixed(value: float, last: int | None) -> str:
    """``value`` in fixed notation rounded to the digit 10**``last``; four significant digits when None."""
    if not math.isfinite(value):
        return "–"
    if last is None:
        return f"{value:.{BARE_DIGITS}g}"
    if last >= 0:
        return f"{round(value / 10.0**last) * 10**last:d}"
    return f"{value:.{-last}f}"


def scientific(value: float, last: int | None) -> str:
    """``value`` as d.ddd e±xx with its mantissa cut at the digit 10**``last``; four digits when None."""
    if not math.isfinite(value):
        return "nan" if math.isnan(value) else ("inf" if value > 0 else "-inf")
    if last is None or value == 0.0:
        return f"{value:.{BARE_DIGITS - 1}e}" if last is None else f"{0.0:.{max(0, -last)}f}"
    exponent = math.floor(math.log10(abs(value)))
    rounded = round(value / 10.0**last) * 10.0**last
    if rounded != 0.0:
        exponent = math.floor(math.log10(abs(rounded)))
    return f"{rounded:.{max(0, exponent - last)}e}"


def with_error(
    value: float, error: float, low: float = math.nan, high: float = math.nan, notation: str = "fixed"
) -> tuple[str, str, str]:
    """(value, error, interval) texts, each rounded to the error's two significant digits.

    ``notation`` is "fixed" (display values already scaled near 1) or
    "scientific" (SI values in a file). The interval is "low to high", "–"
    when either bound is not finite.
    """
    text = fixed if notation == "fixed" else scientific
    if math.isfinite(error) and 0.0 <= error <= NEGLIGIBLE * abs(value):
        # Identical replicas leave only rounding noise: the value's own digits, an error of zero.
        return (
            text(value, None),
            "0",
            (f"{text(low, None)} to {text(high, None)}" if math.isfinite(low) and math.isfinite(high) else "–"),
        )
    last = place(error)
    error_text = text(error, last) if last is not None else "–"
    interval = f"{text(low, last)} to {text(high, last)}" if math.isfinite(low) and math.isfinite(high) else "–"
    return text(value, last), error_text, interval


def shown(mean: float, sem: float, low: float, high: float, unit: str) -> tuple[str, str, str, str]:
    """(value, standard error, 95 % interval, unit) texts of an estimate in its display unit (mPa·s, 10⁻⁹ m²/s),
    each number rounded to the error; the unit is "" for a dimensionless value and the error "–" without one."""
    label, factor = notation(unit, [mean])
    value, error, interval = with_error(mean * factor, sem * factor, low * factor, high * factor)
    return value, error, interval, "" if label == "dimensionless" else label
