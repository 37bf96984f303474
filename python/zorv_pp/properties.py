"""Every property the package reports, each declared once: what it is, where it comes from, how it is shown.

The fits, the combination of replicas, the derived values, the results files,
the figures and the report page all read this registry; none of them lists
property names of its own. A new property fitted from one column of a table
is one :class:`Property` given to :func:`register`; a property of another
kind (a combination of curves, a value derived after the fits) needs its
formula too, in :mod:`zorv_pp.analysis`.
"""

from __future__ import annotations

from collections.abc import Callable, Iterator
from contextlib import contextmanager
from dataclasses import dataclass

from .units import UnitStyle


@dataclass(frozen=True)
class Conditions:
    """What turns a fitted slope into a property: the run's unit style, temperature (K), volume (m³),
    molecule counts and the species the column belongs to (None for a whole-system column)."""

    style: UnitStyle
    temperature: float
    volume: float
    counts: dict[str, int]
    species: str | None = None

    @property
    def count(self) -> int:
        """The molecules of ``species``, or of every species for a whole-system column."""
        return self.counts[self.species] if self.species is not None else sum(self.counts.values())


#: How a property gets its value, each kind a routine of :mod:`zorv_pp.analysis`.
KINDS = (
    "column",  # one fitted column of ``table``: slope × factor
    "species",  # one fitted column per species (``column`` is the prefix of its name)
    "onsager",  # the Onsager pair columns, with the combinations fitted beside them
    "combined",  # a combination of the Onsager curves, fitted with them
    "rdf",  # the first shell of each pair's RDF
    "derived",  # formed from other properties after the fits (with the state's viscosity)
    "state",  # read from the run's state files
)


@dataclass(frozen=True)
class Property:
    """One transport or state property.

    ``name`` is its key in results (``state.get(name)``), ``unit`` its SI
    unit (runs in ``units lj`` keep reduced units, labelled as such),
    ``title`` and ``symbol`` how the report and figures name it (mathtext),
    ``kind`` how it is computed (:data:`KINDS`). Fitted properties name the
    ``table`` and ``column`` they are fitted from, the independent
    one-dimensional ``walkers`` per molecule (``per_molecule``) or in all
    that set the noise of the column, the ``factor`` from slope to value, the
    ``group`` of fit settings they use, the ``curve_unit`` of their curve
    scaled so that its slope is the value, and the ``quantity`` that curve
    is; ``components`` are the columns whose disagreement flags the value
    ``anisotropic``. ``depends`` lists the tables and ``state_files`` the
    files whose warnings concern the value, ``derived_from`` the properties
    whose window sensitivity it inherits (``spread_of``: the one whose window
    spread it reports). For figures: ``family`` the sheet its curves go on,
    ``summary`` the panel of the summary figure it is drawn in (None: not
    drawn) with its ``legend`` there, ``converging`` whether its convergence
    over replicas is drawn, ``species_in_title`` whether its panels name
    their species.
    """

    name: str
    unit: str
    title: str
    kind: str
    symbol: str = ""
    table: str | None = None
    column: str | None = None
    walkers: float = 1.0
    per_molecule: bool = False
    factor: Callable[[Conditions], float] | None = None
    group: str | None = None
    curve_unit: str = ""
    quantity: str = ""
    components: tuple[str, ...] = ()
    depends: tuple[str, ...] = ()
    state_files: tuple[str, ...] = ()
    derived_from: tuple[str, ...] = ()
    spread_of: str | None = None
    family: str | None = None
    summary: str | None = None
    legend: str = ""
    converging: bool = False
    species_in_title: bool = False

    def __post_init__(self) -> None:
        if self.kind not in KINDS:
            raise ValueError(f"property {self.name!r}: unknown kind {self.kind!r} (known: {', '.join(KINDS)})")
        if self.kind in ("column", "species") and (
            self.table is None or self.column is None or self.factor is None or self.group is None
        ):
            raise ValueError(f"property {self.name!r}: a fitted column needs its table, column, factor and group")

    def walkers_of(self, conditions: Conditions) -> float:
        """The independent one-dimensional walkers the property's column averages."""
        return self.walkers * conditions.count if self.per_molecule else self.walkers


_TEMPERATURE = ("temperature.dat",)
_VOLUME_AND_TEMPERATURE = ("volume.dat", "temperature.dat")
_COLLECTIVE = "collective MSD/6 per molecule"

