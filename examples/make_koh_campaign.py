"""Writes examples/koh_campaign/: a synthetic KOH(aq) study, 3 concentrations x 2 temperatures x 3 replicas.

Each state is 1000 water molecules with n K+ and n OH- at 298.15 K or
333.15 K; two states per temperature are given by molality (2 and 4 mol/kg)
and one by molarity (5 mol/L), which the study converts. The MD values
behave like a non-polarisable force field without proton hopping, set
against the experimental correlations the study compares with:

- density 1-3 % below the Laliberté model, shear viscosity 5-25 % off it;
- self-diffusion following Stokes-Einstein (T / eta) from classical
  infinite-dilution values, OH- barely faster than K+ (no structural
  diffusion), Yeh-Hummer corrected values as the targets;
- Onsager conductivity 65-80 % of Gilliam's experimental value, with the
  K-OH cross coefficient (ion pairing) set to reach it. One state (2 mol/kg
  at 333.15 K) is made to overshoot experiment, so the study shows the
  branch with no deficit.

Replicas differ only in noise, sampled as the order-n computation samples its walkers (each species'
molecules sharing the box's flow as strongly as its viscosity and size give); everything is deterministic.

    PYTHONPATH=build/<name>/python python3 examples/make_koh_campaign.py [OUTPUT_FOLDER]
"""

from __future__ import annotations

import math
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))

from zorv_pp.analysis.shared_motion import flow_share  # noqa: E402
from zorv_pp.koh import KOH  # noqa: E402
from zorv_pp.synthetic import CampaignState, RunSpec, Species, write_campaign  # noqa: E402
from zorv_pp.units import AVOGADRO, BOLTZMANN, ELEMENTARY_CHARGE, YEH_HUMMER_XI  # noqa: E402

WATER = 1000
TEMPERATURES = (298.15, 333.15)  # K
CONCENTRATIONS = (("molality", 2.0), ("molality", 4.0), ("molarity", 5.0))  # mol/kg, mol/L
SPECIES = {
    "K": Species(charge=1, molar_mass=39.0983),
    "OH": Species(charge=-1, molar_mass=17.007),
    "water": Species(charge=0, molar_mass=18.015),
}
# Classical force-field self-diffusion at infinite dilution and 298.15 K, m^2/s.
DILUTE = {"K": 1.85e-9, "OH": 2.05e-9, "water": 2.35e-9}
ETA_WATER_298 = 0.89e-3  # Pa s
# sigma_MD / sigma_exp per state: a deficit everywhere but at (333.15 K, 2 mol/kg).
RATIO = {
    (298.15, 0): 0.72,
    (298.15, 1): 0.68,
    (298.15, 2): 0.66,
    (333.15, 0): 1.04,
    (333.15, 1): 0.78,
    (333.15, 2): 0.74,
}
HAVEN = 0.9  # sigma_MD / sigma_NE from ion pairing, at least


def shared_flow(counts: dict[str, int], diffusion: dict[str, float], correction: float) -> dict[str, float]:
    """The share of each species' diffusivity its molecules move together with, as the box's flow would."""
    return {n: flow_share(counts[n], diffusion[n], correction) for n in counts}


def state(t_index: int, c_index: int) -> CampaignState:
    temperature = TEMPERATURES[t_index]
    kind, value = CONCENTRATIONS[c_index]
    molality = value if kind == "molality" else KOH.molality_of(value, temperature)
    ions = round(molality * WATER * SPECIES["water"].molar_mass / 1000.0)
    counts = {"K": ions, "OH": ions, "water": WATER}
    total = sum(counts.values())
    density_model, _ = KOH.density_at(temperature, molality)
    density = density_model * (0.99 - 0.002 * molality - 2e-4 * (temperature - 298.15))  # kg/m^3
    mass = sum(counts[n] * SPECIES[n].molar_mass for n in counts) / AVOGADRO / 1000.0  # kg
    volume = mass / density
    box = volume ** (1.0 / 3.0)
    viscosity = KOH.viscosity_at(temperature, molality) * (0.95 + 0.05 * molality / 2.0)  # Pa s
    correction = YEH_HUMMER_XI * BOLTZMANN * temperature / (6.0 * math.pi * viscosity * box)
    stokes = (ETA_WATER_298 / viscosity) * (temperature / 298.15)
    corrected = {name: d * stokes for name, d in DILUTE.items()}
    prefactor = ELEMENTARY_CHARGE**2 / (volume * BOLTZMANN * temperature)
    target = RATIO[(temperature, c_index)] * KOH.conductivity_at(temperature, molality)  # S/m
    ne = prefactor * ions * (corrected["K"] + corrected["OH"])
    if target > HAVEN * ne:  # a faster force field: scale the ions up to reach the target
        scale = target / (HAVEN * ne)
        corrected["K"] *= scale
        corrected["OH"] *= scale
    pbc = {name: d - correction for name, d in corrected.items()}
    diagonal = {name: counts[name] * pbc[name] / total for name in counts}
    # sigma = prefactor * N * (L_KK + L_OHOH - 2 L_KOH): the cross term reaches the target.
    cross = (diagonal["K"] + diagonal["OH"] - target / (prefactor * total)) / 2.0
    onsager = {
        ("K", "K"): diagonal["K"],
        ("OH", "OH"): diagonal["OH"],
        ("water", "water"): diagonal["water"],
        ("K", "OH"): cross,
        ("K", "water"): -0.05 * diagonal["K"],
        ("OH", "water"): -0.05 * diagonal["OH"],
    }
    spec = RunSpec(
        counts=counts,
        self_diffusion=pbc,
        onsager=onsager,
        shear_viscosity=viscosity,
        bulk_viscosity=2.5 * viscosity,
        thermal_conductivity=0.60 - 0.01 * molality + 0.001 * (temperature - 298.15),
        temperature=temperature,
        volume=volume,
        density=density,
        rdf_pairs={("OH", "water"): (2.64e-10, 2.5), ("K", "water"): (2.80e-10, 3.2)},
        noise=1.0,
        noise_model="ordern",
        shared=shared_flow(counts, pbc, correction),
        temperature_rows=50,
        rdf_rows=520,
        seed=1000 * (t_index + 1) + 100 * (c_index + 1),
    )
    prefix = "m" if kind == "molality" else "c"
    return CampaignState(f"{prefix}{value:.1f}_T{temperature:.0f}", spec, {kind: value})


def main(folder: Path) -> None:
    if folder.exists():
        shutil.rmtree(folder)
    write_campaign(
        folder,
        states=[state(t, c) for t in range(len(TEMPERATURES)) for c in range(len(CONCENTRATIONS))],
        replicas=3,
        species=SPECIES,
        window={"margin": 0.1},
    )


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent / "koh_campaign")
