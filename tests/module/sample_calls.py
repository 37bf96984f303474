"""One good argument set per function, and calls that fail in each way, for the
checks that run every registered function (reference counts, threads)."""

import collections.abc
import os

import _zorv_pp as z

LAMMPS = next(
    (
        p
        for p in (
            "/shared/data/lammps",
            os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "data", "lammps"),
        )
        if os.path.isdir(p)
    ),
    None,
)
EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "data")


def _lammps(name):
    return os.path.join(LAMMPS or "/nonexistent", name)


KOH = (56.1056, -0.0193, 1.0134, 2.2655, 3.8797e-4, 2483.0)
GOOD = {
    "parse_zorv_file": (os.path.join(EXAMPLES, "diffself.dat"),),
    "parse_thermoprop": (_lammps("heat.dat"),),
    "parse_volume_density": (_lammps("water-volume.dat"),),
    "parse_bond_angle": (_lammps("peg-dihedral.histo"),),
    "read_group_count": (_lammps("cnt-unbreakable.log.lammps"), "carbon_atoms"),
    "local_maximum_finder": ([0.0, 1.0, 3.0, 1.0, 0.0, 2.0, 5.0, 2.0, 0.0], 0, 1),
    "repacking_results": ([1.0, 2.0, float("nan"), 3.0],),
    "diff_calculator": ([0.1 * i for i in range(1, 200)], [0.6 * i for i in range(1, 200)], 0.05, 10, 100, 0.2, 0.0),
    "laliberte_density": ([298.15, 323.15], [1.0, 5.0]) + KOH,
    "laliberte_viscosity": ([298.15, 323.15], [1.0, 5.0], 56.1056, 34.14, 1.47, 0.00295, 0.4, -0.6, 20.0),
    "mass_fraction_to_molality": ([0.1, 0.3], 56.1056),
    "molality_to_mass_fraction": ([1.0, 5.0], 56.1056),
    "mole_fraction_to_molality": ([0.01, 0.1], 18.015),
    "molality_to_mole_fraction": ([1.0, 5.0], 18.015),
    "dewane_eval": ([0.5, 1.5], [0.0, 1.0, 2.0], [1.0] * 20),
    "koh_gilliam_eval": ([298.15, 373.15], [1.0, 5.0]) + KOH,
    "molarity_to_molality": ([0.5, 2.0], 298.15) + KOH + (1e-10, 200),  # within the reach of this fit
    "tau_calculator": (60.0, 40.0, 300.0, 3e-9, 100.0, 2.5e-10),
    "diffusion_adjustment": (1e-12, 2.5e-10),
}


# One call per function whose computation can refuse its (converted) arguments.
COMPUTATION_ERRORS = {
    "parse_zorv_file": ("/dev/null",),
    "parse_thermoprop": ("/dev/null",),
    "parse_volume_density": ("/dev/null",),
    "parse_bond_angle": ("/dev/null",),
    "read_group_count": ("/dev/null", "g"),
    "laliberte_density": ([298.15], [1.0, 2.0]) + GOOD["laliberte_density"][2:],
    "laliberte_viscosity": ([298.15], [1.0, 2.0]) + GOOD["laliberte_viscosity"][2:],
    "koh_gilliam_eval": ([298.15], [1.0, 2.0]) + GOOD["koh_gilliam_eval"][2:],
    "dewane_eval": ([5.0], [0.0, 1.0, 2.0], [1.0] * 20),
    "molarity_to_molality": ([50.0],) + GOOD["molarity_to_molality"][1:],
}


class HugeSequence(collections.abc.Sequence):
    def __len__(self):
        return 2**60

    def __getitem__(self, index):
        raise IndexError(index)


def registered():
    return [name for name in z.__all__ if name in GOOD]


def failing_calls(name):
    """(description, callable) pairs, each expected to raise."""
    function = getattr(z, name)
    args = GOOD[name]
    calls = [
        ("binding", lambda: function()),
        ("too many", lambda: function(*args, None)),
        ("keyword", lambda: function(*args[:-1], nope=1)),
    ]
    if name in COMPUTATION_ERRORS:
        calls.append(("computation", lambda: function(*COMPUTATION_ERRORS[name])))
    for index, value in enumerate(args):
        bad = list(args)
        bad[index] = object()
        calls.append((f"convert {index}", lambda bad=bad: function(*bad)))
        if isinstance(value, list):
            huge = list(args)
            huge[index] = HugeSequence()
            calls.append((f"abort {index}", lambda huge=huge: function(*huge)))
            item = list(args)
            item[index] = [1.0, "x"]
            calls.append((f"item {index}", lambda item=item: function(*item)))
        if isinstance(value, str):
            missing = list(args)
            missing[index] = value + ".absent"
            calls.append((f"os error {index}", lambda missing=missing: function(*missing)))
    return calls


def call_good(name):
    """The result, or the exception instance a good call raises (a sample file may be absent)."""
    try:
        return getattr(z, name)(*GOOD[name])
    except Exception as error:  # noqa: BLE001 - compared like a result
        return (type(error), str(error))
