"""Synthetic MD run folders whose transport properties are known exactly.

- :mod:`.runs`: `write_run` writes the nine files of one run from a `RunSpec`
  of physical inputs in SI units (smooth curves with a ballistic start and
  noise that grows with lag time) and returns the answers.
- :mod:`.campaign`: `write_campaign` writes states with replicas and the
  campaign file that names them.
- :mod:`.ordern`: walkers sampled exactly as the order-n computation samples
  them, so that the spread of its tables is the true one: `simulate_table`
  gives one MSD column without files, `write_ordern_run` a whole run folder.
"""

from .campaign import CampaignState, Species, write_campaign
from .ordern import OrderNRunSpec, simulate_table, write_ordern_run
from .runs import RunSpec, order_n_times, quasi_log_times, write_run

__all__ = [
    "CampaignState",
    "OrderNRunSpec",
    "RunSpec",
    "Species",
    "order_n_times",
    "quasi_log_times",
    "simulate_table",
    "write_campaign",
    "write_ordern_run",
    "write_run",
]
