"""Synthetic MD run folders whose transport properties are known exactly.

`write_run` writes the nine files that one MD run leaves behind (the ZORV
MSD tables, the RDF, volume, density, temperature and a LAMMPS log) from a
`RunSpec` of physical inputs in SI units, and returns those inputs as the
answers an analysis must recover.

The tables follow the layouts the `_zorv_pp` readers expect:

- diffself.dat: ``#Time MSD__<i> ...``, one column per species, already
  divided by 6 and still to be divided by N_i; slope / N_i = D_i.
- diffonsag.dat: ``#Time MSD__<i>_<j> ...``, one column per unordered pair
  (i == j included); slope / N = Lambda_ij with N the total molecule count.
- viscosity.dat: ``#Time MSD_xx ... MSD_bulkvisc``; slope / T = viscosity in
  pressure x time units (real: atm*fs, metal: bar*ps).
- tconductivity.dat: ``#Time MSD_x MSD_y MSD_z MSD_all``; slope / T**2 =
  thermal conductivity in energy / (length * time * K) (real:
  kcal/mol/(A*fs*K), metal: eV/(A*ps*K)).
- rdf.dat: ``Radius rdf__<i>_<j> finiterdf__<i>_<j> ...``, radius in A.

Times are in the unit style's time unit (fs for real, ps for metal), MSD
values in A**2 times the property's own factor. MSD curves follow
A * (t - tau * (1 - exp(-t / tau))): ballistic (log-log slope 2) for
t << tau and exactly of slope A once t >> tau, so the known answer is the
long-time slope.
"""

from __future__ import annotations

import math
import os
import re
from collections.abc import Iterable, Mapping, Sequence
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import numpy.typing as npt

from ..run.sampling import Sampling
from .ordern.noise import onsager_noise, ordern_noise

FloatArray = npt.NDArray[np.float64]

AVOGADRO = 6.02214076e23  # 1/mol
ELEMENTARY_CHARGE = 1.602176634e-19  # J/eV
ANGSTROM = 1e-10  # m

# Per unit style: seconds per time unit, pascals per pressure unit, joules per
# energy unit. Lengths are always angstroms.
_STYLES: dict[str, tuple[float, float, float]] = {
    "real": (1e-15, 101325.0, 4184.0 / AVOGADRO),
    "metal": (1e-12, 1e5, ELEMENTARY_CHARGE),
}

# Time grids in seconds, with their block sizes: diffusion tables are sampled
# from 1 ps to 10 ns, viscosity and heat-flux tables from 10 fs to 8 ns.
_DIFFUSION_GRID = (1e-12, 1e-8, 20)
_FLUX_GRID = (1e-14, 8e-9, 25)
# Crossover times of the ballistic regime, in seconds.
_DIFFUSION_TAU = 1e-12
_FLUX_TAU = 2e-13

RDF_SPACING = 0.01  # A between rdf.dat rows; the first row sits at half of it
VISCOSITY_COMPONENTS = ("xx", "yy", "zz", "xy", "xz", "yz")
# Averages over several components are quieter than a single one.
_VISCOSITY_NOISE = {**{c: 1.0 for c in VISCOSITY_COMPONENTS}, "off": 3**-0.5, "all": 5**-0.5}
_VISCOSITY_WALKERS = {**{c: 1 for c in VISCOSITY_COMPONENTS}, "off": 3, "all": 5}
# The production run the logs state: 10,000,000 steps of 1 fs.
_RUN_SECONDS = 1e-8
_RDF_RAW_DEFICIT = 0.01  # the uncorrected rdf column ends this far below 1

_NAME = re.compile(r"[A-Za-z0-9+\-.]+")


def order_n_times(first: float, last: float, block: int = 20) -> FloatArray:
    """Lag times of order-n MSD sampling, in the unit of `first` and `last`.

    Block k holds first * block**k * j for j = 1..block, so each block is
    `block` times coarser than the one before; a time that repeats the end
    of the previous block is dropped and nothing beyond `last` is kept.
    """
    if not (first > 0.0 and last >= first):
        raise ValueError("need 0 < first <= last")
    if block < 2:
        raise ValueError("block must be at least 2")
    times: list[float] = []
    limit = last * (1.0 + 1e-12)
    k = 0
    while first * block**k <= limit:
        for j in range(1 if k == 0 else 2, block + 1):
            t = first * (block**k * j)
            if t > limit:
                break
            times.append(t)
        k += 1
    return np.array(times, dtype=np.float64)


