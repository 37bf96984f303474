"""The fits of one run's curves, gathered: a record of each value, labels, curves and warnings."""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from dataclasses import replace

from ..diagnostics import RunWarning
from ..errors import RunError
from ..flags import NO_DIFFUSIVE_REGIME, NOT_CONVERGED
from ..msdfit.window import Window
from ..properties import Conditions, Property, get
from ..run import Run
from .curve_fit import CurveFit, NoiseScale, as_floats, fit_curve
from .keys import Key, Species
from .own_mean import own_mean_subtracted
from .record import ValueRecord
from .sampled_curve import SampledCurve
from .shared_motion import shared_variance_ratio, yeh_hummer_term


class RunFitter:
    """Fits the curves of one run and keeps a record of each value, its label and curve."""

    def __init__(self, run: Run, windows: Mapping[str, Window], *, curves: bool = True) -> None:
        self.run, self.windows, self.keep_curves = run, windows, curves
        self.temperature = math.nan if run.temperature is None else run.temperature
        self.volume = math.nan if run.volume is None else run.volume
        self.records: dict[Key, ValueRecord] = {}
        self.labels: dict[Species, str] = {}
        self.curves: list[SampledCurve] = []
        self.single_walker: list[SampledCurve] = []
        self.warnings: list[RunWarning] = []
        self.own_mean = own_mean_subtracted(run.path)

    def conditions(self, species: str | None = None) -> Conditions:
        """What turns a slope of this run into a value, for a column of ``species`` (None: every molecule)."""
        return Conditions(self.run.units, self.temperature, self.volume, dict(self.run.counts), species)

    def fit(
        self,
        prop: Property,
        species: Species,
        label: str,
        values: Sequence[float],
        conditions: Conditions,
        scale: NoiseScale = None,
        start_at: float | None = None,
        earliest: float | None = None,
        walkers: float | None = None,
        anchored: bool = False,
        anchors: Sequence[Key] = (),
        widen_cross: bool = True,
    ) -> CurveFit:
        """Fit one curve of ``prop``; its value is slope × the property's factor. Returns the fit, in file units.

        ``walkers`` replaces the property's count of independent walkers (molecules that share motion);
        ``anchored`` says that ``earliest`` is where many walkers of the same molecules start. ``anchors``
        are the values whose fitted ranges set where this one's may start (``earliest`` or ``start_at``):
        when one of them still bends at the horizon, so does this curve, which its few walkers cannot show,
        and it is flagged ``not_converged`` too. ``widen_cross`` is :func:`fit_curve`'s."""
        assert prop.table is not None and prop.factor is not None and prop.group is not None
        table = prop.table
        time = next(iter(self.run.tables[table].values()))
        factor = prop.factor(conditions)
        walkers = prop.walkers_of(conditions) if walkers is None else walkers
        try:
            found = fit_curve(
                self.windows[prop.group],
                self.run.table_sampling(table),
                time,
                values,
                walkers,
                scale,
                start_at=start_at,
                seconds=self.run.units.time,
                earliest=earliest,
                bridge=self.bridged(prop),
                anchored=anchored,
                widen_cross=widen_cross,
            )
        except ValueError as error:  # a table too short to have a sampling, let alone a slope
            raise RunError(self.run.path, self.run.files.get(table), str(error)) from None
        key = (prop.name, species)
        carried = [a for a in anchors if a in self.records and NOT_CONVERGED in self.records[a].flags]
        if NOT_CONVERGED in found.flags or not math.isfinite(found.slope):
            carried = []
        if carried:
            found = replace(found, flags=(*found.flags, NOT_CONVERGED))
        # A curve combined from a table's columns (the Maxwell–Stefan curve of a pair) shares its label with
        # the table's own curve of that pair: its warnings name what it is.
        said = f"{prop.title} ({label})" if prop.kind == "combined" else label
        self._say_why(table, said, len(time), found.flags, carried)
        noise = _noise_scale(scale, found)
        self.records[key] = ValueRecord(
            found.slope * factor,
            found.sem * abs(factor),
            found.flags,
            found.start * self.run.units.time,
            found.spread * abs(factor),
            math.sqrt(noise) * abs(factor) if noise >= 0.0 else math.nan,
            fit_p=found.p,
        )
        self.labels[species] = label
        single = walkers == 1.0 and species is None
        if self.keep_curves or single:
            curve = self._curve(prop, label, time, values, found, factor, walkers, scale)
            if self.keep_curves:
                self.curves.append(curve)
            if single:  # replicas refit it from their common start (see shared_start)
                self.single_walker.append(curve)
        return found

    def value(self, key: Key) -> float:
        """The value recorded for ``key`` so far, NaN when none."""
        record = self.records.get(key)
        return math.nan if record is None else record.value

    def bridged(self, prop: Property) -> bool:
        """Whether ``prop``'s column is fitted by the bridge shape of a flux less the run's own mean."""
        return prop.own_mean and self.own_mean

    def _curve(
        self,
        prop: Property,
        label: str,
        time: Sequence[float],
        values: Sequence[float],
        found: CurveFit,
        factor: float,
        walkers: float,
        scale: NoiseScale,
    ) -> SampledCurve:
        seconds = self.run.units.time
        table = str(prop.table)
        noise = _noise_scale(scale, found)
        return SampledCurve(
            prop.name,
            label,
            as_floats(time),
            as_floats(values),
            found.t_fit,
            found.fit,
            found.slope * factor,
            seconds,
            factor * seconds,
            self.run.units.label(prop.curve_unit),
            found.band,
            chi2=found.chi2,
            dof=found.dof,
            p=found.p,
            sampling=self.run.table_sampling(table),
            walkers=walkers,
            noise=noise,
            bridge=self.bridged(prop),
        )

    def _say_why(self, table: str, label: str, rows: int, flags: tuple[str, ...], carried: Sequence[Key]) -> None:
        """The warning a fit's flags call for; ``carried`` names the values whose bend it was given."""
        file = self.run.files.get(table)
        if NO_DIFFUSIVE_REGIME in flags:
            self.warnings.append(
                RunWarning(
                    NO_DIFFUSIVE_REGIME,
                    file,
                    f"{label}: {rows} rows and no diffusive range (a straight rising stretch): no value",
                )
            )
        elif carried:
            names = [get(name).title + ("" if who is None else f" of {self.labels[who]}") for name, who in carried]
            verb = "still bends" if len(names) == 1 else "still bend"
            self.warnings.append(
                RunWarning(
                    NOT_CONVERGED,
                    file,
                    f"{label}: its range starts where the {' and the '.join(names)} {verb} at the longest "
                    "usable lags: the value may be biased",
                )
            )
        elif NOT_CONVERGED in flags:
            self.warnings.append(
                RunWarning(
                    NOT_CONVERGED,
                    file,
                    f"{label}: still bending at its longest usable "
                    "lags: the value may be biased; its interval holds the whole "
                    "change of slope the run shows",
                )
            )

    def shared_walkers(self, prop: Property, values: Sequence[float], conditions: Conditions) -> float:
        """The independent walkers of a self-diffusion column whose molecules share the box's flow.

        3N / (1 + R) (see :mod:`.shared_motion`), R from a first fit's value and this run's own shear
        viscosity, box and temperature; 3N where the run has no viscosity or volume.
        """
        assert prop.table is not None and prop.factor is not None and prop.group is not None
        walkers = prop.walkers_of(conditions)
        eta = self.value(("shear_viscosity", None))
        if not (eta > 0.0 and math.isfinite(self.volume) and conditions.species is not None):
            return walkers
        time = next(iter(self.run.tables[prop.table].values()))
        sampling = self.run.table_sampling(prop.table)
        window = self.windows[prop.group]
        first = fit_curve(window, sampling, time, values, walkers, spread=False, seconds=self.run.units.time)
        term = yeh_hummer_term(self.run.units, self.temperature, self.volume, eta)
        return walkers / (1.0 + shared_variance_ratio(conditions.count, first.slope * prop.factor(conditions), term))

    def component_slopes(self, prop: Property) -> list[tuple[float, float]]:
        """(slope, error) of the property's single-component columns, fitted without keeping a curve."""
        assert prop.table is not None and prop.group is not None
        data = self.run.tables[prop.table]
        time = next(iter(data.values()))
        sampling = self.run.table_sampling(prop.table)
        return [
            (fit.slope, fit.sem)
            for fit in (
                fit_curve(self.windows[prop.group], sampling, time, data[c], 1.0, spread=False)
                for c in prop.components
                if c in data
            )
        ]


def _noise_scale(scale: NoiseScale, found: CurveFit) -> float:
    """The noise scale a fit's error was sized by: the one the fit chose unless ``scale`` says otherwise."""
    if callable(scale):
        return scale(found.slope)
    if scale is not None:
        return scale
    return found.scale if math.isfinite(found.scale) else found.slope * found.slope
