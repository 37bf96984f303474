"""The options a run folder is loaded with: what the caller states instead of the folder."""

from __future__ import annotations

from collections.abc import Mapping
from typing import TypedDict

from ..units import UnitStyle
from .sampling import Sampling
from .species import GroupChoice


class LoadOptions(TypedDict, total=False):
    """What :func:`zorv_pp.run.load_run` takes beside the folder; each given one overrides the folder.

    ``units`` is the LAMMPS unit style ("real", "metal" or "lj") of the
    tables, else the one the run's log names. ``counts`` maps species to
    molecule counts; each species it leaves out is counted as the run's source
    tells (a LAMMPS log's group of its name, or of ``groups[name]``: the group
    holds one atom per molecule unless given as (name, atoms per molecule); an
    order-n log's species line); a species in ``counts`` that the tables do
    not name is left out. ``temperature`` (K) is else the mean of
    temperature.dat, else what the source tells (the Temp column a LAMMPS
    log shows for the production runs). The sampling of each MSD table is the
    source's (a LAMMPS log's ``fix ... ordern`` lines); ``run_length`` (time
    units) replaces the run length of every table, ``sampling`` (one Sampling
    for every MSD table, or a mapping kind -> Sampling) the source's sampling.
    ``density_unit`` ("kg/m3" or "g/cm3") states the unit of density.dat,
    else it is decided as :func:`zorv_pp.run.lammps.density.read_density`
    says; ``molar_masses`` (g/mol) let the density be checked against volume
    and counts; without them it is checked against the mass of the atoms when
    the run tells it (see :mod:`zorv_pp.run.lammps.masses`). The volume is the
    mean of volume.dat, else what the source tells (the production box of a
    LAMMPS log: its Volume or Lx, Ly, Lz columns, else the box it printed
    last when no barostat changes it).
    """

    units: str | UnitStyle | None
    counts: Mapping[str, int] | None
    temperature: float | None
    groups: Mapping[str, GroupChoice] | None
    run_length: float | None
    sampling: Sampling | Mapping[str, Sampling] | None
    density_unit: str | None
    molar_masses: Mapping[str, float] | None