def quasi_log_times(first: float, last: float, rows: int, blocks: int) -> FloatArray:
    """`rows` lag times from `first` to `last`, in their unit, in `blocks` blocks.

    Block boundaries are geometric between `first` and `last`; inside a block
    the spacing is constant, so the grid has the order-n shape with any
    number of rows.
    """
    if blocks < 1 or rows < blocks + 1:
        raise ValueError(f"need at least {blocks + 1} rows for {blocks} blocks")
    bounds = first * (last / first) ** (np.arange(blocks + 1) / blocks)
    bounds[-1] = last
    base, extra = divmod(rows - 1, blocks)
    times = [np.array([first])]
    for k in range(blocks):
        m = base + (1 if k < extra else 0)
        times.append(bounds[k] + (bounds[k + 1] - bounds[k]) * np.arange(1, m + 1) / m)
    return np.concatenate(times)


def _pairs(species: Sequence[str]) -> list[tuple[str, str]]:
    return [(a, b) for i, a in enumerate(species) for b in species[i:]]


@dataclass(frozen=True)
class RunSpec:
    """Physical inputs of one synthetic run, all in SI units.

    counts: molecules per species (the log's group of a species holds one
        atom per molecule). Names are letters, digits, '+', '-' or '.'.
    self_diffusion: m**2/s per species.
    onsager: m**2/s per unordered species pair, (i, i) included; each pair
        given once, in either order.
    shear_viscosity, bulk_viscosity: Pa*s.
    thermal_conductivity: W/(m*K).
    temperature: K.
    volume: m**3; written to volume.dat in A**3.
    density: kg/m**3; written to density.dat in g/cm**3.
    rdf_pairs: (i, j) -> (first-peak position in m, peak height); empty
        means every unordered pair with positions from 2.7e-10 m and heights
        from 2.5. The rdf is normalised by the density of j, the second name.
    units: "real" (A, fs, atm, kcal/mol) or "metal" (A, ps, bar, eV).
    noise: relative noise of the longest lag time; 0 gives exact curves.
        With ``noise_model`` "ordern", the multiple of the noise the order-n
        sampling gives each column (1: walkers as the table's columns assume).
    noise_model: "relative" (a random walk in t of relative size ``noise`` at
        the longest lag) or "ordern" (each column's rows sampled as the order-n
        computation samples its walkers: 3·N_i for a species' self-diffusion,
        3 for an Onsager column, 1 per tensor or flux component; the grids
        must be order-n grids, ``rows`` None).
    shared: per species, the share of each molecule's diffusivity carried by
        one walker common to the species (order-n noise only): the box's
        shared flow, which makes a species' MSD noisier than its molecules
        alone would.
    ballistic: False writes exact straight lines MSD = slope * t.
    rows: None for the realistic order-n grids (50-110 rows); an int gives
        every MSD table that many rows on a quasi-logarithmic grid.
    temperature_rows: rows of temperature.dat.
    rdf_rows: rows of rdf.dat, 0.01 A apart.
    seed: seed of the noise and of the fluctuations of temperature.dat.
    """

    counts: Mapping[str, int]
    self_diffusion: Mapping[str, float]
    onsager: Mapping[tuple[str, str], float]
    shear_viscosity: float = 8.9e-4
    bulk_viscosity: float = 2.4e-3
    thermal_conductivity: float = 0.6
    temperature: float = 298.15
    volume: float = 2.7e-26
    density: float = 1000.0
    rdf_pairs: Mapping[tuple[str, str], tuple[float, float]] = field(default_factory=dict)
    units: str = "real"
    noise: float = 0.0
    noise_model: str = "relative"
    shared: Mapping[str, float] = field(default_factory=dict)
    ballistic: bool = True
    rows: int | None = None
    temperature_rows: int = 200
    rdf_rows: int = 2000
    seed: int = 0

    def __post_init__(self) -> None:
        names = list(self.counts)
        if not names:
            raise ValueError("counts names no species")
        for name in names:
            if not _NAME.fullmatch(name):
                raise ValueError(f"species name {name!r} is not usable in column names")
            if self.counts[name] < 1:
                raise ValueError(f"species {name!r} needs at least one molecule")
        if set(self.self_diffusion) != set(names):
            raise ValueError("self_diffusion must name exactly the species of counts")
        wanted = {frozenset(p) for p in _pairs(names)}
        given = [frozenset(p) for p in self.onsager]
        if len(given) != len(set(given)) or set(given) != wanted:
            raise ValueError("onsager must give every unordered species pair exactly once")
        for pair in self.rdf_pairs:
            if not set(pair) <= set(names):
                raise ValueError(f"rdf pair {pair} names an unknown species")
        if self.units not in _STYLES:
            raise ValueError(f"units must be 'real' or 'metal', not {self.units!r}")
        if self.noise < 0.0:
            raise ValueError("noise must not be negative")
        if self.noise_model not in ("relative", "ordern") or (self.noise_model == "ordern" and self.rows is not None):
            raise ValueError("noise_model must be 'relative', or 'ordern' on the order-n grids (rows None)")
        if self.rows is not None and self.rows < 10:
            raise ValueError("rows must be at least 10")
        if self.temperature_rows < 1 or self.rdf_rows < 10:
            raise ValueError("temperature_rows must be positive and rdf_rows at least 10")
        for value in (self.temperature, self.volume, self.density):
            if not value > 0.0:
                raise ValueError("temperature, volume and density must be positive")

    @property
    def species(self) -> list[str]:
        """Species names in the order of `counts`."""
        return list(self.counts)

    def onsager_coefficient(self, a: str, b: str) -> float:
        """Lambda of the pair in m**2/s, whichever order `onsager` gives it in."""
        return self.onsager[(a, b)] if (a, b) in self.onsager else self.onsager[(b, a)]

    def rdf_peaks(self) -> dict[tuple[str, str], tuple[float, float]]:
        """The rdf pairs to write: `rdf_pairs`, or the default set when empty."""
        if self.rdf_pairs:
            return dict(self.rdf_pairs)
        return {p: (2.7e-10 + 1e-11 * n, 2.5 + 0.25 * (n % 4)) for n, p in enumerate(_pairs(self.species))}


