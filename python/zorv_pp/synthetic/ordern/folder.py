"""A complete run folder in `real` units from walkers sampled the order-n way.

The tables have the layouts and normalisations the analysis reads:

- diffself.dat ``MSD__i``: Σ over the N_i molecules of |Δr|²/6, slope N_i·D_i;
  3·N_i one-dimensional walkers, independent unless ``spec.shared`` gives
  them a common collective part per dimension.
- diffonsag.dat ``MSD__i_j``: ΔR_i·ΔR_j / 6 of the species' collective
  displacements, slope N·Λ_ij (N all molecules); per dimension the
  displacements are correlated walkers whose diffusion matrix is N·Λ.
- viscosity.dat: the integrated traceless stress is a 5-component walker,
  ``MSD_xx``..``MSD_yz`` its components (diagonal ones scaled by 3/4 so every
  column has slope η·T), ``MSD_off`` the mean of the three off-diagonal
  ones, ``MSD_all`` the mean over the 5 independent components and
  ``MSD_bulkvisc`` the integrated pressure, of slope η_bulk·T.
- tconductivity.dat ``MSD_x``, ``MSD_y``, ``MSD_z`` and their mean
  ``MSD_all``, slope κ·T².

Times are in fs, lengths in Å, pressures in atm, energies in kcal/mol.
"""

from __future__ import annotations

import math
import os
from collections.abc import Sequence
from pathlib import Path

import numpy as np

from ...units import BOLTZMANN, ELEMENTARY_CHARGE, REAL
from .inputs import OrderNRunSpec, species_pairs
from .shapes import bounded_positions
from .table import DIMENSIONS, OrderNGrid, add_common, ordern_grid, ordern_products
from .walkers import FloatArray, walker_positions

Answers = dict[str, object]


