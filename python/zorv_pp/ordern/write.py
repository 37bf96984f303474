"""The order-n tables of accumulated sums, in the layouts and normalisations of the on-the-fly tables.

- diffself.dat ``MSD__i``: Σ over the N_i molecules of |Δr|² / 6, averaged over origins.
- diffonsag.dat ``MSD__i_j``: ΔR_i·ΔR_j / 6 of the species' summed displacements.
- viscosity.dat: V / (2 k_B) × the mean squared increment of each integrated
  channel, so every column has slope η·T in the unit style's pressure·time;
  diagonal (traceless) columns × 3/4, ``MSD_off`` the off-diagonal mean,
  ``MSD_all`` (Σ diagonal + 2 Σ off-diagonal) / 10, ``MSD_bulkvisc`` the pressure's.
- tconductivity.dat: 1 / (2 V k_B) × the same of the integrated heat flux
  given as energy × velocity (flux times volume), slope κ·T².
"""

from __future__ import annotations

import os
from collections.abc import Sequence
from pathlib import Path

import numpy as np

from ..units import REAL, UnitStyle
from .accumulate import FloatArray, FluxOrderN, PositionOrderN


def _write_table(path: Path, notes: Sequence[str], names: Sequence[str], time: FloatArray, columns: FloatArray) -> None:
    lines = [
        "Order-n tables accumulated after the run",
        *(f"#NOTE: {note}" for note in notes),
        "#Time\t" + "\t".join(names) + "\t",
    ]
    # Shortest round-trip text: the values read back are those accumulated.
    lines += [" " + " ".join(repr(float(v)) for v in row) for row in zip(time, *columns)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def write_diffusion_tables(folder: str | os.PathLike[str], positions: PositionOrderN) -> None:
    """diffself.dat and diffonsag.dat of ``positions`` in ``folder`` (created if needed)."""
    out = Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    sums = positions.sums()
    names = positions.species
    origins = sums.origins.astype(np.float64)
    _write_table(
        out / "diffself.dat",
        [
            "MSDs should be divided by the number of molecules of species i (N_i).",
            "MSDs have been divided by the factor 6.",
        ],
        [f"MSD__{n}" for n in names],
        sums.time,
        (sums.squares / 6.0 / origins[:, None]).T,
    )
    pairs = [f"MSD__{a}_{b}" for i, a in enumerate(names) for b in names[i:]]
    total = sum(positions.counts.values())
    _write_table(
        out / "diffonsag.dat",
        [f"MSDs should be divided by the total number of molecules (N = {total})."],
        pairs,
        sums.time,
        (sums.products / 6.0 / origins[:, None]).T,
    )


def write_viscosity_table(
    folder: str | os.PathLike[str], pressure: FluxOrderN, volume: float, style: UnitStyle = REAL
) -> None:
    """viscosity.dat of a :meth:`FluxOrderN.pressure` accumulator, ``volume`` in the style's volume unit."""
    if pressure.channels != 7:
        raise ValueError("viscosity.dat needs a pressure-tensor accumulator")
    sums = pressure.sums()
    scale = volume * style.volume * style.pressure / (2.0 * style.boltzmann)
    c = (scale * sums.squares / sums.origins[:, None]).T
    # A traceless diagonal component fluctuates 4/3 as much as an off-diagonal one.
    columns = [0.75 * c[0], 0.75 * c[1], 0.75 * c[2], c[3], c[4], c[5]]
    off = c[3:6].mean(axis=0)
    everything = (c[:3].sum(axis=0) + 2.0 * c[3:6].sum(axis=0)) / 10.0
    Path(folder).mkdir(parents=True, exist_ok=True)
    _write_table(
        Path(folder) / "viscosity.dat",
        ["MSDs should be divided by the temperature."],
        [f"MSD_{n}" for n in ("xx", "yy", "zz", "xy", "xz", "yz", "off", "all", "bulkvisc")],
        sums.time,
        np.stack([*columns, off, everything, c[6]]),
    )


def write_conductivity_table(
    folder: str | os.PathLike[str], heat: FluxOrderN, volume: float, style: UnitStyle = REAL
) -> None:
    """tconductivity.dat of a :meth:`FluxOrderN.heat` accumulator, ``volume`` in the style's volume unit."""
    if heat.channels != 3:
        raise ValueError("tconductivity.dat needs a three-component heat-flux accumulator")
    sums = heat.sums()
    scale = style.energy * style.length**3 / (2.0 * volume * style.volume * style.boltzmann)
    c = (scale * sums.squares / sums.origins[:, None]).T
    Path(folder).mkdir(parents=True, exist_ok=True)
    _write_table(
        Path(folder) / "tconductivity.dat",
        ["MSDs should be divided by (temperature^2)."],
        ["MSD_x", "MSD_y", "MSD_z", "MSD_all"],
        sums.time,
        np.stack([c[0], c[1], c[2], c.mean(axis=0)]),
    )
