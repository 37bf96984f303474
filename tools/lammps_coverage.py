#!/usr/bin/env python3
"""Coverage of zorv_pp's single-run intervals on real MD: replicas of a Lennard-Jones liquid run with LAMMPS.

Each replica is a box of Lennard-Jones atoms under two type labels, a and b,
with the same interactions (reduced units), equilibrated NVT from its own
velocity seed and then run NVE. LAMMPS writes the unwrapped positions, the
pressure tensor and the heat flux; this tool samples order-n tables from them
the way the on-the-fly computation does and writes a run folder that
zorv_pp.Run.load reads like a real one.

Every replica starts NVE at one total energy (its velocities scaled after the
thermostat), so all replicas sample one state point. The truth of a property
is the replicas' mean of a plain least-squares line through its all-origin
curve over lags T/100..T/20, taken from the raw series (no zorv_pp); the Onsager
truths follow exactly from the self-diffusion of all atoms, the labels marking
identical atoms. Each replica is then analysed alone with zorv_pp; per property
the tool prints the coverage of the single-run 95 % interval, the bias, the
median half-width over the replicas' scatter (1.96 when the errors are right),
the mean χ² per run, how many runs carry each flag and the state interval of
all replicas together.

With ``--ordern`` the run folders are instead written by ``zorv_pp.ordern`` from
the same dump and series, exactly as a user would (the dump through
MDAnalysis, each run's own mean pressure, trapezoid integration), into
``--tables`` so that the replica folders keep their own tables; the truth is
still the raw series'.

    PYTHONPATH=build/host-py311/python:python python3 tools/lammps_coverage.py --replicas 20 --out DIR
    PYTHONPATH=build/host-py311/python:python python3 tools/lammps_coverage.py --out DIR --reuse
    PYTHONPATH=build/host-py311/python:python python3 tools/lammps_coverage.py --out DIR --reuse --ordern --tables DIR2
    PYTHONPATH=build/host-py311/python:python python3 tools/lammps_coverage.py --out DIR --refit [--pool DIR2 ...]

Needs Debian's ``lammps`` package (the ``lmp`` binary); runs one serial process at a time.
"""

from __future__ import annotations

import argparse
import json
import math
import resource
import shutil
import statistics
import subprocess
import time
from collections import Counter
from collections.abc import Sequence
from dataclasses import asdict, dataclass
from pathlib import Path

import numpy as np
import numpy.typing as npt

import zorv_pp
from zorv_pp.run.sampling import Sampling
from zorv_pp.synthetic.ordern import OrderNGrid, ordern_grid, ordern_products

FloatArray = npt.NDArray[np.float64]
SPECIES = ("a", "b")
PROPERTIES: tuple[tuple[str, str | tuple[str, str] | None, str], ...] = (
    ("self_diffusion_pbc", "a", "D_pbc a"),
    ("self_diffusion_pbc", "b", "D_pbc b"),
    ("onsager", ("a", "a"), "Onsager a-a"),
    ("onsager", ("a", "b"), "Onsager a-b"),
    ("shear_viscosity", None, "shear viscosity"),
    ("bulk_viscosity", None, "bulk viscosity"),
    ("thermal_conductivity", None, "thermal conductivity"),
)


@dataclass(frozen=True)
class Settings:
    """One replica's MD and order-n settings (reduced units, steps of ``timestep``)."""

    cells: int = 5  # fcc cells per side: 4·cells³ atoms
    density: float = 0.8
    temperature: float = 1.0
    timestep: float = 0.005
    equilibration: int = 4000
    # Total energy per atom every replica starts NVE at (None: the energy the thermostat left),
    # then ``settle`` NVE steps before sampling. -3.1923 is E(T* = 1) of the line through
    # 20 replicas' (mean temperature, energy) at 0.94-1.04.
    energy: float | None = None
    settle: int = 0
    steps: int = 80000
    diffusion_every: int = 100
    flux_every: int = 5
    nb: int = 10
    nbe: int = 20

    @property
    def atoms(self) -> int:
        return 4 * self.cells**3

    def sampling(self, kind: str) -> Sampling:
        # The flux computations integrate over two NEVERY intervals per sample.
        every = self.diffusion_every if kind == "diffusion" else 2 * self.flux_every
        return Sampling(every * self.timestep, self.nbe, self.steps * self.timestep, self.nb)


