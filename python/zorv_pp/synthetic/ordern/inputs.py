"""The physical inputs and order-n settings of one simulated run."""

from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, field

import numpy as np

from ...run.sampling import Sampling
from .walkers import FloatArray

# Salts the random runs are made of: (cation, anion), with a solvent or without.
_SALTS = (("Na", "Cl"), ("K", "OH"), ("Li", "TFSI"), ("Cs", "Br"))
_SOLVENTS = ("water", "MeOH")
# Walker-samples of the diffusion tables above which a run takes too long to write.
_DIFFUSION_BUDGET = 600_000


def species_pairs(names: list[str]) -> list[tuple[str, str]]:
    return [(a, b) for i, a in enumerate(names) for b in names[i:]]


@dataclass(frozen=True)
class OrderNRunSpec:
    """One simulated run, physical inputs in SI, order-n settings as in a LAMMPS input.

    counts: molecules per species (2 or 3); each species' log group holds one
        atom per molecule.
    self_diffusion: m²/s per species.
    onsager: m²/s per unordered pair, (i, i) included, each pair once in either
        order; the matrix must be positive semi-definite (it is the collective
        displacements' diffusion matrix divided by the total molecule count).
    shear_viscosity, bulk_viscosity: Pa·s; thermal_conductivity: W/(m·K).
    temperature: K; volume: m³.
    tau_diffusion, tau_flux: s, the velocity relaxation time of the molecules
        and collective displacements, and of the integrated stress and heat flux.
    slow_share, slow_factor: a share of every diffusivity relaxing
        slow_factor times more slowly (0: one relaxation).
    rattle_share, rattle_factor: a rattle in a cage, relaxing in τ·rattle_factor,
        that adds a share rattle_share of every diffusivity to the local slope
        at the shortest lags: the curves approach their lines from above (0: none).
    shared: the share of a molecule's self-diffusivity carried by the box's
        collective flow, one walker per dimension common to all molecules of a
        species: one share for every species, or one per species (a species
        not named: 0). The flow gives every molecule about the same
        diffusivity, so the slower species' share is the larger (0: the
        molecules move independently).
    timestep: fs; steps: the production run's steps; diffusion_every: the
        diffusivity fix's NEVERY; flux_every: the viscosity and thermal
        conductivity fixes' NEVERY (they sample at twice it); nb, nbe: blocks
        and elements per block.
    charges: e per species, for the electrical conductivity answer (None: none).
    """

    counts: Mapping[str, int]
    self_diffusion: Mapping[str, float]
    onsager: Mapping[tuple[str, str], float]
    shear_viscosity: float = 8.9e-4
    bulk_viscosity: float = 2.4e-3
    thermal_conductivity: float = 0.6
    temperature: float = 298.15
    volume: float = 1.5e-26
    tau_diffusion: float = 2e-13
    tau_flux: float = 1e-13
    slow_share: float = 0.0
    slow_factor: float = 20.0
    rattle_share: float = 0.0
    rattle_factor: float = 5.0
    shared: float | Mapping[str, float] = 0.0
    timestep: float = 1.0
    steps: int = 1_000_000
    diffusion_every: int = 1000
    flux_every: int = 5
    nb: int = 10
    nbe: int = 20
    charges: Mapping[str, float] | None = field(default=None)
    seed: int = 0

    def __post_init__(self) -> None:
        names = list(self.counts)
        if not 1 <= len(names) <= 4 or any(n < 1 for n in self.counts.values()):
            raise ValueError("counts must name 1-4 species of at least one molecule each")
        if set(self.self_diffusion) != set(names):
            raise ValueError("self_diffusion must name exactly the species of counts")
        given = [frozenset(p) for p in self.onsager]
        if len(given) != len(set(given)) or set(given) != {frozenset(p) for p in species_pairs(names)}:
            raise ValueError("onsager must give every unordered species pair exactly once")
        if min(np.linalg.eigvalsh(self.onsager_matrix())) < -1e-12 * max(abs(v) for v in self.onsager.values()):
            raise ValueError("the Onsager matrix must be positive semi-definite")
        if not 0.0 <= self.slow_share < 1.0 or self.slow_factor <= 0.0:
            raise ValueError("slow_share must lie in [0, 1) and slow_factor be positive")
        if not (self.rattle_share >= 0.0 and self.rattle_factor > 0.0):
            raise ValueError("rattle_share must not be negative and rattle_factor must be positive")
        if isinstance(self.shared, Mapping) and not set(self.shared) <= set(names):
            raise ValueError("shared must name species of counts")
        if not all(0.0 <= s <= 1.0 for s in self.shares.values()):
            raise ValueError("shared must lie in [0, 1]")
        if min(self.steps, self.diffusion_every, self.flux_every, self.nb) < 1 or self.nbe < 2:
            raise ValueError("steps, every, nb must be positive and nbe at least 2")
        positive = (
            self.shear_viscosity,
            self.bulk_viscosity,
            self.thermal_conductivity,
            self.temperature,
            self.volume,
            self.tau_diffusion,
            self.tau_flux,
            self.timestep,
            *self.self_diffusion.values(),
        )
        if not all(v > 0.0 and math.isfinite(v) for v in positive):
            raise ValueError("coefficients, temperature, volume, times and the timestep must be positive")

    @property
    def shares(self) -> dict[str, float]:
        """The share of each species' self-diffusivity the box's flow carries (see ``shared``)."""
        if isinstance(self.shared, Mapping):
            return {n: float(self.shared.get(n, 0.0)) for n in self.counts}
        return {n: float(self.shared) for n in self.counts}

    @property
    def species(self) -> list[str]:
        """Species in the order of ``counts``."""
        return list(self.counts)

    def onsager_coefficient(self, a: str, b: str) -> float:
        """Λ of a pair in m²/s, whichever order ``onsager`` names it in."""
        return self.onsager[(a, b)] if (a, b) in self.onsager else self.onsager[(b, a)]

    def onsager_matrix(self) -> FloatArray:
        """Λ_ij in m²/s, species in the order of ``counts``."""
        names = self.species
        return np.array([[self.onsager_coefficient(a, b) for b in names] for a in names], dtype=np.float64)

    def sampling(self, table: str) -> Sampling:
        """Order-n sampling (fs) of "diffusion" (diffself, diffonsag) or "flux" (viscosity, tconductivity)."""
        every = {"diffusion": self.diffusion_every, "flux": 2 * self.flux_every}[table]
        return Sampling(
            interval=every * self.timestep, nbe=self.nbe, run_length=self.steps * self.timestep, blocks=self.nb
        )

    @classmethod
    def random(
        cls, rng: np.random.Generator, *, slow: bool = False, rattle: bool = False, seed: int | None = None
    ) -> OrderNRunSpec:
        """A varied, realistic salt run: 2 or 3 species, D, τ, N, T, Δ0 and nbe all drawn.

        ``slow`` gives every walker a slow second relaxation (5-30 % of D,
        10-50x slower); ``rattle`` a rattle in a cage (adding 20-200 % of D to
        the local slope at the shortest lags, relaxing 3-30x slower than τ).
        Sizes keep one run at about 0.1-0.3 s to write.
        """

        def log_uniform(low: float, high: float) -> float:
            return float(math.exp(rng.uniform(math.log(low), math.log(high))))

        cation, anion = _SALTS[int(rng.integers(len(_SALTS)))]
        ions = int(rng.integers(16, 81))
        counts = {cation: ions, anion: ions}
        if rng.random() < 0.6:
            counts[_SOLVENTS[int(rng.integers(len(_SOLVENTS)))]] = int(rng.integers(150, 501))
        names = list(counts)
        total = sum(counts.values())
        diffusion = {n: log_uniform(3e-10, 4e-9) for n in names}
        # Λ = S^½ C S^½ / N with S_i = N_i D_i g_i: the self part scaled, correlated by C.
        while True:
            corr = np.eye(len(names))
            upper = np.triu_indices(len(names), 1)
            corr[upper] = rng.uniform(-0.5, 0.5, size=len(upper[0]))
            corr.T[upper] = corr[upper]
            if np.linalg.eigvalsh(corr).min() > 0.15:
                break
        size = np.sqrt([counts[n] * diffusion[n] * rng.uniform(0.5, 1.5) for n in names])
        lam = size[:, None] * corr * size[None, :] / total
        onsager = {(a, b): float(lam[i, j]) for i, a in enumerate(names) for j, b in enumerate(names) if j >= i}

        timestep = float(rng.choice([0.5, 1.0, 2.0]))
        nbe = int(rng.choice([5, 8, 10, 16, 20]))
        diffusion_every = int(rng.choice([250, 500, 1000, 2000]))
        samples = int(rng.integers(200, 1001))
        if rng.random() < 0.2:
            # A power of nbe: the last row of a block and the first of the next are one estimate.
            samples = nbe ** max(1, round(math.log(600) / math.log(nbe)))
        samples = min(samples, max(50, _DIFFUSION_BUDGET // (3 * total)))
        steps = samples * diffusion_every
        flux_every = max(1, int(rng.choice([1, 2, 5, 10])), -(-steps // 80_000))
        interval_diffusion = diffusion_every * timestep * 1e-15
        interval_flux = 2 * flux_every * timestep * 1e-15
        eta = log_uniform(3e-4, 5e-3)
        return cls(
            counts=counts,
            self_diffusion=diffusion,
            onsager=onsager,
            shear_viscosity=eta,
            bulk_viscosity=eta * rng.uniform(0.8, 3.0),
            thermal_conductivity=rng.uniform(0.1, 0.7),
            temperature=rng.uniform(280.0, 400.0),
            volume=total * rng.uniform(25.0, 60.0) * 1e-30,
            tau_diffusion=interval_diffusion * log_uniform(0.1, 3.0),
            tau_flux=interval_flux * log_uniform(1.0, 30.0),
            slow_share=rng.uniform(0.05, 0.3) if slow else 0.0,
            slow_factor=rng.uniform(10.0, 50.0) if slow else 20.0,
            rattle_share=rng.uniform(0.2, 2.0) if rattle else 0.0,
            rattle_factor=log_uniform(3.0, 30.0) if rattle else 5.0,
            timestep=timestep,
            steps=steps,
            diffusion_every=diffusion_every,
            flux_every=flux_every,
            nb=10,
            nbe=nbe,
            charges={n: (1.0 if n == cation else -1.0 if n == anion else 0.0) for n in names},
            seed=int(rng.integers(2**31)) if seed is None else seed,
        )
