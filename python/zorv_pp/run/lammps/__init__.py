"""Run folders LAMMPS wrote with its order-n fixes: what their log tells beyond the tables.

The log (``log.lammps``, else the first ``log*.lammps`` or ``*.log``) names
the unit style, counts the molecules by its groups, gives each MSD table's
sampling by its ``fix ... ordern`` lines and the state by its thermo output.
A folder without a log is read too, when the caller states what it would
tell.
"""

from __future__ import annotations

from pathlib import Path

from ...diagnostics import RunWarning
from ...errors import RunError
from ...units import UnitStyle
from ..options import LoadOptions
from ..sampling import Sampling
from ..source import Source, SourceReading
from ..tables import first_file
from .density import check_density, density_unit_name, read_density
from .groups import count_groups
from .logfile import STYLE_TABLES, LogInfo, parse_log
from .masses import system_mass

LOG_FILES = ("log.lammps",)
LOG_PATTERNS = ("log*.lammps", "*.log")


class LammpsReading(SourceReading):
    """A LAMMPS run folder, read through its log when it has one."""

    def __init__(self, folder: Path, options: LoadOptions) -> None:
        super().__init__(folder, options)
        self.log_file = first_file(folder, LOG_FILES, LOG_PATTERNS)
        self.log: LogInfo | None = None
        if self.log_file is not None:
            try:
                self.log = parse_log(self.log_file)
            except OSError as error:
                raise RunError(folder, self.log_file.name, str(error)) from None

    def unit_style(self) -> tuple[str, str | None]:
        if self.log is None:
            raise RunError(self.folder, None, "no unit style: give units= or add the LAMMPS log")
        if self.log.units is None:
            raise RunError(self.folder, self.log.name, "the log has no units line; give units=")
        return self.log.units, self.log.name

    def count(self, species: list[str]) -> dict[str, int]:
        counted = self.options.get("counts") is not None
        return count_groups(self.folder, species, self.options.get("groups") or {}, self.log_file, counted)

    def temperature(self) -> float | None:
        return None if self.log is None else self.log.thermo_mean("Temp")

    def volume(self, style: UnitStyle) -> float | None:
        return None if self.log is None else self.log.box_volume()

    def density(
        self, style: UnitStyle, counts: dict[str, int], volume: float | None, warnings: list[RunWarning]
    ) -> float | None:
        given = self.options.get("density_unit")
        unit = None
        if given is not None:
            unit = density_unit_name(given)
            if unit is None:
                raise RunError(self.folder, None, f"the density unit must be 'kg/m3' or 'g/cm3', not {given!r}")
        expression = self.log.density_expression if self.log else None
        density = read_density(self.folder, style, unit, expression, warnings)
        if density is not None and volume is not None:
            masses = self.options.get("molar_masses")
            check_density(density, volume, counts, masses, style, warnings, system_mass(self.folder, self.log))
        return density

    def samplings(
        self, kinds: list[str], style: UnitStyle, run_length: float | None, warnings: list[RunWarning]
    ) -> dict[str, Sampling]:
        found: dict[str, Sampling] = {}
        if self.log is None:
            return found
        for log_style, (written, _) in STYLE_TABLES.items():
            if not any(kind in kinds for kind in written):
                continue
            sampling, problem = self.log.sampling(log_style, style.default_timestep, run_length)
            if problem is not None:
                warnings.append(RunWarning(problem[0], self.log.name, problem[1]))
            for kind in written:
                if sampling is not None and kind in kinds:
                    found[kind] = sampling
        return found


#: Any folder is read as LAMMPS wrote it when no other source claims it.
LAMMPS = Source("lammps", lambda folder: True, LammpsReading)
