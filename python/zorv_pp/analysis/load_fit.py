"""A run folder read and fitted in one step: the one way every interface turns a folder into a fitted run."""

from __future__ import annotations

import dataclasses
import os
from collections.abc import Mapping
from typing import Unpack

from ..msdfit.window import WindowSpec
from ..run import LoadOptions, load_run
from .run_fit import RunAnalysis, fit_run


def load_and_fit(
    path: str | os.PathLike[str],
    window: WindowSpec = None,
    charges: Mapping[str, float] | None = None,
    *,
    curves: bool = True,
    fallback_temperature: float | None = None,
    **options: Unpack[LoadOptions],
) -> RunAnalysis:
    """Read the run folder ``path`` (:func:`zorv_pp.run.load_run` with ``options``) and fit it
    (:func:`fit_run`); ``fallback_temperature`` (K) stands in when the run tells no temperature."""
    run = load_run(path, **options)
    if run.temperature is None and fallback_temperature is not None:
        run = dataclasses.replace(run, temperature=fallback_temperature)
    return fit_run(run, window, charges, curves=curves)
