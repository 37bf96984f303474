"""Known-answer MD runs sampled exactly as the order-n transport computation samples them.

Walkers with an Ornstein–Uhlenbeck velocity (optionally with a slow second
relaxation), or of any :class:`Shape` (bends from below, from above, both, or a
power-law approach), are drawn at the sampling interval and reduced to the rows the
order-n computation writes. :func:`simulate_table` gives one MSD column fast,
without files; :func:`write_ordern_run` writes a complete run folder.
"""

from .folder import write_ordern_run
from .inputs import OrderNRunSpec
from .shapes import Shape, power_law_from_above, power_law_from_below
from .table import WALKERS, OrderNGrid, expected_table, ordern_grid, ordern_products, simulate_table
from .walkers import expected_msd, ou_positions, walker_positions

__all__ = [
    "WALKERS",
    "OrderNGrid",
    "OrderNRunSpec",
    "Shape",
    "expected_msd",
    "expected_table",
    "ordern_grid",
    "ordern_products",
    "ou_positions",
    "power_law_from_above",
    "power_law_from_below",
    "simulate_table",
    "walker_positions",
    "write_ordern_run",
]
