"""What a property declaration holds, and what turns a fitted slope into its value."""

from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass

from ..units import UnitStyle


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
    their species. ``own_mean`` marks a column integrating a flux less a mean
    the run may have taken from itself (the bulk pressure): a run that did is
    fitted by the bridge shape this leaves (:func:`zorv_pp.msdfit.fit_msd`).
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
    own_mean: bool = False

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
