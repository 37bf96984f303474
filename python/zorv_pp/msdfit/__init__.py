"""Single-run error bars of order-n MSD tables.

An order-n table's rows are averages over known time origins, so the
covariance of its rows is fixed by the sampling (:mod:`.covariance`). A
generalized least-squares line over the diffusive range (:mod:`.fit`) then
gives each curve's slope with its own standard error; replicas combine by
inverse-variance weighting with a Birge-ratio widening (:mod:`.combine`).
"""

from __future__ import annotations

from .combine import combine_runs, z
from .covariance import unit_covariance
from .fit import MsdFit, StartRule, fit_msd
from .window_spread import window_sensitivity, window_slopes

__all__ = [
    "MsdFit",
    "StartRule",
    "combine_runs",
    "fit_msd",
    "unit_covariance",
    "window_sensitivity",
    "window_slopes",
    "z",
]