INPUT = """\
units lj
atom_style atomic
lattice fcc {density}
region box block 0 {cells} 0 {cells} 0 {cells}
create_box 2 box
create_atoms 1 box
# Every other atom is labelled b: two species of identical interactions, 50/50.
variable odd atom id%2==0
group odd variable odd
set group odd type 2
mass * 1.0
pair_style lj/cut 2.5
pair_coeff * * 1.0 1.0 2.5
pair_modify shift yes
neighbor 0.3 bin
neigh_modify every 1 delay 0 check yes
group a type 1
group b type 2
velocity all create {temperature} {seed} mom yes rot yes dist gaussian
timestep {timestep}
fix eq all nvt temp {temperature} {temperature} 0.5
thermo 1000
thermo_modify norm yes
run {equilibration}
unfix eq
{to_energy}reset_timestep 0
compute ke all ke/atom
compute pe all pe/atom
compute st all centroid/stress/atom NULL virial
compute flux all heat/flux ke pe st
thermo_style custom step temp pe press vol
fix series all ave/time {flux_every} 1 {flux_every} c_thermo_press[*] c_flux[*] c_thermo_pe c_thermo_temp &
    file flux.txt format " %.12g"
dump positions all custom {diffusion_every} positions.dump id type xu yu zu
dump_modify positions sort id format float %.12g
{nve}run {steps}
"""

# The kinetic energy takes what the potential energy leaves of the target (thermo pe is per atom here).
TO_ENERGY = """\
velocity all scale $(2.0*({energy}-pe)*atoms/(3*atoms-3))
fix nve all nve
run {settle}
"""


def md_input(settings: Settings, seed: int) -> str:
    """The LAMMPS input of one replica."""
    values = asdict(settings)
    if settings.energy is None:
        return INPUT.format(seed=seed, to_energy="", nve="fix nve all nve\n", **values)
    return INPUT.format(seed=seed, to_energy=TO_ENERGY.format(**values), nve="", **values)


# ---------------------------------------------------------------- running LAMMPS


def run_replica(folder: Path, settings: Settings, seed: int, lmp: str) -> float:
    """Run one replica into ``folder``/md; returns its CPU seconds."""
    md = folder / "md"
    md.mkdir(parents=True, exist_ok=True)
    (md / "in.lammps").write_text(md_input(settings, seed), encoding="utf-8")
    start = time.process_time()
    before = _children_cpu()
    subprocess.run(
        [lmp, "-in", "in.lammps", "-log", "lammps.log", "-screen", "none"], cwd=md, check=True, stdin=subprocess.DEVNULL
    )
    return time.process_time() - start + _children_cpu() - before


def _children_cpu() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


# ---------------------------------------------------------------- raw series


@dataclass(frozen=True)
class Series:
    """A replica's raw series, each sampled as its order-n table samples it."""

    positions: dict[str, FloatArray]  # species -> (atoms, 3, samples + 1)
    stress: FloatArray  # (6, samples + 1): ∫ of the traceless tensor's xx, yy, zz, xy, xz, yz
    pressure: FloatArray  # (samples + 1,): ∫ of p − ⟨p⟩, the replica's equilibrium pressure
    own_pressure: FloatArray  # ∫ of p less the run's own mean: 0 at both ends, as the engine's tables take it
    heat: FloatArray  # (3, samples + 1): ∫ of the heat flux × V (its total, not only the convective part)
    temperature: FloatArray
    volume: float