def _fmt(value: float) -> str:
    # Shortest round-trip text: exact curves stay exact after reading.
    return repr(float(value))


def _write_table(path: Path, comments: Iterable[str], header: str, columns: Sequence[FloatArray]) -> None:
    lines = [*comments, header]
    for row in zip(*columns):
        lines.append(" ".join(_fmt(v) for v in row))
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


class _Curves:
    """MSD curves of one table: a time grid and a noise stream."""

    def __init__(
        self, times: FloatArray, tau: float, spec: RunSpec, rng: np.random.Generator, sampling: Sampling | None = None
    ) -> None:
        self.times = times
        self.tau = tau
        self.spec = spec
        self.rng = rng
        self.sampling = sampling

    def msd(self, slope: float, noise_scale: float = 1.0, walkers: int = 1, shared: float = 0.0) -> FloatArray:
        """slope * (t - tau * (1 - exp(-t/tau))) with noise.

        Relative noise: times (1 + eps(t)), eps a random walk in t whose
        standard deviation is noise * sqrt(t / t_max): early points are nearly
        exact, the last block carries the full noise. Order-n noise: the
        deviation of ``walkers`` sampled walkers' table from its expectation,
        sized by the slope, ``shared`` of their diffusivity moving together.
        """
        if self.spec.noise_model == "ordern" and self.spec.noise > 0.0 and self.sampling is not None:
            return self.exact(slope) + self.spec.noise * abs(slope) * ordern_noise(
                self.times, self.sampling, walkers, self.rng, shared
            )
        values = self.exact(slope)
        t = self.times
        if self.spec.noise > 0.0:
            steps = np.diff(t, prepend=0.0) / t[-1]
            eps = np.cumsum(np.sqrt(steps) * self.rng.standard_normal(t.size))
            values = values * (1.0 + self.spec.noise * noise_scale * eps)
        return np.asarray(values, dtype=np.float64)

    def exact(self, slope: float) -> FloatArray:
        t = self.times
        if self.spec.ballistic:
            return np.asarray(slope * (t + self.tau * np.expm1(-t / self.tau)), dtype=np.float64)
        return np.asarray(slope * t, dtype=np.float64)


