"""Order-n tables computed after a run from what any MD engine writes.

:class:`PositionOrderN` takes unwrapped molecule positions frame by frame,
:class:`FluxOrderN` a pressure-tensor or heat-flux series; both keep only the
last nbe samples of each block. :mod:`.write` turns their sums into
diffself.dat, diffonsag.dat, viscosity.dat and tconductivity.dat, which
``zorv_pp.Run.load`` reads like the tables of an on-the-fly computation.
:func:`ordern` writes a whole run folder from a trajectory (read through
MDAnalysis, :mod:`.trajectory`) and pressure and heat-flux series.
"""

from .accumulate import FluxOrderN, OrderNSums, PositionOrderN
from .build import OrderNFolder, ordern
from .errors import SourceError
from .series import Series, read_series
from .write import write_conductivity_table, write_diffusion_tables, write_viscosity_table

__all__ = [
    "FluxOrderN",
    "OrderNFolder",
    "OrderNSums",
    "PositionOrderN",
    "Series",
    "SourceError",
    "ordern",
    "read_series",
    "write_conductivity_table",
    "write_diffusion_tables",
    "write_viscosity_table",
]