def _read_dump(path: Path) -> tuple[FloatArray, FloatArray]:
    """Types (atoms,) and unwrapped positions (atoms, 3, frames) of a sorted custom dump."""
    lines = path.read_text(encoding="utf-8").splitlines()
    atoms = int(lines[3])
    per = atoms + 9
    frames = len(lines) // per
    body = [line for f in range(frames) for line in lines[f * per + 9 : (f + 1) * per]]
    data = np.array(" ".join(body).split(), dtype=np.float64).reshape(frames, atoms, 5)
    return data[0, :, 1], np.ascontiguousarray(data[:, :, 2:].transpose(1, 2, 0))


def _simpson(values: FloatArray, h: float) -> FloatArray:
    """∫ from the first sample to every second one, Simpson's rule over each pair of intervals."""
    pairs = (values.shape[-1] - 1) // 2
    v = values[..., : 2 * pairs + 1]
    steps = h / 3.0 * (v[..., 0:-1:2] + 4.0 * v[..., 1::2] + v[..., 2::2])
    out = np.zeros(values.shape[:-1] + (pairs + 1,))
    np.cumsum(steps, axis=-1, out=out[..., 1:])
    return out


def _read_flux(folder: Path, settings: Settings) -> FloatArray:
    path = folder / "md" / "flux.txt"
    flux = np.loadtxt(path, comments="#")
    if flux.shape[0] != settings.steps // settings.flux_every + 1:
        raise RuntimeError(f"{path}: {flux.shape[0]} rows, the run was cut short")
    return flux


def mean_pressures(folders: Sequence[Path], settings: Settings) -> list[float]:
    """Each replica's equilibrium pressure, from a line through every replica's (energy, pressure).

    The truth's bulk curves take it: replicas started at one energy share one
    state, so the pooled mean; otherwise each NVE replica has its own energy
    and so its own pressure, which the line across replicas' (energy,
    pressure) gives; either with an error about the replica count times
    smaller than a run's own. The tables take each run's own mean instead, as
    the engine's do (their fits undo the bridge it leaves).
    """
    energy, pressure = [], []
    dof = 3 * settings.atoms - 3
    for folder in folders:
        flux = _read_flux(folder, settings)
        energy.append(flux[:, -2].mean() + 0.5 * dof * flux[:, -1].mean())
        pressure.append(flux[:, 1:4].mean())
    if settings.energy is not None:
        return [statistics.fmean(pressure)] * len(folders)
    if len(folders) < 3:
        return pressure
    line = np.polyfit(energy, pressure, 1)
    return [float(v) for v in np.polyval(line, energy)]


def read_series(folder: Path, settings: Settings, pressure: float) -> Series:
    md = folder / "md"
    types, positions = _read_dump(md / "positions.dump")
    flux = _read_flux(folder, settings)
    h = settings.flux_every * settings.timestep
    tensor = flux[:, 1:7].T  # xx yy zz xy xz yz
    p = tensor[:3].mean(axis=0)
    traceless = tensor.copy()
    traceless[:3] -= p
    volume = settings.atoms / settings.density
    integral = _simpson(p - pressure, h)
    return Series(
        positions={name: positions[types == k + 1] for k, name in enumerate(SPECIES)},
        stress=_simpson(traceless, h),
        pressure=integral,
        own_pressure=integral - integral[-1] * np.arange(len(integral)) / (len(integral) - 1),
        heat=_simpson(flux[:, 7:10].T, h),
        temperature=flux[:, -1],
        volume=volume,
    )


# ---------------------------------------------------------------- order-n tables


