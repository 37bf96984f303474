"""KOH solution properties over a small temperature/molality grid, and the
round trip molality -> molarity -> molality through the density model."""

import _zorv_pp as z

# Illustrative fits, not published values: the density parameters were fitted
# by hand to handbook KOH densities at 25 degC (about 1045, 1206 and
# 1355 kg/m^3 at 1, 5 and 10 mol/kg), the viscosity parameters to roughly
# 1.0, 1.65 and 3.3 mPa*s at the same points.
KOH_MOLAR_MASS = 56.1056  # g/mol
KOH_DENSITY_FIT = (657.16, 1923.4, 0.2145, 2e-4, 10.0)  # c0..c4
KOH_VISCOSITY_FIT = (9.69, 1.59, 2.51, 0.01, 0.0, 1.0)  # v1..v6

TEMPERATURES = [298.15, 323.15, 353.15]  # K
MOLALITIES = [1.0, 3.0, 6.0]  # mol/kg


def property_table():
    points = [(t, m) for t in TEMPERATURES for m in MOLALITIES]
    ts = [t for t, _ in points]
    ms = [m for _, m in points]
    densities, molarities = z.laliberte_density(ts, ms, KOH_MOLAR_MASS, *KOH_DENSITY_FIT)
    viscosities = z.laliberte_viscosity(ts, ms, KOH_MOLAR_MASS, *KOH_VISCOSITY_FIT)
    conductivities = z.koh_gilliam_eval(ts, ms, KOH_MOLAR_MASS, *KOH_DENSITY_FIT)
    return list(zip(ts, ms, densities, molarities, viscosities, conductivities))


def round_trip(temperature):
    molarities = z.laliberte_density([temperature] * len(MOLALITIES), MOLALITIES, KOH_MOLAR_MASS, *KOH_DENSITY_FIT)[1]
    back = z.molarity_to_molality(molarities, temperature, KOH_MOLAR_MASS, *KOH_DENSITY_FIT, 1e-10, 200)
    return list(zip(MOLALITIES, molarities, back))


def run(out_dir):
    """Prints the table and returns the conductivity curves for the figure."""
    print("KOH(aq): density, viscosity and conductivity (illustrative fits)")
    print(f"{'T/K':>7} {'m/(mol/kg)':>10} {'rho/(kg/m3)':>11} {'M/(mol/L)':>9} {'eta/(mPa s)':>11} {'sigma/(S/m)':>11}")
    for t, m, rho, molarity, eta, sigma in property_table():
        print(f"{t:7.2f} {m:10.2f} {rho:11.1f} {molarity:9.4f} {eta * 1e3:11.3f} {sigma:11.2f}")
    print("round trip at 298.15 K: molality -> molarity -> molality")
    for m, molarity, back in round_trip(298.15):
        print(f"  {m:5.2f} mol/kg -> {molarity:.6f} mol/L -> {back:.12f} mol/kg")
    molalities = [0.25 * i for i in range(1, 49)]
    curves = {
        t: z.koh_gilliam_eval([t] * len(molalities), molalities, KOH_MOLAR_MASS, *KOH_DENSITY_FIT)
        for t in (298.15, 323.15, 353.15, 373.15)
    }
    return {"molalities": molalities, "curves": curves}


if __name__ == "__main__":
    run(None)
