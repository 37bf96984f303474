"""The KOH(aq) study: MD transport properties against experiment, and the proton hopping they miss.

Classical force fields of aqueous KOH have no proton transfer, so the OH⁻
ion moves only by its own (vehicular) diffusion and the simulated
conductivity falls below experiment. For each state point this package sets
the MD conductivity (Onsager and Nernst–Einstein), self-diffusion, viscosity
and density beside Gilliam's conductivity correlation and the Laliberté
density and viscosity models, and turns the conductivity deficit into a mean
time between hops τ and a hopping diffusion coefficient D_hop::

    import zorv_pp, zorv_pp.koh
    state = zorv_pp.analyze(["m4/rep1", "m4/rep2"], charges={"K": 1, "OH": -1, "water": 0})
    result = zorv_pp.koh.compare(state, temperature=298.15, molality=4.0)
    print(result.sigma_md, result.sigma_exp, result.tau)

or, for a whole campaign, :func:`study` and the ``zorv-pp koh`` command.
Every value is in SI units.
"""

from .compare import (
    DEFICIT_WITHIN_SPREAD,
    DENSITY_EXTRAPOLATED,
    NO_DEFICIT,
    VISCOSITY_EXTRAPOLATED,
    HopDistanceError,
    KohComparison,
    Propagated,
    SpeciesNames,
    compare,
    extrapolation_flags,
)
from .params import KOH, FitRange, SaltParameters
from .study import KohStudy, StudyPoint, StudySettings, points_of, settings_of, study

__all__ = [
    "DEFICIT_WITHIN_SPREAD",
    "DENSITY_EXTRAPOLATED",
    "FitRange",
    "HopDistanceError",
    "KOH",
    "KohComparison",
    "KohStudy",
    "NO_DEFICIT",
    "Propagated",
    "SaltParameters",
    "SpeciesNames",
    "StudyPoint",
    "StudySettings",
    "VISCOSITY_EXTRAPOLATED",
    "compare",
    "extrapolation_flags",
    "points_of",
    "settings_of",
    "study",
]
