"""zorv_pp: transport properties of MD runs in SI units, with uncertainty.

From folders of simulation output (the MSD tables of on-the-fly transport
computations, RDFs, volume, density and temperature files, the LAMMPS log) to
self-diffusion, Onsager and Maxwell–Stefan diffusivities, viscosities,
thermal and electrical conductivities and first-shell structure, summarised
over replica runs::

    import zorv_pp
    runs = [zorv_pp.Run.load(p) for p in ["state/rep1", "state/rep2", "state/rep3"]]
    state = zorv_pp.analyze(runs, charges={"K": 1, "OH": -1, "water": 0})
    print(state.get("self_diffusion", "OH"))

The numerical work is done by the extension module ``_zorv_pp``.
"""

from .analysis.estimate import Estimate
from .analysis.run_fit import RunAnalysis, fit_run
from .analysis.state import StateResult, analyze, combine
from .errors import CampaignError, RunError, ZorvError
from .msdfit.window import Window
from .ordern import ordern
from .properties import PROPERTIES
from .run import Run
from .units import LJ, METAL, REAL, UnitStyle, UnitStyleError, unit_style

__all__ = [
    "CampaignError",
    "Estimate",
    "LJ",
    "METAL",
    "PROPERTIES",
    "REAL",
    "Run",
    "RunAnalysis",
    "RunError",
    "StateResult",
    "UnitStyle",
    "UnitStyleError",
    "Window",
    "ZorvError",
    "analyze",
    "combine",
    "fit_run",
    "ordern",
    "unit_style",
]
__version__ = "0.1.0"
