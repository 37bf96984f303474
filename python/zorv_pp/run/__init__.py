"""Run folders: the tables, log, counts and state of one MD run, read soundly, whatever wrote them.

:func:`load_run` reads a folder through the source that recognises it
(:mod:`zorv_pp.run.sources`): LAMMPS with its order-n fixes, or an order-n
sampling after the run. A table's damage that can be read around (a row cut
mid-number, skipped lines, a table shorter than its sampling) becomes a
:class:`RunWarning` of the run; what cannot be read around raises
:class:`zorv_pp.RunError`.
"""

from ..diagnostics import RunWarning
from .folder import Run, load_run
from .lammps.density import DENSITY_UNITS, density_unit_name
from .lammps.logfile import LogInfo, parse_log, read_units_line
from .lammps.masses import type_masses
from .options import LoadOptions
from .species import FINITE_RDF_PREFIX, RDF_PREFIX, SELF_PREFIX, GroupChoice, split_pair
from .tables import TABLE_FILES, Table

__all__ = [
    "DENSITY_UNITS",
    "FINITE_RDF_PREFIX",
    "GroupChoice",
    "LoadOptions",
    "LogInfo",
    "RDF_PREFIX",
    "Run",
    "RunWarning",
    "SELF_PREFIX",
    "TABLE_FILES",
    "Table",
    "density_unit_name",
    "load_run",
    "parse_log",
    "read_units_line",
    "split_pair",
    "type_masses",
]
