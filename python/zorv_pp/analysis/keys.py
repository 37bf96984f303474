"""How a value is named in results: a property and its species."""

from __future__ import annotations

Species = str | tuple[str, str] | None
"""No species, one species name, or a pair sorted by name (pairs are unordered)."""
Key = tuple[str, Species]


def pair_key(first: str, second: str) -> tuple[str, str]:
    """The order-insensitive key of a species pair."""
    return (first, second) if first <= second else (second, first)
