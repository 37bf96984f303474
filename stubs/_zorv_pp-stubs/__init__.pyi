# Types of the _zorv_pp extension module (PEP 561 stub-only package).
from collections.abc import Sequence
from typing import Protocol, SupportsFloat, SupportsIndex, TypeAlias

__all__ = [
    "parse_zorv_file",
    "parse_thermoprop",
    "parse_volume_density",
    "parse_bond_angle",
    "read_group_count",
    "local_maximum_finder",
    "repacking_results",
    "diff_calculator",
    "laliberte_density",
    "laliberte_viscosity",
    "mass_fraction_to_molality",
    "molality_to_mass_fraction",
    "mole_fraction_to_molality",
    "molality_to_mole_fraction",
    "dewane_eval",
    "koh_gilliam_eval",
    "molarity_to_molality",
    "tau_calculator",
    "diffusion_adjustment",
]

# A float argument: float, int, bool, or anything with __float__ or __index__.
_Float: TypeAlias = SupportsFloat | SupportsIndex
# A count argument: a non-negative int below 2**64, or anything with __index__.
_Count: TypeAlias = SupportsIndex

class _ArrayLike(Protocol):
    """A numpy array (or another object with __array__ and a length)."""

    def __array__(self) -> object: ...
    def __len__(self) -> int: ...

# A sequence argument: any sequence of float arguments except str (list, tuple,
# range, bytes, array.array), or a one-dimensional numpy array.
_Floats: TypeAlias = Sequence[_Float] | _ArrayLike
_Table: TypeAlias = dict[str, list[float]]

def parse_zorv_file(path: str) -> _Table: ...
def parse_thermoprop(path: str) -> _Table: ...
def parse_volume_density(path: str) -> float: ...
def parse_bond_angle(path: str) -> _Table: ...
def read_group_count(log_path: str, group_name: str) -> int: ...
def local_maximum_finder(data: _Floats, search_start: _Count, neighbor_count: _Count) -> int: ...
def repacking_results(d_array: _Floats) -> tuple[float, float, int]: ...
def diff_calculator(
    time: _Floats,
    msd_in: _Floats,
    margin: _Float,
    min_window: _Count,
    max_window: _Count,
    max_error: _Float,
    min_displacement: _Float,
) -> tuple[float, list[float], list[float]]: ...
def laliberte_density(
    temperature: _Floats,
    molality: _Floats,
    molecular_weight: _Float,
    c0: _Float,
    c1: _Float,
    c2: _Float,
    c3: _Float,
    c4: _Float,
) -> tuple[list[float], list[float]]: ...
def laliberte_viscosity(
    temperature: _Floats,
    molality: _Floats,
    molecular_weight: _Float,
    v1: _Float,
    v2: _Float,
    v3: _Float,
    v4: _Float,
    v5: _Float,
    v6: _Float,
) -> list[float]: ...
def mass_fraction_to_molality(mass_fraction: _Floats, molecular_weight: _Float) -> list[float]: ...
def molality_to_mass_fraction(molality: _Floats, molecular_weight: _Float) -> list[float]: ...
def mole_fraction_to_molality(mole_fraction: _Floats, molecular_weight: _Float) -> list[float]: ...
def molality_to_mole_fraction(molality: _Floats, molecular_weight: _Float) -> list[float]: ...
def dewane_eval(molarity: _Floats, limits: _Floats, coeffs: _Floats) -> list[float]: ...
def koh_gilliam_eval(
    temperature: _Floats,
    molality: _Floats,
    molecular_weight: _Float,
    c0: _Float,
    c1: _Float,
    c2: _Float,
    c3: _Float,
    c4: _Float,
) -> list[float]: ...
def molarity_to_molality(
    molarity: _Floats,
    temperature: _Float,
    molecular_weight: _Float,
    c0: _Float,
    c1: _Float,
    c2: _Float,
    c3: _Float,
    c4: _Float,
    tolerance: _Float,
    maximum_iterations: _Count,
) -> list[float]: ...
def tau_calculator(
    experimental_conductivity: _Float,
    md_conductivity: _Float,
    temperature: _Float,
    box_length: _Float,
    particle_count: _Float,
    hop_distance: _Float,
) -> float: ...
def diffusion_adjustment(time_between_hops: _Float, hop_distance: _Float) -> float: ...
