import os
import sys

import pytest

import _zorv_pp as z

sys.path.insert(0, os.path.dirname(__file__))

from sample_calls import COMPUTATION_ERRORS


@pytest.mark.parametrize("name", sorted(COMPUTATION_ERRORS))
def test_computation_errors_are_plain_value_errors_without_notes(name):
    with pytest.raises(ValueError) as info:
        getattr(z, name)(*COMPUTATION_ERRORS[name])
    assert type(info.value) is ValueError
    assert len(info.value.args) == 1 and isinstance(info.value.args[0], str)
    assert not hasattr(info.value, "__notes__")
