"""Transport analysis: the self-diffusion coefficient of water from MSD
curves of five replica runs, their mean and spread, and the first peak of an
O-O radial distribution function."""

import math
import os

import _zorv_pp as z

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "diffself.dat")
ANGSTROM2_PER_PS = 1e-8  # in m^2/s
# Window search: trim 5 % at each end, windows of 10 to 199 points whose
# log-log slope lies within 0.1 of 1.
MARGIN, MIN_WINDOW, MAX_WINDOW, MAX_ERROR, MIN_DISPLACEMENT = 0.05, 10, 200, 0.1, 0.0


def read_table(path):
    """The columns of a transport table: the module's reader when built,
    else the same rules in plain Python (last "#Time" line is the header)."""
    parse = getattr(z, "parse_zorv_file", None)
    if parse is not None:
        return parse(path)
    with open(path, encoding="utf-8") as handle:
        lines = handle.read().splitlines()
    header = max((i for i, line in enumerate(lines) if line.lstrip().startswith("#Time")), default=0)
    names = lines[header].replace("#", "").split()
    table = {name: [] for name in names}
    for line in lines[header + 1 :]:
        tokens = line.replace("#", "").split()[: len(names)]
        try:
            row = [float(token) for token in tokens]
        except ValueError:
            continue
        if len(row) == len(names):
            for name, value in zip(names, row):
                table[name].append(value)
    return table


def water_rdf():
    """A smooth O-O g(r) with a tiny ripple: first shell at 2.8 Angstrom,
    second at 4.5, excluded volume below 2.4."""
    r = [0.02 * i for i in range(400)]
    g = []
    for x in r:
        core = 0.0 if x < 2.4 else 1.0 - math.exp(-(((x - 2.4) / 0.35) ** 2))
        shells = (
            2.1 * math.exp(-(((x - 2.8) / 0.14) ** 2))
            - 0.35 * math.exp(-(((x - 3.45) / 0.35) ** 2))
            + 0.15 * math.exp(-(((x - 4.5) / 0.4) ** 2))
        )
        g.append(core * (1.0 + shells) + 0.002 * math.sin(37.0 * x) * core)
    return r, g


def run(out_dir):
    print("Transport analysis")
    table = read_table(DATA)
    time = table["Time"]
    runs = [name for name in table if name.startswith("MSD_")]
    coefficients, first = [], None
    for name in runs:
        slope, t_fit, fit = z.diff_calculator(
            time, table[name], MARGIN, MIN_WINDOW, MAX_WINDOW, MAX_ERROR, MIN_DISPLACEMENT
        )
        coefficient = slope / 6.0 * ANGSTROM2_PER_PS
        coefficients.append(coefficient)
        print(f"  {name}: window {t_fit[0]:.3g}-{t_fit[-1]:.3g} ps ({len(t_fit)} points), D = {coefficient:.3e} m^2/s")
        first = first or (name, slope, t_fit, fit)
    mean, spread, count = z.repacking_results(coefficients)
    print(f"  D over {count} runs: {mean:.3e} +- {spread:.1e} m^2/s")

    r, g = water_rdf()
    start = next(i for i, x in enumerate(r) if x >= 1.0)
    peak = z.local_maximum_finder(g, start, 5)
    print(f"  first O-O RDF peak: r = {r[peak]:.2f} Angstrom, g = {g[peak]:.2f}")

    name, slope, t_fit, fit = first
    return {
        "D_mean": mean,
        "D_std": spread,
        "runs": count,
        "rdf_peak_r": r[peak],
        "fit": {"name": name, "time": time, "msd": table[name], "t_fit": t_fit, "fit": fit, "slope": slope},
    }


if __name__ == "__main__":
    import sys

    run(sys.argv[1] if len(sys.argv) > 1 else ".")
