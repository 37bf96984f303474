import inspect
import _zorv_pp as z

ALL_NAMES = [
    "parse_zorv_file", "parse_thermoprop", "parse_volume_density", "parse_bond_angle",
    "read_group_count", "local_maximum_finder", "repacking_results", "diff_calculator",
    "laliberte_density", "laliberte_viscosity", "mass_fraction_to_molality",
    "molality_to_mass_fraction", "mole_fraction_to_molality", "molality_to_mole_fraction",
    "dewane_eval", "koh_gilliam_eval", "molarity_to_molality", "tau_calculator",
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
        "(time, msd_in, margin, min_window, max_window, max_error, min_displacement)")
    assert z.diff_calculator.__doc__.startswith("Fit MSD vs time data to extract a transport coefficient.")
    assert "(default: 1e-10 mol/kg)" in z.molarity_to_molality.__doc__
    assert z.parse_bond_angle.__doc__.endswith('Column names include "Coord" and "Count/Total".')


def test_defaults_named_in_docs_are_not_applied():
    import pytest

    with pytest.raises(TypeError) as info:
        z.molarity_to_molality([1.0], 298.15, 56.1, 0.0, 0.0, 0.0, 0.0, 0.0)
    assert str(info.value) == ("molarity_to_molality() missing 2 required positional arguments: "
                               "'tolerance' and 'maximum_iterations'")