def _columns(series: Series, grid: OrderNGrid, flux_grid: OrderNGrid) -> dict[str, dict[str, FloatArray]]:
    """The columns of the four tables, normalised as the analysis reads them (k_B = 1)."""
    out: dict[str, dict[str, FloatArray]] = {"diffself": {}, "diffonsag": {}, "viscosity": {}, "tconductivity": {}}
    for name, x in series.positions.items():
        # Σ over the molecules of |Δr|²/6.
        out["diffself"][f"MSD__{name}"] = ordern_products(grid, x.reshape(-1, x.shape[-1])) / (6.0 * grid.origins)
    sums = {name: x.sum(axis=0) for name, x in series.positions.items()}
    own = {name: ordern_products(grid, r) for name, r in sums.items()}
    for i, a in enumerate(SPECIES):
        for b in SPECIES[i:]:
            pair = own[a] if a == b else (ordern_products(grid, sums[a] + sums[b]) - own[a] - own[b]) / 2.0
            out["diffonsag"][f"MSD__{a}_{b}"] = pair / (6.0 * grid.origins)
    # V/(2 k_B) ⟨ΔI²⟩: slope η·T per off-diagonal component, 4/3 of it per traceless diagonal one.
    squares = ordern_products(flux_grid, series.stress[:, None, :]) * (series.volume / 2.0) / flux_grid.origins
    for c, name in enumerate(("xx", "yy", "zz", "xy", "xz", "yz")):
        out["viscosity"][f"MSD_{name}"] = 0.75 * squares[c] if c < 3 else squares[c]
    out["viscosity"]["MSD_off"] = squares[3:].mean(axis=0)
    out["viscosity"]["MSD_all"] = (squares[:3].sum(axis=0) + 2.0 * squares[3:].sum(axis=0)) / 10.0
    out["viscosity"]["MSD_bulkvisc"] = (
        ordern_products(flux_grid, series.own_pressure[None, :]) * (series.volume / 2.0) / flux_grid.origins
    )
    # The heat flux computed is J·V: (∫J·V)²/(2V) has slope κ·T².
    heat = ordern_products(flux_grid, series.heat[:, None, :]) / (2.0 * series.volume) / flux_grid.origins
    for c, name in enumerate("xyz"):
        out["tconductivity"][f"MSD_{name}"] = heat[c]
    out["tconductivity"]["MSD_all"] = heat.mean(axis=0)
    return out


NOTES = {
    "diffself": [
        "MSDs should be divided by the number of molecules of species i (N_i).",
        "MSDs have been divided by the factor 6.",
    ],
    "diffonsag": ["MSDs should be divided by the total number of molecules (N = {atoms})."],
    "viscosity": ["MSDs should be divided by the temperature."],
    "tconductivity": ["MSDs should be divided by (temperature^2)."],
}


