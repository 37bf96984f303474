"""Run folders of an order-n sampling after the run: what their ``ordern.log`` tells beyond the tables.

Such a folder holds the tables an order-n computation writes, computed from
another engine's trajectory, ``temperature.dat`` and ``volume.dat``, and the
log (:mod:`zorv_pp.run.ordern.logfile`) that states the unit style of the
tables, the molecule counts and the sampling of every MSD table.
"""

from __future__ import annotations

from pathlib import Path

from ...diagnostics import RunWarning
from ...errors import RunError
from ...units import UnitStyle
from ..options import LoadOptions
from ..sampling import Sampling
from ..source import Source, SourceReading
from ..species import quoted
from .logfile import LOG_NAME, OrdernLog, read_ordern_log


class OrdernReading(SourceReading):
    """A folder sampled after the run, read through its ``ordern.log``."""

    def __init__(self, folder: Path, options: LoadOptions) -> None:
        super().__init__(folder, options)
        self.log: OrdernLog = read_ordern_log(folder)

    def unit_style(self) -> tuple[str, str | None]:
        if self.log.units is None:
            raise RunError(self.folder, LOG_NAME, "the log has no units line; give units=")
        return self.log.units, LOG_NAME

    def count(self, species: list[str]) -> dict[str, int]:
        missing = [name for name in species if name not in self.log.species]
        if missing:
            raise RunError(
                self.folder, LOG_NAME, f"the species line counts no {quoted(missing)}: give counts=", missing
            )
        return {name: self.log.species[name] for name in species}

    def temperature(self) -> float | None:
        return self.log.temperature

    def volume(self, style: UnitStyle) -> float | None:
        return self.log.volume

    def samplings(
        self, kinds: list[str], style: UnitStyle, run_length: float | None, warnings: list[RunWarning]
    ) -> dict[str, Sampling]:
        found = {kind: self.log.sampling[kind] for kind in kinds if kind in self.log.sampling}
        if run_length is not None:
            found = {kind: Sampling(s.interval, s.nbe, run_length, s.blocks) for kind, s in found.items()}
        return found


#: A folder with an ``ordern.log`` was sampled after its run.
ORDERN = Source("ordern", lambda folder: (folder / LOG_NAME).is_file(), OrdernReading)
