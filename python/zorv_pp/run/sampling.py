"""How an order-n transport computation sampled its MSD tables.

The computation samples a quantity every ``interval`` and keeps ``blocks``
blocks of ``nbe`` elements: block b looks at every nbe**b-th sample and
accumulates the lags k·interval·nbe**b, k = 1..nbe, over every time origin of
the production run of length ``run_length``. A lag τ of block b is therefore
averaged over floor(run_length / (interval·nbe**b)) − k + 1 origins. These
settings fix the covariance of a table's rows, and so the error of a fit.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

#: The tables an order-n computation samples: each has a sampling of its own.
SAMPLED_TABLES = ("diffself", "diffonsag", "viscosity", "tconductivity")


@dataclass(frozen=True)
class Sampling:
    """Order-n sampling of one table, times in the table's own time unit.

    ``interval`` is the sampling interval Δ0 (for viscosity and thermal
    conductivity twice the fix's NEVERY, times the timestep), ``nbe`` the
    elements per block, ``blocks`` the number of blocks (None: unknown, no
    limit), ``run_length`` the length T of the production run. ``assumed`` is
    True when any of them was inferred from the table rather than read from
    the log or given.
    """

    interval: float
    nbe: int
    run_length: float
    blocks: int | None = None
    assumed: bool = False

    def origins(self, block: int, element: int) -> int:
        """Time origins averaged for lag ``element``·interval·nbe**``block`` (element 1..nbe)."""
        samples = self.run_length / (self.interval * self.nbe**block)
        # Times come from decimal settings (0.001 x 10): a quotient a rounding below a whole number is that number.
        return int(math.floor(samples * (1.0 + 1e-9))) - element + 1
