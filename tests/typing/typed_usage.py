"""A typed user script: mypy --strict must accept it with the installed stubs.
(Type-checked only; tools/check_stubs.py runs it through mypy.)"""

import array
from fractions import Fraction

import numpy as np

import _zorv_pp as zp


def fit_msd(path: str) -> tuple[float, list[float], list[float]]:
    table: dict[str, list[float]] = zp.parse_zorv_file(path)
    time = np.asarray(table["Time"])
    return zp.diff_calculator(time, table["MSD_all"], 0.05, 10, 100, 0.2, 1e-10)


def summarise(estimates: list[float]) -> str:
    mean, std, count = zp.repacking_results(estimates)
    first_peak: int = zp.local_maximum_finder(range(10), 0, True)
    return f"{mean:.3g} ± {std:.2g} over {count + first_peak} runs"


def koh_table(temperatures: np.ndarray, molalities: array.array[float]) -> list[float]:
    density, molarity = zp.laliberte_density(
        temperatures, molalities, 56.1056, -0.0193, 1.0134, 2.2655, 3.8797e-4, 2483
    )
    viscosity = zp.laliberte_viscosity((298.15,), (1.0,), 56.1, 10, 1, 0.5, 0.01, 1, Fraction(1))
    sigma = zp.koh_gilliam_eval(temperatures, molalities, 56.1056, -0.0193, 1.0134, 2.2655, 3.8797e-4, 2483.0)
    back = zp.molarity_to_molality(
        molarity, 298.15, 56.1056, -0.0193, 1.0134, 2.2655, 3.8797e-4, 2483.0, tolerance=1e-10, maximum_iterations=200
    )
    return density + viscosity + sigma + back


def conversions(values: list[float]) -> list[float]:
    return (
        zp.mass_fraction_to_molality(values, 56.1)
        + zp.molality_to_mass_fraction(b"\x01", 56)
        + zp.mole_fraction_to_molality(values, 18.015)
        + zp.molality_to_mole_fraction(values, 18)
        + zp.dewane_eval([0.5], [0.0, 1.0], [1.0] * 10)
    )


def readers(directory: str) -> tuple[float, int, dict[str, list[float]], dict[str, list[float]]]:
    volume: float = zp.parse_volume_density(directory + "/volume.dat")
    atoms: int = zp.read_group_count(log_path=directory + "/log.lammps", group_name="OH")
    return (
        volume,
        atoms,
        zp.parse_thermoprop(directory + "/nvt_prod.dat"),
        zp.parse_bond_angle(directory + "/npt_prod_angle.dat"),
    )


def hopping() -> float:
    tau: float = zp.tau_calculator(60.0, 40.0, 300.0, 3e-9, 100, 2.5e-10)
    return zp.diffusion_adjustment(time_between_hops=tau, hop_distance=2.5e-10)
