"""The flags an estimate may carry, besides the warning codes of its runs' files."""

NO_DIFFUSIVE_REGIME = "no_diffusive_regime"
"""The fit found no straight stretch of the curve: the value is NaN."""
NOT_CONVERGED = "not_converged"
"""The curve still bends at its longest usable lags: the value may be biased; the interval is widened."""
RUN_LENGTH_ASSUMED = "run_length_assumed"
"""The sampling settings were inferred from the time column, the run length taken as the largest lag."""
REPLICAS_DISAGREE = "replicas_disagree"
"""The runs scatter more than their own errors allow (χ² beyond its 99 % point); the error is widened."""
ANISOTROPIC = "anisotropic"
"""The x/y/z or tensor components disagree beyond their errors."""
SAMPLING_UNKNOWN = "sampling_unknown"
"""No order-n sampling fits the table's time column: the value is the window search's, without an error."""
NO_VOLUME = "no_volume"
"""The run has no volume (volume.dat): the Yeh–Hummer value and the conductivities cannot be formed."""
WINDOW_SENSITIVE = "window_sensitive"
"""Moving the fit's start to a later range the start rule considered, or letting the slope drift over the
fitted range, changes the value by more than the noise of that change allows (Holm's rule over those tests,
5 % false alarms on a straight line); a value derived from such a value carries it too."""
POOR_FIT = "poor_fit"
"""The curve's χ² about its fitted line is improbable under its covariance model (p < 0.001): its points
scatter more than the error bars assume, so the interval may be too narrow; a derived value carries it too."""
ONE_RUN_START = "one_run_start"
"""A single walker's column (the bulk pressure) fitted from its own run's start alone: one walker's noise hides
a change of slope of a tenth, so the start is not tested against a slow part of the correlation and the value
may hold the integral up to a few correlation times only (on 20 Lennard-Jones replicas 7 intervals missed the
truth, on 40 more 1). Replicas combined in one state share the start their mean curve shows instead, and do not
carry it."""
