"""Run folders: the tables, log, counts and state of one MD run, read soundly.

A table's damage that can be read around (a row cut mid-number, skipped
lines, a table shorter than its sampling) becomes a :class:`RunWarning` of the
run; what cannot be read around raises :class:`zorv_pp.RunError`.
"""

from ..diagnostics import RunWarning
from .folder import Run
from .logfile import LogInfo, parse_log, read_units_line
from .species import FINITE_RDF_PREFIX, RDF_PREFIX, SELF_PREFIX, GroupChoice, split_pair
from .tables import TABLE_FILES, Table

__all__ = [
    "FINITE_RDF_PREFIX",
    "GroupChoice",
    "LogInfo",
    "RDF_PREFIX",
    "Run",
    "RunWarning",
    "SELF_PREFIX",
    "TABLE_FILES",
    "Table",
    "parse_log",
    "read_units_line",
    "split_pair",
]