def _grid(spec: RunSpec, grid: tuple[float, float, int], time_unit: float) -> FloatArray:
    first, last, block = grid
    # Rounding to whole fs (or ps in thousandths) keeps grid times exact.
    first_u, last_u = round(first / time_unit * 1000) / 1000, round(last / time_unit * 1000) / 1000
    if spec.rows is None:
        return order_n_times(first_u, last_u, block)
    blocks = max(1, math.ceil(math.log(last / first) / math.log(block)))
    return quasi_log_times(first_u, last_u, spec.rows, blocks)


def _sampling(times: FloatArray, grid: tuple[float, float, int], time_unit: float) -> Sampling:
    """The order-n sampling the log states for a table of ``times`` (its first lag, its block size)."""
    return Sampling(interval=float(times[0]), nbe=grid[2], run_length=_RUN_SECONDS / time_unit)


def _rdf_curves(r: FloatArray, r0: float, height: float, cut: bool = True) -> FloatArray:
    """Analytic g(r) for a first peak of `height` at `r0` (both r in A).

    Below r0 a Gaussian rise, cut to zero under r0 - 3.5 sigma; above r0
    1 + (h - 1) exp(-x/lam) (cos kx + sin kx / (k lam)), whose extrema sit
    exactly at x = n pi / k: the first minimum is at r0 + pi / k.
    """
    sigma, period = 0.07 * r0, 0.42 * r0
    k = 2.0 * math.pi / period
    lam = period / (2.0 * math.log(1.0 + 2.0 * (height - 1.0)))
    x = r - r0
    rise = height * np.exp(-((x / sigma) ** 2))
    if cut:
        rise = np.where(x < -3.5 * sigma, 0.0, rise)
    with np.errstate(over="ignore"):
        tail = 1.0 + (height - 1.0) * np.exp(-x / lam) * (np.cos(k * x) + np.sin(k * x) / (k * lam))
    return np.asarray(np.where(x < 0.0, rise, tail), dtype=np.float64)


def _simpson(f: FloatArray, h: float) -> float:
    return float(h / 3.0 * (f[0] + f[-1] + 4.0 * f[1:-1:2].sum() + 2.0 * f[2:-1:2].sum()))


def _rdf_expectation(r: FloatArray, finite: FloatArray, r0: float, height: float, rho: float) -> dict[str, float]:
    """Peak, first minimum and coordination number of the finiterdf column.

    Positions and height are the written grid values; the coordination
    number 4 pi rho int_0^rmin g r^2 dr integrates the analytic g with
    Simpson's rule on a grid 20 times finer, split where g changes form.
    `rho` is in 1/A**3.
    """
    rise = (finite[1:-1] > finite[:-2]) & (finite[1:-1] > finite[2:])
    peak = 1 + int(np.argmax(rise))
    fall = (finite[peak + 1 : -1] < finite[peak:-2]) & (finite[peak + 1 : -1] < finite[peak + 2 :])
    if not rise.any() or not fall.any():
        raise ValueError(f"the rdf grid ends before the first minimum of the peak at {r0} A")
    minimum = peak + 1 + int(np.argmax(fall))
    r_min = float(r[minimum])
    core = r0 - 3.5 * 0.07 * r0
    integral = 0.0
    for lo, hi in ((core, r0), (r0, r_min)):
        n = 2 * max(1, math.ceil((hi - lo) / RDF_SPACING * 10.0))
        grid = np.linspace(lo, hi, n + 1)
        integral += _simpson(_rdf_curves(grid, r0, height, cut=False) * grid**2, (hi - lo) / n)
    return {
        "peak_position": float(r[peak]) * ANGSTROM,
        "peak_height": float(finite[peak]),
        "first_minimum": r_min * ANGSTROM,
        "coordination_number": 4.0 * math.pi * rho * integral,
    }