_BUILT_IN = (
    Property(
        "self_diffusion",
        "m^2/s",
        "self-diffusion (Yeh–Hummer corrected)",
        "derived",
        r"$D_\mathrm{YH}$",
        depends=("diffself", "viscosity"),
        state_files=_VOLUME_AND_TEMPERATURE,
        derived_from=("self_diffusion_pbc",),
        spread_of="self_diffusion_pbc",
        summary="self-diffusion (Yeh–Hummer corrected)",
        converging=True,
    ),
    Property(
        "self_diffusion_pbc",
        "m^2/s",
        "self-diffusion (uncorrected, periodic box)",
        "species",
        r"$D_\mathrm{PBC}$",
        table="diffself",
        column="MSD__",
        walkers=3.0,
        per_molecule=True,
        factor=lambda c: c.style.diffusion / c.count,
        group="self_diffusion",
        curve_unit="m^2",
        quantity="MSD/6 per molecule",
        depends=("diffself",),
        family="diffusion",
        converging=True,
        species_in_title=True,
    ),
    Property(
        "onsager",
        "m^2/s",
        "Onsager coefficient",
        "onsager",
        r"$L_{ij}$",
        table="diffonsag",
        column="MSD__",
        walkers=3.0,
        factor=lambda c: c.style.diffusion / c.count,
        group="onsager",
        curve_unit="m^2",
        quantity=_COLLECTIVE,
        depends=("diffonsag",),
        family="onsager",
        summary="Onsager",
        converging=True,
        species_in_title=True,
    ),
    Property(
        "maxwell_stefan",
        "m^2/s",
        "Maxwell–Stefan diffusivity",
        "combined",
        "Đ",
        table="diffonsag",
        walkers=3.0,
        factor=lambda c: c.style.diffusion / c.count,
        group="onsager",
        curve_unit="m^2",
        quantity=_COLLECTIVE,
        depends=("diffonsag",),
        family="onsager",
        summary="Maxwell–Stefan diffusivity",
        converging=True,
        species_in_title=True,
    ),
    Property(
        "shear_viscosity",
        "Pa s",
        "shear viscosity",
        "column",
        "η",
        table="viscosity",
        column="MSD_all",
        walkers=5.0,
        factor=lambda c: c.style.viscosity / c.temperature,
        group="shear_viscosity",
        curve_unit="Pa s^2",
        quantity="shear Helfand moment",
        components=("MSD_xy", "MSD_xz", "MSD_yz"),
        depends=("viscosity",),
        state_files=_TEMPERATURE,
        family="viscosity",
        summary="shear viscosity",
        converging=True,
    ),
    Property(
        "shear_viscosity_off",
        "Pa s",
        "shear viscosity (off-diagonal)",
        "column",
        "η",
        table="viscosity",
        column="MSD_off",
        walkers=3.0,
        factor=lambda c: c.style.viscosity / c.temperature,
        group="shear_viscosity",
        curve_unit="Pa s^2",
        quantity="shear Helfand moment",
        depends=("viscosity",),
        state_files=_TEMPERATURE,
        family="viscosity",
        converging=True,
    ),
    Property(
        "bulk_viscosity",
        "Pa s",
        "bulk viscosity",
        "column",
        r"$\eta_\mathrm{bulk}$",
        table="viscosity",
        column="MSD_bulkvisc",
        walkers=1.0,
        factor=lambda c: c.style.viscosity / c.temperature,
        group="bulk_viscosity",
        curve_unit="Pa s^2",
        quantity="bulk Helfand moment",
        depends=("viscosity",),
        state_files=_TEMPERATURE,
        family="viscosity",
        summary="bulk viscosity",
        converging=True,
    ),
    Property(
        "thermal_conductivity",
        "W/(m K)",
        "thermal conductivity",
        "column",
        "λ",
        table="tconductivity",
        column="MSD_all",
        walkers=3.0,
        factor=lambda c: c.style.thermal_conductivity / (c.temperature * c.temperature),
        group="thermal_conductivity",
        curve_unit="W s/(m K)",
        quantity="heat Helfand moment",
        components=("MSD_x", "MSD_y", "MSD_z"),
        depends=("tconductivity",),
        state_files=_TEMPERATURE,
        family="conductivity",
        summary="thermal conductivity",
        converging=True,
    ),
    Property(
        "electrical_conductivity",
        "S/m",
        "electrical conductivity",
        "combined",
        "σ",
        table="diffonsag",
        walkers=3.0,
        factor=lambda c: c.style.charge**2 / (c.volume * c.style.boltzmann * c.temperature) * c.style.diffusion,
        group="onsager",
        curve_unit="S s/m",
        quantity="charge-displacement MSD",
        depends=("diffonsag",),
        state_files=_VOLUME_AND_TEMPERATURE,
        family="conductivity",
        summary="electrical conductivity",
        legend="Onsager",
        converging=True,
    ),
    Property(
        "electrical_conductivity_ne",
        "S/m",
        "electrical conductivity (Nernst–Einstein)",
        "derived",
        r"$\sigma_\mathrm{NE}$",
        depends=("diffself", "viscosity"),
        state_files=_VOLUME_AND_TEMPERATURE,
        derived_from=("self_diffusion",),
        summary="electrical conductivity",
        legend="Nernst–Einstein",
        converging=True,
    ),
    Property(
        "haven_ratio",
        "1",
        "Haven ratio",
        "derived",
        r"$H_\mathrm{R}$",
        depends=("diffself", "diffonsag", "viscosity"),
        state_files=_VOLUME_AND_TEMPERATURE,
        derived_from=("electrical_conductivity", "electrical_conductivity_ne"),
    ),
    Property("rdf_peak_position", "m", "first RDF peak position", "rdf", table="rdf", depends=("rdf",)),
    Property("rdf_peak_height", "1", "first RDF peak height", "rdf", table="rdf", depends=("rdf",)),
    Property(
        "coordination_number",
        "1",
        "coordination number",
        "rdf",
        "n",
        table="rdf",
        depends=("rdf",),
        state_files=("volume.dat",),
        summary="coordination number",
    ),
    Property("volume", "m^3", "volume", "state", state_files=("volume.dat",)),
    Property(
        "density", "kg/m^3", "density", "state", "ρ", state_files=("volume.dat", "density.dat"), summary="density"
    ),
    Property("temperature", "K", "temperature", "state", state_files=_TEMPERATURE),
)

