"""The error of inputs that cannot be turned into order-n tables."""

from __future__ import annotations

from ..errors import ZorvError


class SourceError(ZorvError, ValueError):
    """A trajectory, topology or series that cannot be used, with what to give instead."""


MDANALYSIS_MISSING = (
    "reading trajectories needs MDAnalysis, which is not installed: install it with "
    "'apt-get install python3-mdanalysis' (Debian) and try again"
)
