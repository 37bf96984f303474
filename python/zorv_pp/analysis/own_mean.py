"""Whether a run's bulk pressure was integrated less the run's own mean.

Subtracting the run's own mean pins the pressure's integral to 0 at both ends
of the run, so the bulk moment bends down as 2·D·s·(1 − s/T) (a Brownian
bridge) and must be fitted by that shape. A sampling after the run states its
mean in its ``ordern.log`` (``mean pressure: VALUE (the run's own mean)``
when it took the run's own). Tables written by the engine during the run say
nothing; on both real runs read so far their bulk moment at 0.96·T holds 0.00
and 0.03 of the straight line's value, where an integral of the pressure less
a mean known beforehand gives a χ²₁ draw of the line's value (below 0.03 with
probability 0.14 each) and the bridge gives nearly 0: such tables count as
taken less their own mean.
"""

from __future__ import annotations

from pathlib import Path

LOG_NAME = "ordern.log"
OWN_MEAN = "(the run's own mean)"


def own_mean_subtracted(folder: str | Path | None) -> bool:
    """Whether the bulk column of the run in ``folder`` is the integral of its pressure less its own mean."""
    if folder is None:
        return False
    try:
        text = (Path(folder) / LOG_NAME).read_text(encoding="utf-8", errors="replace")
    except FileNotFoundError:
        return Path(folder).is_dir()
    except OSError:
        return False
    for line in text.splitlines():
        key, colon, value = line.partition(":")
        if colon and " ".join(key.split()) == "mean pressure":
            return value.strip().endswith(OWN_MEAN)
    return False
