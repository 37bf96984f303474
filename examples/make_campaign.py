"""Writes examples/campaign/: synthetic KOH(aq) runs at three molalities.

Each state is 1000 water molecules plus n K+ and n OH- (n from the
molality), at 298.15 K, in three replicas that differ only in noise, sampled
as the order-n computation samples its walkers (each species' molecules
sharing the box's flow as strongly as its viscosity and size give). The values follow the trends of a non-polarisable
force field without proton hopping: self-diffusion slows and viscosity
rises with molality, OH- diffuses faster than K+ but below experiment.
Onsager diagonals are N_i D_i / N with weak ion-ion and ion-water
couplings. Everything is deterministic (fixed seeds).

    PYTHONPATH=build/<name>/python python3 examples/make_campaign.py [OUTPUT_FOLDER]

(the zorv_pp package imports the built _zorv_pp module).
"""

from __future__ import annotations

import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

from zorv_pp.analysis.shared_motion import flow_share, yeh_hummer_term  # noqa: E402
from zorv_pp.synthetic import CampaignState, RunSpec, Species, write_campaign  # noqa: E402
from zorv_pp.units import REAL  # noqa: E402

AVOGADRO = 6.02214076e23
WATER = 1000
MOLALITIES = (2.0, 4.0, 6.0)  # mol/kg
TEMPERATURE = 298.15  # K
SPECIES = {
    "K": Species(charge=1, molar_mass=39.0983),
    "OH": Species(charge=-1, molar_mass=17.007),
    "water": Species(charge=0, molar_mass=18.015),
}


def shared_flow(
    counts: dict[str, int], diffusion: dict[str, float], viscosity: float, volume: float
) -> dict[str, float]:
    """The share of each species' diffusivity its molecules move together with, as the box's flow would."""
    term = yeh_hummer_term(REAL, TEMPERATURE, volume, viscosity)
    return {n: flow_share(counts[n], diffusion[n], term) for n in counts}


def state(index: int, molality: float) -> CampaignState:
    ions = round(molality * WATER * SPECIES["water"].molar_mass / 1000.0)
    counts = {"K": ions, "OH": ions, "water": WATER}
    total = sum(counts.values())
    diffusion = {  # m^2/s
        "K": 1.9e-9 * (1.0 - 0.04 * molality),
        "OH": 3.0e-9 * (1.0 - 0.05 * molality),
        "water": 2.3e-9 * (1.0 - 0.06 * molality),
    }
    diagonal = {name: counts[name] * diffusion[name] / total for name in counts}
    onsager = {
        ("K", "K"): diagonal["K"],
        ("OH", "OH"): diagonal["OH"],
        ("water", "water"): diagonal["water"],
        ("K", "OH"): 0.15 * diagonal["K"],
        ("K", "water"): -0.05 * diagonal["K"],
        ("OH", "water"): -0.05 * diagonal["OH"],
    }
    density = 997.0 * (1.0 + 0.047 * molality - 0.0012 * molality**2)  # kg/m^3
    viscosity = 0.89e-3 * (1.0 + 0.1 * molality + 0.01 * molality**2)  # Pa s
    mass = sum(counts[n] * SPECIES[n].molar_mass for n in counts) / AVOGADRO / 1000.0  # kg
    spec = RunSpec(
        counts=counts,
        self_diffusion=diffusion,
        onsager=onsager,
        shear_viscosity=viscosity,
        bulk_viscosity=2.4e-3 * (1.0 + 0.08 * molality),
        thermal_conductivity=0.61 - 0.012 * molality,
        temperature=TEMPERATURE,
        volume=mass / density,
        density=density,
        rdf_pairs={("K", "water"): (2.80e-10, 3.2), ("OH", "water"): (2.62e-10, 2.6)},
        noise=1.0,
        noise_model="ordern",
        shared=shared_flow(counts, diffusion, viscosity, mass / density),
        temperature_rows=100,
        rdf_rows=800,
        seed=100 * (index + 1),
    )
    return CampaignState(f"m{molality:.1f}_T298", spec, {"molality": molality})


def main(folder: Path) -> None:
    if folder.exists():
        shutil.rmtree(folder)
    write_campaign(
        folder,
        states=[state(i, m) for i, m in enumerate(MOLALITIES)],
        replicas=3,
        species=SPECIES,
        window={"margin": 0.1},
    )


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent / "campaign")
