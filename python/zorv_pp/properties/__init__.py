"""Every property the package reports, each declared once: what it is, where it comes from, how it is shown.

The fits, the combination of replicas, the derived values, the results files,
the figures and the report page all read this registry; none of them lists
property names of its own. A new property fitted from one column of a table
is one :class:`Property` given to :func:`register`; a property of another
kind (a combination of curves, a value derived after the fits) needs its
formula too, in :mod:`zorv_pp.analysis`.
"""

from __future__ import annotations

from collections.abc import Iterator
from contextlib import contextmanager

from .built_in import BUILT_IN
from .declaration import KINDS, Conditions, Property

__all__ = [
    "KINDS",
    "PROPERTIES",
    "Conditions",
    "Property",
    "every",
    "fit_groups",
    "get",
    "names",
    "of_kind",
    "order",
    "register",
    "registered",
    "unregister",
]

_REGISTRY: dict[str, Property] = {p.name: p for p in BUILT_IN}

#: The names of the built-in properties, in report order.
PROPERTIES = tuple(_REGISTRY)


def register(prop: Property) -> None:
    """Add ``prop`` after the registered properties; ValueError if its name is taken."""
    if prop.name in _REGISTRY:
        raise ValueError(f"a property named {prop.name!r} is already registered")
    _REGISTRY[prop.name] = prop


def unregister(name: str) -> None:
    """Remove a property added with :func:`register`; the built-in ones stay."""
    if name in PROPERTIES:
        raise ValueError(f"{name!r} is a built-in property")
    del _REGISTRY[name]


@contextmanager
def registered(prop: Property) -> Iterator[Property]:
    """``prop`` registered for the duration of a ``with`` block."""
    register(prop)
    try:
        yield prop
    finally:
        unregister(prop.name)


def get(name: str) -> Property:
    """The property named ``name``; ValueError naming the known ones otherwise."""
    try:
        return _REGISTRY[name]
    except KeyError:
        raise ValueError(f"unknown property {name!r} (known: {', '.join(_REGISTRY)})") from None


def every() -> tuple[Property, ...]:
    """Every registered property, in report order."""
    return tuple(_REGISTRY.values())


def names() -> tuple[str, ...]:
    """The names of every registered property, in report order."""
    return tuple(_REGISTRY)


def order(name: str) -> int:
    """The place of ``name`` in report order (unknown names last)."""
    try:
        return list(_REGISTRY).index(name)
    except ValueError:
        return len(_REGISTRY)


def of_kind(*kinds: str) -> tuple[Property, ...]:
    """The registered properties of the given kinds, in report order."""
    return tuple(p for p in _REGISTRY.values() if p.kind in kinds)


def fit_groups() -> tuple[str, ...]:
    """The groups of fit settings, in the order their properties are registered."""
    return tuple(dict.fromkeys(p.group for p in _REGISTRY.values() if p.group is not None))