def _write_table(path: Path, notes: Sequence[str], time_: FloatArray, columns: dict[str, FloatArray]) -> None:
    lines = ["Lennard-Jones replica sampled order-n", *(f"#NOTE: {n}" for n in notes)]
    lines.append("#Time\t" + "\t".join(columns) + "\t")
    lines += [" " + " ".join(repr(float(v)) for v in row) for row in zip(time_, *columns.values())]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _write_series(path: Path, name: str, stride: int, values: FloatArray) -> None:
    lines = [f"# Time-averaged data for fix {name}Ave", f"# TimeStep v_{name}"]
    lines += [f"{stride * (k + 1)} {float(v)!r}" for k, v in enumerate(values)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _write_log(path: Path, settings: Settings, counts: dict[str, int]) -> None:
    """A log that states what ran and the order-n sampling the tables follow."""
    s = settings
    nwrite = max(1, s.steps // 10)
    lines = ["LAMMPS (7 Jan 2022)", "units lj", "atom_style atomic"]
    for k, name in enumerate(SPECIES):
        lines += [f"group {name} type {k + 1}", f"{counts[name]} atoms in group {name}"]
    lines += [
        f"timestep {s.timestep!r}",
        f"run {s.equilibration}",
        f"Loop time of 1.0 on 1 procs for {s.equilibration} steps with {s.atoms} atoms",
        "compute positions all position",
    ]
    for fix, kind, every, compute, files in (
        ("f3", "diffusivity", s.diffusion_every, "c_positions", "diffself.dat diffonsag.dat"),
        ("f1", "viscosity", s.flux_every, "c_P", "viscosity.dat"),
        ("f2", "thermalconductivity", s.flux_every, "c_heatflux", "tconductivity.dat"),
    ):
        lines.append(f"fix {fix} all ordern {kind} {every} {nwrite} {compute} nb {s.nb} nbe {s.nbe} file {files}")
    lines += [
        f"run {s.steps}",
        f"Loop time of 1.0 on 1 procs for {s.steps} steps with {s.atoms} atoms",
        "Total wall time: 0:00:01",
    ]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def write_folder(folder: Path, settings: Settings, series: Series) -> None:
    grid, flux_grid = ordern_grid(settings.sampling("diffusion")), ordern_grid(settings.sampling("flux"))
    if grid.samples + 1 != next(iter(series.positions.values())).shape[-1]:
        raise RuntimeError(f"{folder}: the dump's frames do not match the diffusion sampling")
    if flux_grid.samples + 1 != series.heat.shape[-1]:
        raise RuntimeError(f"{folder}: the flux series does not match the flux sampling")
    counts = {name: x.shape[0] for name, x in series.positions.items()}
    for table, columns in _columns(series, grid, flux_grid).items():
        times = grid.time if table.startswith("diff") else flux_grid.time
        notes = [n.format(atoms=settings.atoms) for n in NOTES[table]]
        _write_table(folder / f"{table}.dat", notes, times, columns)
    _write_series(folder / "volume.dat", "Volume", settings.steps, np.array([series.volume]))
    blocks = np.array_split(series.temperature, 100)
    stride = settings.steps // 100
    _write_series(folder / "temperature.dat", "Temp", stride, np.array([b.mean() for b in blocks]))
    _write_log(folder / "log.lammps", settings, counts)


def write_ordern_folder(replica: Path, folder: Path) -> float:
    """The run folder a user gets from the replica's raw output through ``zorv_pp.ordern``; returns the
    flux tables' first lag."""
    md = replica / "md"
    written = zorv_pp.ordern(
        md / "positions.dump",
        log=md / "lammps.log",
        pressure=md / "flux.txt",
        heat_flux=md / "flux.txt",
        species={name: f"type {k + 1}" for k, name in enumerate(SPECIES)},
        out=folder,
        overwrite=True,
    )
    return written.sampling["viscosity"].interval


# ---------------------------------------------------------------- the truth, from the raw series


def all_origin_msd(x: FloatArray, lags: int) -> FloatArray:
    """Σ over rows of the mean over every origin of (x[j + k] − x[j])², k = 0..lags; x is (rows, samples)."""
    length = x.shape[-1]
    x = x.reshape(-1, length)
    prefix = np.concatenate([[0.0], np.cumsum((x * x).sum(axis=0))])
    spectrum = np.fft.rfft(x, n=2 * length)
    cross = np.fft.irfft(spectrum * spectrum.conj(), n=2 * length)[:, : lags + 1].sum(axis=0)
    k = np.arange(lags + 1)
    return ((prefix[length] - prefix[k]) + prefix[length - k] - 2.0 * cross) / (length - k)


#: Lags of the truth's fits, as fractions of the run: past every relaxation (≥ 5 τ here; the local
#: slopes of every curve are flat from about 1 τ on) and short enough that each lag has many
#: origins. Later ranges give the same means within their errors, which are 1.5-2 times larger
#: for T/40..T/10 and 3-6 times for the long-time half T/4..T/2 (Onsager, heat flux, viscosities).
TRUTH_LAGS = (1.0 / 100.0, 1.0 / 20.0)


def _slope(x: FloatArray, interval: float, scale: float) -> float:
    """Least-squares slope of scale·MSD, all origins, over the lags ``TRUTH_LAGS`` of the run."""
    samples = x.shape[-1] - 1
    first, last = (round(f * samples) for f in TRUTH_LAGS)
    msd = scale * all_origin_msd(x, last)
    k = np.arange(first, last + 1)
    return float(np.polyfit(k * interval, msd[k], 1)[0])


def raw_values(series: Series, settings: Settings) -> dict[str, float]:
    """Each property of one replica from its all-origin curves, keyed by its label."""
    h, hf = settings.sampling("diffusion").interval, settings.sampling("flux").interval
    temperature = float(series.temperature.mean())
    out: dict[str, float] = {}
    for name, x in series.positions.items():
        out[f"D_pbc {name}"] = _slope(x, h, 1.0 / (6.0 * x.shape[0]))
    atoms = settings.atoms
    everyone = np.concatenate(list(series.positions.values()))
    out["D_pbc all"] = _slope(everyone, h, 1.0 / (6.0 * atoms))
    # Identical atoms under a fixed centre of mass: every pair shares one ⟨Δr_i·Δr_j⟩ = −⟨|Δr|²⟩/(N − 1),
    # so ⟨|ΔR_a|²⟩ = N_a·N_b/(N − 1)·⟨|Δr|²⟩ at every lag and ΔR_b = −ΔR_a. The Onsager truths follow
    # from the self-diffusion of all atoms; the collective curves' own fits are kept as a check.
    na, nb = (x.shape[0] for x in series.positions.values())
    out["Onsager a-a"] = na * nb / (atoms * (atoms - 1)) * out["D_pbc all"]
    out["Onsager a-b"] = -out["Onsager a-a"]
    sums = {name: x.sum(axis=0) for name, x in series.positions.items()}
    aa = _slope(sums["a"], h, 1.0 / (6.0 * atoms))
    bb = _slope(sums["b"], h, 1.0 / (6.0 * atoms))
    both = _slope(sums["a"] + sums["b"], h, 1.0 / (6.0 * atoms))
    out["Onsager a-a (collective fit)"] = aa
    out["Onsager a-b (collective fit)"] = (both - aa - bb) / 2.0
    v = series.volume
    # Off-diagonal components and 3/4 of the traceless diagonal ones all have slope η·T.
    shear = [_slope(series.stress[c], hf, v / 2.0 * (0.75 if c < 3 else 1.0)) for c in range(6)]
    out["shear viscosity"] = (sum(shear[:3]) / 0.75 + 2.0 * sum(shear[3:])) / 10.0 / temperature
    out["bulk viscosity"] = _slope(series.pressure, hf, v / 2.0) / temperature
    heat = [_slope(series.heat[c], hf, 1.0 / (2.0 * v)) for c in range(3)]
    out["thermal conductivity"] = sum(heat) / 3.0 / temperature**2
    out["temperature"] = temperature
    return out


# ---------------------------------------------------------------- the comparison


def mean_truth(raw: Sequence[dict[str, float]]) -> tuple[dict[str, float], dict[str, float]]:
    """The truth of each label, the replicas' mean of their raw fits, and its standard error."""
    truth = {label: statistics.fmean(r[label] for r in raw) for label in raw[0]}
    sem = {
        label: statistics.stdev(r[label] for r in raw) / math.sqrt(len(raw)) if len(raw) > 1 else math.nan
        for label in raw[0]
    }
    return truth, sem


def pooled(folders: Sequence[Path]) -> list[dict[str, float]]:
    """The raw fits of the replicas in each folder's truth.json: more replicas of one state, a sharper truth."""
    found: list[dict[str, float]] = []
    for folder in folders:
        found += json.loads((folder / "truth.json").read_text(encoding="utf-8"))["per_replica"]
    return found


def _estimate(state: zorv_pp.StateResult, prop: str, species: str | tuple[str, str] | None) -> zorv_pp.Estimate | None:
    try:
        return state.get(prop, species)
    except KeyError:
        return None


def report(folders: list[Path], truth: dict[str, float], truth_sem: dict[str, float]) -> list[str]:
    fitted = [zorv_pp.fit_run(zorv_pp.Run.load(f)) for f in folders]
    singles = [zorv_pp.combine([f]) for f in fitted]
    state = zorv_pp.combine(fitted)
    n = len(folders)
    header = (
        f"| property | truth (±sem) | coverage 95 % | bias | median half-width / scatter | χ² per run | "
        f"flags (runs) | state interval ({n} runs), z with the truth's error |"
    )
    lines = [header, "| --- | --- | --- | --- | --- | --- | --- | --- |"]
    for prop, species, label in PROPERTIES:
        estimates = [_estimate(s, prop, species) for s in singles]
        usable = [e for e in estimates if e is not None and math.isfinite(e.mean) and math.isfinite(e.sem)]
        if not usable:
            lines.append(f"| {label} | {truth[label]:.4g} | no estimate | | | | | |")
            continue
        t = truth[label]
        inside = sum(e.ci95[0] <= t <= e.ci95[1] for e in usable)
        values = [e.mean for e in usable]
        scatter = statistics.stdev(values) if len(values) > 1 else math.nan
        half = statistics.median((e.ci95[1] - e.ci95[0]) / 2.0 for e in usable)
        chi2 = statistics.fmean((e.mean - t) ** 2 / e.sem**2 for e in usable if e.sem > 0.0)
        bias = statistics.fmean(values) - t
        flags = Counter(flag for e in usable for flag in set(e.flags))
        flagged = ", ".join(f"{flag} {count}" for flag, count in sorted(flags.items())) or "none"
        st = _estimate(state, prop, species)
        if st is None:
            held = "none"
        else:
            holds = "holds" if st.ci95[0] <= t <= st.ci95[1] else "misses"
            # The truth is itself a mean of noisy fits: z counts its error too.
            z = (st.mean - t) / math.hypot(st.sem, truth_sem[label])
            held = f"{st.ci95[0]:.4g} … {st.ci95[1]:.4g} ({holds}, z = {z:+.1f})"
        lines.append(
            f"| {label} | {t:.4g} ± {truth_sem[label]:.2g} | {inside}/{len(usable)} | "
            f"{bias:+.3g} ({100 * bias / abs(t):+.1f} %) | {half / scatter:.2f} | {chi2:.2f} | {flagged} | {held} |"
        )
    return lines


def main() -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n")[0])
    parser.add_argument("--replicas", type=int, default=20)
    parser.add_argument("--steps", type=int, default=Settings.steps, help="NVE production steps per replica")
    parser.add_argument("--out", type=Path, required=True, help="folder of the replica run folders rep00, rep01, ...")
    parser.add_argument(
        "--reuse", action="store_true", help="sample and analyse the LAMMPS output in --out again, without running it"
    )
    parser.add_argument(
        "--energy", type=float, default=-3.1923, help="total energy per atom every replica starts NVE at"
    )
    parser.add_argument("--settle", type=int, default=1000, help="NVE steps at that energy before sampling")
    parser.add_argument("--seed", type=int, default=1, help="velocity seed of the first replica")
    parser.add_argument("--lmp", default=shutil.which("lmp") or "lmp", help="the LAMMPS binary")
    parser.add_argument(
        "--ordern", action="store_true", help="write the run folders with zorv_pp.ordern, as a user would"
    )
    parser.add_argument("--tables", type=Path, help="folder of the --ordern run folders (and truth.json)")
    parser.add_argument(
        "--pool",
        type=Path,
        nargs="*",
        default=[],
        help="with --refit: folders of replicas of the same state point whose truth.json joins this one's truth",
    )
    parser.add_argument(
        "--refit", action="store_true", help="fit the tables and truth.json already in --out again, sampling nothing"
    )
    args = parser.parse_args()
    out: Path = args.out
    if args.refit:
        # Fitting alone takes seconds where sampling takes minutes: for changes to the fits.
        known = json.loads((out / "truth.json").read_text(encoding="utf-8"))
        truth, truth_sem = mean_truth(known["per_replica"] + pooled(args.pool))
        if args.pool:
            print(f"truth: the raw fits of {len(known['per_replica'])} replicas here and those in {args.pool}")
        print("\n".join(report(sorted(p for p in out.glob("rep*") if p.is_dir()), truth, truth_sem)))
        return
    if args.ordern and args.tables is None:
        parser.error("--ordern writes its run folders into --tables DIR")
    tables: Path = args.tables if args.ordern else out
    if args.reuse:
        settings = Settings(**json.loads((out / "settings.json").read_text(encoding="utf-8")))
        folders = sorted(p for p in out.glob("rep*") if (p / "md" / "flux.txt").is_file())
    else:
        settings = Settings(steps=args.steps, energy=args.energy, settle=args.settle)
        out.mkdir(parents=True, exist_ok=True)
        (out / "settings.json").write_text(json.dumps(asdict(settings), indent=1) + "\n", encoding="utf-8")
        folders = [out / f"rep{k:02d}" for k in range(args.replicas)]
        cpu = 0.0
        for k, folder in enumerate(folders):
            seconds = run_replica(folder, settings, 1000 * (args.seed + k) + 7, args.lmp)
            cpu += seconds
            print(f"{folder.name}: {seconds:.0f} s CPU", flush=True)
        print(f"LAMMPS CPU time: {cpu:.0f} s for {len(folders)} replicas")
    if not folders:
        raise SystemExit(f"no replica folders in {out}")
    pressures = mean_pressures(folders, settings)
    raw = []
    flux_interval = 2 * settings.flux_every * settings.timestep
    runs = [tables / f.name for f in folders] if args.ordern else folders
    for folder, run, pressure in zip(folders, runs, pressures):
        # Tables are written once every replica has run: the bulk curve needs the replicas' pressure line.
        series = read_series(folder, settings, pressure)
        if args.ordern:
            flux_interval = write_ordern_folder(folder, run)
        else:
            write_folder(folder, settings, series)
        raw.append(raw_values(series, settings))
    truth, truth_sem = mean_truth(raw)
    tables.mkdir(parents=True, exist_ok=True)
    (tables / "truth.json").write_text(
        json.dumps({"truth": truth, "sem": truth_sem, "pressure": pressures, "per_replica": raw}, indent=1) + "\n",
        encoding="utf-8",
    )
    s = settings
    print(
        f"{len(folders)} replicas of {s.atoms} LJ atoms (a/b 50/50), ρ* = {s.density}, T* = {s.temperature}, "
        f"dt = {s.timestep}, NVT {s.equilibration} + NVE {s.steps} steps ({s.steps * s.timestep:g} τ); "
        f"order-n nbe {s.nbe}, Δ0 = {s.sampling('diffusion').interval:g} τ (diffusion), "
        f"{s.sampling('flux').interval:g} τ (fluxes); truth: mean of all-origin fits on lags T/100..T/20"
    )
    temperatures = [r["temperature"] for r in raw]
    print(
        f"mean temperatures: {min(temperatures):.4f} … {max(temperatures):.4f}, "
        f"mean {statistics.fmean(temperatures):.4f}, sd {statistics.stdev(temperatures):.2g}"
        if len(raw) > 1
        else f"mean temperature: {temperatures[0]:.4f}"
    )
    for label in ("Onsager a-a", "Onsager a-b"):
        fit = f"{label} (collective fit)"
        z = (truth[fit] - truth[label]) / math.hypot(truth_sem[fit], truth_sem[label])
        print(f"{fit}: {truth[fit]:.4g} ± {truth_sem[fit]:.2g}, from self-diffusion {truth[label]:.4g} (z = {z:+.1f})")
    print(
        f"tables: zorv_pp.ordern from positions.dump and flux.txt (the dump through MDAnalysis, trapezoid "
        f"integrals, Δ0 = {flux_interval:g} τ for the fluxes), each run's own mean pressure, in {tables}"
        if args.ordern
        else f"tables: this tool's sampler (Simpson over pairs of flux samples, Δ0 = {flux_interval:g} τ), "
        "each run's own mean pressure; the truth's bulk curves take the replicas' pooled mean"
    )
    print("\n".join(report(runs, truth, truth_sem)))


if __name__ == "__main__":
    main()