def _write_table(
    path: Path, notes: Sequence[str], names: Sequence[str], time: FloatArray, columns: Sequence[FloatArray]
) -> None:
    lines = [
        "Simulated order-n run (known answers)",
        *(f"#NOTE: {note}" for note in notes),
        "#Time\t" + "\t".join(names) + "\t",
    ]
    # Shortest round-trip text: the values read back are those simulated.
    lines += [" " + " ".join(repr(float(v)) for v in row) for row in zip(time, *columns)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _draw(
    spec: OrderNRunSpec,
    rng: np.random.Generator,
    grid: OrderNGrid,
    interval: float,
    count: int,
    diffusion: float,
    tau: float,
) -> FloatArray:
    x = walker_positions(rng, count, grid.samples, interval, diffusion, tau, spec.slow_share, spec.slow_factor)
    if spec.rattle_share > 0.0:
        # A cage of variance A relaxing in τ_r adds A/τ_r to the local slope at the shortest lags.
        cage = tau * spec.rattle_factor
        x += bounded_positions(rng, count, grid.samples, interval, spec.rattle_share * diffusion * cage, cage)
    return x


def _self_columns(
    spec: OrderNRunSpec, rng: np.random.Generator, grid: OrderNGrid, interval: float, tau: float
) -> list[FloatArray]:
    columns: list[FloatArray] = []
    per_draw = max(1, 1_000_000 // (grid.samples + 1))
    for name in spec.species:
        molecules, walkers = spec.counts[name], 3 * spec.counts[name]
        diffusion = spec.self_diffusion[name] / REAL.diffusion
        share = spec.shares[name]
        common = _draw(spec, rng, grid, interval, DIMENSIONS, diffusion * share, tau) if share else None
        own = diffusion * (1.0 - share)
        total = np.zeros(grid.time.size)
        for start in range(0, walkers, per_draw):
            x = _draw(spec, rng, grid, interval, min(per_draw, walkers - start), own, tau)
            if common is not None:
                add_common(x, start, common)
            total += ordern_products(grid, x)
        columns.append(self_column(grid, total, molecules))
    return columns


def self_column(grid: OrderNGrid, total: FloatArray, molecules: int) -> FloatArray:
    """``MSD__i`` from Σ over the 3·N_i walkers and origins of Δx²: N_i × their mean Δx²/2 is Σ |Δr|² / 6."""
    return total * molecules / (2.0 * (DIMENSIONS * molecules)) / grid.origins


def _onsager_columns(
    spec: OrderNRunSpec, rng: np.random.Generator, grid: OrderNGrid, interval: float, tau: float
) -> list[FloatArray]:
    names = spec.species
    total = sum(spec.counts.values())
    matrix = total * spec.onsager_matrix() / REAL.diffusion
    values, vectors = np.linalg.eigh(matrix)
    root = vectors * np.sqrt(np.clip(values, 0.0, None))
    unit = _draw(spec, rng, grid, interval, 3 * len(names), 1.0, tau).reshape(len(names), 3, -1)
    return onsager_columns(grid, names, np.einsum("ij,jdt->idt", root, unit))


def onsager_columns(grid: OrderNGrid, names: list[str], collective: FloatArray) -> list[FloatArray]:
    """``MSD__i_j`` from the species' collective displacements, shape (species, 3, samples + 1)."""
    own = ordern_products(grid, collective)
    columns: list[FloatArray] = []
    for a, b in species_pairs(names):
        i, j = names.index(a), names.index(b)
        # Σ ΔR_i·ΔR_j from the squares: (|Δ(R_i + R_j)|² − |ΔR_i|² − |ΔR_j|²) / 2.
        sums = own[i] if i == j else (ordern_products(grid, collective[i] + collective[j]) - own[i] - own[j]) / 2.0
        columns.append(sums / 6.0 / grid.origins)
    return columns


def _viscosity_columns(
    spec: OrderNRunSpec, rng: np.random.Generator, grid: OrderNGrid, interval: float
) -> list[FloatArray]:
    shear = spec.shear_viscosity * spec.temperature / REAL.viscosity
    bulk = spec.bulk_viscosity * spec.temperature / REAL.viscosity
    w = _draw(spec, rng, grid, interval, 5, shear, spec.tau_flux / REAL.time)
    # The traceless symmetric tensor in an orthonormal basis: w[0..2] off-diagonal, w[3], w[4] diagonal.
    r2, r6 = math.sqrt(2.0), math.sqrt(6.0)
    components = np.stack(
        [w[3] / r2 + w[4] / r6, -w[3] / r2 + w[4] / r6, -2.0 * w[4] / r6, w[0] / r2, w[1] / r2, w[2] / r2]
    )
    pressure = _draw(spec, rng, grid, interval, 1, bulk, spec.tau_flux / REAL.time)[0]
    # Less the run's own mean, as the engine takes it: the integral returns to where it began.
    pressure = pressure - (pressure[-1] - pressure[0]) * np.linspace(0.0, 1.0, pressure.size)
    return viscosity_columns(grid, components, pressure / math.sqrt(2.0))


def viscosity_columns(grid: OrderNGrid, components: FloatArray, pressure: FloatArray) -> list[FloatArray]:
    """viscosity.dat's columns from the integrated traceless stress (xx, yy, zz, xy, xz, yz; shape (6, samples + 1))
    and the integrated pressure, each already scaled by √(V / (2 k_B)): the columns are Σ Δ² / M."""
    squares = ordern_products(grid, components[:, None, :]) / grid.origins
    # A diagonal component fluctuates 4/3 as much as an off-diagonal one in an isotropic liquid.
    columns = [0.75 * squares[c] if c < 3 else squares[c] for c in range(6)]
    off = squares[3:].mean(axis=0)
    everything = (squares[:3].sum(axis=0) + 2.0 * squares[3:].sum(axis=0)) / 10.0
    return [*columns, off, everything, ordern_products(grid, pressure[None, :]) / grid.origins]


def _heat_columns(spec: OrderNRunSpec, rng: np.random.Generator, grid: OrderNGrid, interval: float) -> list[FloatArray]:
    kappa = spec.thermal_conductivity * spec.temperature**2 / REAL.thermal_conductivity
    w = _draw(spec, rng, grid, interval, 3, kappa, spec.tau_flux / REAL.time)
    return heat_columns(grid, w / math.sqrt(2.0))


def heat_columns(grid: OrderNGrid, integrals: FloatArray) -> list[FloatArray]:
    """tconductivity.dat's columns from the integrated heat flux (shape (3, samples + 1)), scaled by
    √(1 / (2 V k_B)): the columns are Σ Δ² / M and their mean."""
    parts = ordern_products(grid, integrals[:, None, :]) / grid.origins
    return [parts[0], parts[1], parts[2], parts.mean(axis=0)]


def _write_log(path: Path, spec: OrderNRunSpec) -> None:
    nwrite = max(1, spec.steps // 10)
    atoms = sum(spec.counts.values())
    title = 'title "Simulated order-n run"'
    lines = [
        "LAMMPS (2 Aug 2023 - Update 3)",
        "units real",
        "atom_style full",
        "read_data system.data",
        f"variable nb equal {spec.nb}",
        f"variable nbe equal {spec.nbe}",
    ]
    # The group count is found by substring: names that prefix others come first.
    for k, name in sorted(enumerate(spec.species), key=lambda item: len(item[1])):
        lines += [f"group {name} type {k + 1}", f"{spec.counts[name]} atoms in group {name}"]
    # An equilibration with its own timestep and loop precedes the production run, as in real inputs.
    lines += [
        "timestep 0.5",
        "run 10000",
        f"Loop time of 5.0 on 1 procs for 10000 steps with {atoms} atoms",
        f"timestep {spec.timestep!r}",
        "compute positions all position",
    ]
    for fix, kind, every, compute, files in (
        ("f3", "diffusivity", spec.diffusion_every, "c_positions", "diffself.dat diffonsag.dat"),
        ("f1", "viscosity", spec.flux_every, "c_P", "viscosity.dat"),
        ("f2", "thermalconductivity", spec.flux_every, "c_heatflux", "tconductivity.dat"),
    ):
        lines += [
            f"fix {fix} all ordern {kind} {every} {nwrite} {compute} nb ${{nb}} nbe ${{nbe}} file {files} {title}",
            f"fix {fix} all ordern {kind} {every} {nwrite} {compute} nb {spec.nb} nbe {spec.nbe} file {files} {title}",
        ]
    lines += [
        f"run {spec.steps}",
        f"Loop time of 1.0 on 1 procs for {spec.steps} steps with {atoms} atoms",
        "Total wall time: 0:00:01",
    ]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _write_series(path: Path, name: str, stride: int, values: FloatArray) -> None:
    lines = [f"# Time-averaged data for fix {name}Ave", f"# TimeStep v_{name}"]
    lines += [f"{stride * (k + 1)} {float(v)!r}" for k, v in enumerate(values)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def write_ordern_run(folder: str | os.PathLike[str], spec: OrderNRunSpec) -> Answers:
    """Write a run folder for ``spec`` (created if needed) and return its answers in SI.

    Files: diffself.dat, diffonsag.dat, viscosity.dat, tconductivity.dat,
    volume.dat, temperature.dat and log.lammps (units, groups, timestep, the
    fix ordern settings, the production run's length). Answers:
    "self_diffusion" {species: m²/s} (no finite-size correction: the walkers'
    own D), "onsager" {(i, j) sorted by name: m²/s}, "shear_viscosity",
    "bulk_viscosity" (Pa·s), "thermal_conductivity" (W/(m·K)),
    "electrical_conductivity" (S/m, with ``spec.charges``), "temperature" (K),
    "volume" (m³) and "sampling" {"diffusion" | "flux": Sampling in fs}.
    """
    out = Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(spec.seed)
    tau_diffusion = spec.tau_diffusion / REAL.time
    diffusion, flux = spec.sampling("diffusion"), spec.sampling("flux")
    grid, flux_grid = ordern_grid(diffusion), ordern_grid(flux)
    names = spec.species
    total = sum(spec.counts.values())
    _write_table(
        out / "diffself.dat",
        [
            "MSDs should be divided by the number of molecules of species i (N_i).",
            "MSDs have been divided by the factor 6.",
        ],
        [f"MSD__{n}" for n in names],
        grid.time,
        _self_columns(spec, rng, grid, diffusion.interval, tau_diffusion),
    )
    _write_table(
        out / "diffonsag.dat",
        [f"MSDs should be divided by the total number of molecules (N = {total})."],
        [f"MSD__{a}_{b}" for a, b in species_pairs(names)],
        grid.time,
        _onsager_columns(spec, rng, grid, diffusion.interval, tau_diffusion),
    )
    _write_table(
        out / "viscosity.dat",
        ["MSDs should be divided by the temperature."],
        [f"MSD_{c}" for c in ("xx", "yy", "zz", "xy", "xz", "yz", "off", "all", "bulkvisc")],
        flux_grid.time,
        _viscosity_columns(spec, rng, flux_grid, flux.interval),
    )
    _write_table(
        out / "tconductivity.dat",
        ["MSDs should be divided by (temperature^2)."],
        ["MSD_x", "MSD_y", "MSD_z", "MSD_all"],
        flux_grid.time,
        _heat_columns(spec, rng, flux_grid, flux.interval),
    )
    _write_series(out / "volume.dat", "Volume", spec.steps, np.array([spec.volume / REAL.volume]))
    # ± pairs of dyadic steps: the rows scatter, their mean is exactly the temperature.
    step = rng.integers(0, 97, size=50) / 16.0
    temperatures = np.stack([spec.temperature + step, spec.temperature - step], axis=1).ravel()
    _write_series(out / "temperature.dat", "Temp", max(1, spec.steps // 100), temperatures)
    _write_log(out / "log.lammps", spec)

    answers: Answers = {
        "self_diffusion": {n: spec.self_diffusion[n] for n in names},
        "onsager": {tuple(sorted(p)): spec.onsager_coefficient(*p) for p in species_pairs(names)},
        "shear_viscosity": spec.shear_viscosity,
        "bulk_viscosity": spec.bulk_viscosity,
        "thermal_conductivity": spec.thermal_conductivity,
        "temperature": spec.temperature,
        "volume": spec.volume,
        "sampling": {"diffusion": diffusion, "flux": flux},
    }
    if spec.charges is not None:
        charge = np.array([spec.charges[n] for n in names])
        prefactor = ELEMENTARY_CHARGE**2 * total / (spec.volume * BOLTZMANN * spec.temperature)
        answers["electrical_conductivity"] = float(prefactor * charge @ spec.onsager_matrix() @ charge)
    return answers
