"""Calls the runtime refuses: mypy must report an error on exactly the lines marked
`# error` (tools/check_stubs.py compares the line numbers)."""

import pathlib

import _zorv_pp as zp

zp.parse_zorv_file(pathlib.Path("diffself.dat"))  # error
zp.repacking_results("1.0 2.0")  # error
zp.repacking_results({1: 1.0})  # error
zp.repacking_results(None)  # error
zp.repacking_results([1.0, "2.0"])  # error
zp.local_maximum_finder([1.0], 2.0, 1)  # error
zp.diffusion_adjustment("1e-12", 2.5e-10)  # error
zp.diffusion_adjustment(1e-12)  # error
zp.diffusion_adjustment(1e-12, 2.5e-10, 3.0)  # error
zp.diffusion_adjustment(1e-12, hop_length=2.5e-10)  # error
zp.molarity_to_molality([1.0], 298.15, 56.1, 1, 2, 3, 4, 5)  # error
count: str = zp.read_group_count("log.lammps", "OH")  # error
mean, std = zp.repacking_results([1.0])  # error
fit: float = zp.diff_calculator([1.0], [1.0], 0.0, 2, 4, 0.1, 0.0)[1]  # error
density: list[float] = zp.laliberte_density([300.0], [1.0], 56.1, 1, 2, 3, 4, 5)  # error
zp.no_such_function()  # error
