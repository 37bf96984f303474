import inspect

import pytest

import _zorv_pp as z

ALL_NAMES = [
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


def test_all_lists_registered_functions_in_table_order():
    assert type(z.__all__) is list
    assert z.__all__ == ALL_NAMES
    public = {name for name in vars(z) if not name.startswith("__")}
    assert public == set(z.__all__)


def test_module_doc_is_empty_string():
    assert z.__doc__ == ""


def test_functions_carry_signature_doc_and_module():
    for name in z.__all__:
        function = getattr(z, name)
        assert function.__name__ == name
        assert function.__module__ == "_zorv_pp"
        assert function.__text_signature__.startswith("(")
        assert inspect.signature(function).parameters
        assert function.__doc__ and not function.__doc__.startswith(name + "(")
        # static: the entry gets no module
        assert function.__self__ is None
    assert str(inspect.signature(z.diffusion_adjustment)) == "(time_between_hops, hop_distance)"
    assert z.tau_calculator.__doc__.startswith("Mean time between proton-transfer events τ (s).")
    assert z.tau_calculator.__doc__.endswith("τ = δ² e² N / (6 k T L³ Δσ)")


def test_signatures_and_docs_as_listed():
    assert z.diff_calculator.__text_signature__ == (
        "(time, msd_in, margin, min_window, max_window, max_error, min_displacement)"
    )
    assert z.diff_calculator.__doc__.startswith("Fit MSD vs time data to extract a transport coefficient.")
    assert "(default: 1e-10 mol/kg)" in z.molarity_to_molality.__doc__
    assert z.parse_bond_angle.__doc__.endswith('Column names include "Coord" and "Count/Total".')


@pytest.mark.parametrize(
    "name, doc",
    [
        (
            "parse_zorv_file",
            "Parse ZORV MSD output files (viscosity.dat, diffself.dat, diffonsag.dat,\n"
            "thermconductivity.dat, rdf.dat).\n\nLocates the header by finding the last line whose `lstrip()` starts with\n"
            '`"#Time"`.\nFor rdf.dat the first line already IS the header so the default row=0\n'
            'is kept when no `"#Time"` line is present.\n\nReturns a Python dict mapping column name → list[float].',
        ),
        (
            "local_maximum_finder",
            "Find the index of the first local maximum in `data` starting from\n"
            '`search_start`, where "local" means strictly greater than the `neighbor_count`\n'
            "neighbours on each side.  Returns `neighbor_count + search_start` if no maximum\nis found.",
        ),
        (
            "diff_calculator",
            "Fit MSD vs time data to extract a transport coefficient.\n\n"
            "Searches all start/length windows (i, j) within the margin-trimmed\n"
            "region whose log-log slope is within `max_error` of 1.  Among qualifying\n"
            "windows, picks the one whose slope is closest to 1, then performs a\n"
            "final linear regression on the raw (non-log) data to extract the slope D.\n\n"
            "Returns `(D, t_fit, fit)`.  On failure returns `(NaN, [t[0]], [msd[0]])`.\n\n"
            "The `min_displacement` parameter (in the length unit of the MSD values) is squared and used to filter out\n"
            "MSD values (using absolute value) below this threshold before fitting.",
        ),
    ],
)
def test_docs_say_what_the_function_does_in_its_own_units(name, doc):
    assert getattr(z, name).__doc__ == doc


def test_defaults_named_in_docs_are_not_applied():
    import pytest

    with pytest.raises(TypeError) as info:
        z.molarity_to_molality([1.0], 298.15, 56.1, 0.0, 0.0, 0.0, 0.0, 0.0)
    assert str(info.value) == (
        "molarity_to_molality() missing 2 required positional arguments: 'tolerance' and 'maximum_iterations'"
    )