def _write_rdf(path: Path, spec: RunSpec) -> dict[tuple[str, str], dict[str, float]]:
    # The radii as written, so expected positions are what a reader gets.
    r = np.array([float(f"{RDF_SPACING * (k + 0.5):.3f}") for k in range(spec.rdf_rows)])
    header = ["Radius"]
    columns = [r]
    expected = {}
    for (a, b), (position, height) in spec.rdf_peaks().items():
        if not height > 1.0:
            raise ValueError(f"rdf peak height of {a}-{b} must exceed 1")
        r0 = position / ANGSTROM
        # Ten significant digits, read back, so the expected grid values are
        # exactly what a reader gets.
        finite = np.array([float(f"{v:.10g}") for v in _rdf_curves(r, r0, height)])
        raw = np.array([float(f"{v:.10g}") for v in finite * (1.0 - _RDF_RAW_DEFICIT * r / r[-1])])
        header += [f"rdf__{a}_{b}", f"finiterdf__{a}_{b}"]
        columns += [raw, finite]
        rho = spec.counts[b] / (spec.volume / ANGSTROM**3)
        expected[(a, b)] = _rdf_expectation(r, finite, r0, height, rho)
    lines = [" ".join(header)]
    lines += [f"{row[0]:.3f} " + " ".join(f"{v:.10g}" for v in row[1:]) for row in zip(*columns)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")
    return expected


def _write_series(path: Path, name: str, values: FloatArray, stride: int) -> None:
    lines = [f"# Time-averaged data for fix ave_{name}", f"# TimeStep v_{name}"]
    lines += [f"{stride * (i + 1)} {_fmt(v)}" for i, v in enumerate(values)]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _temperatures(spec: RunSpec, rng: np.random.Generator) -> FloatArray:
    """Rows in +d/-d pairs around T with dyadic d up to 5 K: the mean is T."""
    half = spec.temperature_rows // 2
    delta = rng.integers(0, 161, size=half) / 32.0
    sign = rng.choice([-1.0, 1.0], size=half)
    values = np.empty(spec.temperature_rows)
    values[0 : 2 * half : 2] = spec.temperature + sign * delta
    values[1 : 2 * half : 2] = spec.temperature - sign * delta
    if spec.temperature_rows % 2:
        values[-1] = spec.temperature
    return values


def _write_log(path: Path, spec: RunSpec, temperatures: FloatArray) -> None:
    timestep = "1.0" if spec.units == "real" else "0.001"
    box = (spec.volume / ANGSTROM**3) ** (1.0 / 3.0)
    lines = [
        "LAMMPS (2 Aug 2023 - Update 3)",
        f"units {spec.units}",
        "atom_style full",
        "boundary p p p",
        "read_data system.data",
        "Reading data file ...",
        f"  orthogonal box = (0 0 0) to ({box:.6f} {box:.6f} {box:.6f})",
    ]
    # The group count is found by substring: a name that prefixes another
    # must come first, or its search would stop at the longer name's group.
    types = {name: k + 1 for k, name in enumerate(spec.species)}
    for name in sorted(spec.species, key=len):
        lines += [f"group {name} type {types[name]}", f"{spec.counts[name]} atoms in group {name}"]
    lines += [
        f"timestep {timestep}",
        *_sampling_lines(spec),
        "variable density equal density",
        "fix ave_density all ave/time 1 10000 10000 v_density file density.dat",
        f"velocity all create {spec.temperature} 4928459 dist gaussian",
        f"fix integrate all nvt temp {spec.temperature} {spec.temperature} {100 * float(timestep)}",
        "thermo 100000",
        "run 10000000",
        "Per MPI rank memory allocation (min/avg/max) = 15.2 | 15.2 | 15.2 Mbytes",
        "   Step          Temp          Press          Volume",
    ]
    for step, temp in zip(range(0, 400001, 100000), temperatures):
        lines.append(f"{step:>10d} {temp:13.4f} {0.0:14.4f} {box**3:14.3f}")
    lines += ["Loop time of 86400.0 on 16 procs for 10000000 steps", "Total wall time: 24:00:00"]
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")


def _sampling_lines(spec: RunSpec) -> list[str]:
    """The echoed order-n fixes behind the tables, when their grids are order-n grids (1 fs steps)."""
    if spec.rows is not None:
        return []
    steps = round(_DIFFUSION_GRID[0] / 1e-15), round(_FLUX_GRID[0] / 1e-15 / 2)
    return [
        f"fix f3 all ordern diffusivity {steps[0]} 100000 c_positions nb 10 nbe {_DIFFUSION_GRID[2]} "
        "file diffself.dat diffonsag.dat",
        f"fix f1 all ordern viscosity {steps[1]} 100000 c_P nb 10 nbe {_FLUX_GRID[2]} file viscosity.dat",
        f"fix f2 all ordern thermalconductivity {steps[1]} 100000 c_heatflux nb 10 nbe {_FLUX_GRID[2]} "
        "file tconductivity.dat",
    ]


def write_run(folder: str | os.PathLike[str], spec: RunSpec, *, log: bool = True) -> dict[str, object]:
    """Write the files of one synthetic run into `folder` (created if needed).

    Files: diffself.dat, diffonsag.dat, viscosity.dat, tconductivity.dat,
    rdf.dat, volume.dat, density.dat, temperature.dat and, when `log`,
    log.lammps. Returns the answers in SI units:

    - "self_diffusion": {species: D in m**2/s}
    - "onsager": {(i, j): Lambda in m**2/s}, pairs in the order of `counts`
      (the file names one off-diagonal pair the other way round)
    - "shear_viscosity", "bulk_viscosity": Pa*s
    - "thermal_conductivity": W/(m*K)
    - "temperature": K (mean of temperature.dat)
    - "volume": m**3, "density": kg/m**3 (the means of their block averages)
    - "rdf": {(i, j): {"peak_position": m, "peak_height": 1,
      "first_minimum": m, "coordination_number": 1}}, taken from the
      finiterdf column, which an analysis prefers over the uncorrected rdf
      column (that one sags to 0.99 at the end of the grid); peak and
      minimum are the grid points of the first local maximum and the first
      local minimum after it.
    """
    out = Path(folder)
    out.mkdir(parents=True, exist_ok=True)
    time_unit, pressure_unit, energy_unit = _STYLES[spec.units]
    length2_per_time = ANGSTROM**2 / time_unit  # m**2/s per A**2/time unit
    names = spec.species
    total = sum(spec.counts.values())
    streams = [np.random.default_rng([spec.seed, k]) for k in range(5)]
    time_name = "fs" if spec.units == "real" else "ps"
    unit_note = f"# Time in {time_name}, MSD in Angstrom^2 (units {spec.units})"

    diffusion_times = _grid(spec, _DIFFUSION_GRID, time_unit)
    diffusion_sampling = _sampling(diffusion_times, _DIFFUSION_GRID, time_unit)
    diffusion = _Curves(diffusion_times, _DIFFUSION_TAU / time_unit, spec, streams[0], diffusion_sampling)
    self_cols = [
        diffusion.msd(
            spec.counts[n] * spec.self_diffusion[n] / length2_per_time,
            walkers=3 * spec.counts[n],
            shared=spec.shared.get(n, 0.0),
        )
        for n in names
    ]
    _write_table(
        out / "diffself.dat",
        [
            "# ZORV self-diffusion MSD (synthetic run)",
            unit_note,
            "#NOTE: values are already divided by 6",
            "#NOTE: divide each MSD__<species> column by N_i, the number of molecules of that species",
        ],
        "#Time " + " ".join(f"MSD__{n}" for n in names),
        [diffusion.times, *self_cols],
    )

    onsager = _Curves(diffusion.times, diffusion.tau, spec, streams[1], diffusion_sampling)
    pairs = _pairs(names)
    # Readers must accept either order of a pair's names.
    flipped = next((p for p in pairs if p[0] != p[1]), None)
    slopes = {(a, b): total * spec.onsager_coefficient(a, b) / length2_per_time for a, b in pairs}
    onsag_cols = [onsager.msd(slopes[pair]) for pair in pairs]
    if spec.noise_model == "ordern" and spec.noise > 0.0:
        # The columns' noise drawn together: a cross column's goes with its diagonals' (Isserlis).
        matrix = np.array([[slopes[(a, b) if (a, b) in slopes else (b, a)] for b in names] for a in names])
        drawn = onsager_noise(diffusion.times, diffusion_sampling, matrix, streams[1])
        index = {name: k for k, name in enumerate(names)}
        onsag_cols = [onsager.exact(slopes[(a, b)]) + spec.noise * drawn[(index[a], index[b])] for a, b in pairs]
    _write_table(
        out / "diffonsag.dat",
        [
            "# ZORV Onsager MSD (synthetic run)",
            unit_note,
            "#NOTE: values are already divided by 6",
            f"#NOTE: divide by N, the total number of molecules ({total})",
        ],
        "#Time " + " ".join(f"MSD__{b}_{a}" if (a, b) == flipped else f"MSD__{a}_{b}" for a, b in pairs),
        [onsager.times, *onsag_cols],
    )

    flux_times = _grid(spec, _FLUX_GRID, time_unit)
    flux_sampling = _sampling(flux_times, _FLUX_GRID, time_unit)
    viscosity = _Curves(flux_times, _FLUX_TAU / time_unit, spec, streams[2], flux_sampling)
    shear = spec.shear_viscosity * spec.temperature / (pressure_unit * time_unit)
    bulk = spec.bulk_viscosity * spec.temperature / (pressure_unit * time_unit)
    visc_names = [*VISCOSITY_COMPONENTS, "off", "all"]
    _write_table(
        out / "viscosity.dat",
        [
            "# ZORV viscosity MSD (synthetic run)",
            f"# Time in {time_name} (units {spec.units}), integrated pressure-tensor correlations",
            "#NOTE: slope / T is the viscosity in pressure x time",
        ],
        "#Time " + " ".join(f"MSD_{c}" for c in visc_names) + " MSD_bulkvisc",
        [
            flux_times,
            *(viscosity.msd(shear, _VISCOSITY_NOISE[c], _VISCOSITY_WALKERS[c]) for c in visc_names),
            # The engine integrates the pressure less the run's own mean: the moment bends as s·(1 − s/T).
            viscosity.msd(bulk) * (1.0 - flux_times / flux_sampling.run_length if spec.rows is None else 1.0),
        ],
    )

    heat = _Curves(flux_times, _FLUX_TAU / time_unit, spec, streams[3], flux_sampling)
    kappa = spec.thermal_conductivity * spec.temperature**2 / (energy_unit / (ANGSTROM * time_unit))
    _write_table(
        out / "tconductivity.dat",
        [
            "# ZORV thermal conductivity MSD (synthetic run)",
            f"# Time in {time_name} (units {spec.units}), integrated heat-flux correlations",
            "#NOTE: slope / T^2 is the thermal conductivity in energy / (length time K)",
        ],
        "#Time MSD_x MSD_y MSD_z MSD_all",
        [flux_times, heat.msd(kappa), heat.msd(kappa), heat.msd(kappa), heat.msd(kappa, 3**-0.5, 3)],
    )

    rdf = _write_rdf(out / "rdf.dat", spec)

    # Block averages drift a little about the answer, which is their mean.
    drift = np.sin(np.arange(5) * 1.3)
    wobble = 0.002 * (drift - drift.mean())
    _write_series(out / "volume.dat", "volume", spec.volume / ANGSTROM**3 * (1.0 + wobble), 10000)
    _write_series(out / "density.dat", "density", spec.density / 1000.0 * (1.0 - wobble), 10000)
    temperatures = _temperatures(spec, streams[4])
    _write_series(out / "temperature.dat", "temp", temperatures, 1000)
    if log:
        _write_log(out / "log.lammps", spec, temperatures)

    return {
        "self_diffusion": {n: spec.self_diffusion[n] for n in names},
        "onsager": {p: spec.onsager_coefficient(*p) for p in pairs},
        "shear_viscosity": spec.shear_viscosity,
        "bulk_viscosity": spec.bulk_viscosity,
        "thermal_conductivity": spec.thermal_conductivity,
        "temperature": spec.temperature,
        "volume": spec.volume,
        "density": spec.density,
        "rdf": rdf,
    }
