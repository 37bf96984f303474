"""Order-n tables computed after a run from what any MD engine writes.

:class:`PositionOrderN` takes unwrapped molecule positions frame by frame,
:class:`FluxOrderN` a pressure-tensor or heat-flux series; both keep only the
last nbe samples of each block. :mod:`.write` turns their sums into
diffself.dat, diffonsag.dat, viscosity.dat and tconductivity.dat, which
``zorv_pp.Run.load`` reads like the tables of an on-the-fly computation.
"""

from .accumulate import FluxOrderN, OrderNSums, PositionOrderN
from .series import Series, read_series
from .write import write_conductivity_table, write_diffusion_tables, write_viscosity_table

__all__ = [
    "FluxOrderN",
    "OrderNSums",
    "PositionOrderN",
    "Series",
    "read_series",
    "write_conductivity_table",
    "write_diffusion_tables",
    "write_viscosity_table",
]
