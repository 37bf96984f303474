"""Known-answer MD runs sampled exactly as the order-n transport computation samples them.

Walkers with an Ornstein–Uhlenbeck velocity (optionally with a slow second
relaxation) are drawn at the sampling interval and reduced to the rows the
order-n computation writes. :func:`simulate_table` gives one MSD column fast,
without files; :func:`write_ordern_run` writes a complete run folder.
"""
from .folder import write_ordern_run
from .inputs import OrderNRunSpec
from .table import WALKERS, OrderNGrid, expected_table, ordern_grid, ordern_products, simulate_table
from .walkers import expected_msd, ou_positions, walker_positions

__all__ = [
    "WALKERS", "OrderNGrid", "OrderNRunSpec", "expected_msd", "expected_table", "ordern_grid", "ordern_products",
    "ou_positions", "simulate_table", "walker_positions", "write_ordern_run",
]
