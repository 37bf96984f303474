"""Writes diffself.dat: self-diffusion MSD of water in five replica runs.

Synthetic but physical: a Langevin particle with the mass of a water
molecule at 298.15 K and D = 2.3e-9 m^2/s, so the curve is ballistic
(3kT/m t^2) below the velocity relaxation time (about 17 fs) and diffusive
(6 D t) above it. Each replica carries correlated noise that grows toward
long lag times, where fewer time origins are averaged. Time in ps, MSD in
Angstrom^2 (1 Angstrom^2/ps = 1e-8 m^2/s).

    python3 examples/data/make_diffself.py
"""

import math
import os
import random

KB = 1.380649e-23
AMU = 1.66053906660e-27
TEMPERATURE = 298.15
MASS = 18.015 * AMU
DIFFUSION = 2.3e-9  # m^2/s
RUNS = 5
POINTS = 400


def msd_angstrom2(t_ps):
    tau = DIFFUSION * MASS / (KB * TEMPERATURE)  # velocity relaxation time, s
    t = t_ps * 1e-12
    x = t / tau
    shape = x - (-math.expm1(-x)) if x > 1e-6 else 0.5 * x * x
    return 6.0 * DIFFUSION * tau * shape * 1e20


def noisy(times, rng):
    values, drift = [], 0.0
    for t in times:
        drift = 0.92 * drift + math.sqrt(1 - 0.92**2) * rng.gauss(0.0, 1.0)
        spread = 0.002 + 0.25 * (t / times[-1]) ** 1.2
        values.append(msd_angstrom2(t) * (1.0 + spread * drift))
    return values


def main():
    times = [1e-3 * 10 ** (6.0 * i / (POINTS - 1)) for i in range(POINTS)]
    rng = random.Random(20261207)
    columns = [noisy(times, rng) for _ in range(RUNS)]
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "diffself.dat")
    with open(path, "w") as out:
        out.write("# Self-diffusion MSD of water, 5 replica runs, 298.15 K (synthetic)\n")
        out.write("# Time in ps, MSD in Angstrom^2\n")
        out.write("#Time " + " ".join(f"MSD_run{r + 1}" for r in range(RUNS)) + "\n")
        for i, t in enumerate(times):
            out.write(f"{t:.6e} " + " ".join(f"{c[i]:.6e}" for c in columns) + "\n")


if __name__ == "__main__":
    main()