_REGISTRY: dict[str, Property] = {p.name: p for p in _BUILT_IN}

#: The names of the built-in properties, in report order.
PROPERTIES = tuple(_REGISTRY)


def register(prop: Property) -> None:
    """Add ``prop`` after the registered properties; ValueError if its name is taken."""
    if prop.name in _REGISTRY:
        raise ValueError(f"a property named {prop.name!r} is already registered")
    _REGISTRY[prop.name] = prop


def unregister(name: str) -> None:
    """Remove a property added with :func:`register`; the built-in ones stay."""
    if name in PROPERTIES:
        raise ValueError(f"{name!r} is a built-in property")
    del _REGISTRY[name]


@contextmanager
def registered(prop: Property) -> Iterator[Property]:
    """``prop`` registered for the duration of a ``with`` block."""
    register(prop)
    try:
        yield prop
    finally:
        unregister(prop.name)


def get(name: str) -> Property:
    """The property named ``name``; ValueError naming the known ones otherwise."""
    try:
        return _REGISTRY[name]
    except KeyError:
        raise ValueError(f"unknown property {name!r} (known: {', '.join(_REGISTRY)})") from None


def every() -> tuple[Property, ...]:
    """Every registered property, in report order."""
    return tuple(_REGISTRY.values())


def names() -> tuple[str, ...]:
    """The names of every registered property, in report order."""
    return tuple(_REGISTRY)


def order(name: str) -> int:
    """The place of ``name`` in report order (unknown names last)."""
    try:
        return list(_REGISTRY).index(name)
    except ValueError:
        return len(_REGISTRY)


def of_kind(*kinds: str) -> tuple[Property, ...]:
    """The registered properties of the given kinds, in report order."""
    return tuple(p for p in _REGISTRY.values() if p.kind in kinds)


def fit_groups() -> tuple[str, ...]:
    """The groups of fit settings, in the order their properties are registered."""
    return tuple(dict.fromkeys(p.group for p in _REGISTRY.values() if p.group is not None))


def tables() -> tuple[str, ...]:
    """The tables properties are computed from."""
    return tuple(dict.fromkeys(p.table for p in _REGISTRY.values() if p.table is not None))
