import pytest

import _zorv_pp as z

# Functions registered so far, with one good argument set each.
GOOD_CALLS = {
    "tau_calculator": (60.0, 40.0, 300.0, 3e-9, 100.0, 2.5e-10),
    "diffusion_adjustment": (1e-12, 2.5e-10),
}


@pytest.mark.parametrize(
    "call, message",
    [
        (
            lambda: z.diffusion_adjustment(1.0),
            "diffusion_adjustment() missing 1 required positional argument: 'hop_distance'",
        ),
        (
            lambda: z.diffusion_adjustment(),
            "diffusion_adjustment() missing 2 required positional arguments: 'time_between_hops' and 'hop_distance'",
        ),
        (
            lambda: z.tau_calculator(1.0, 2.0, 3.0),
            "tau_calculator() missing 3 required positional arguments: 'box_length', 'particle_count', and 'hop_distance'",
        ),
        (
            lambda: z.tau_calculator(1.0, md_conductivity=2.0, temperature=3.0, box_length=4.0),
            "tau_calculator() missing 2 required positional arguments: 'particle_count' and 'hop_distance'",
        ),
        (
            lambda: z.diffusion_adjustment(1.0, 2.0, 3.0),
            "diffusion_adjustment() takes 2 positional arguments but 3 were given",
        ),
        # too many positionals wins over a keyword that would also clash
        (
            lambda: z.diffusion_adjustment(1.0, 2.0, 3.0, hop_distance=1.0),
            "diffusion_adjustment() takes 2 positional arguments but 3 were given",
        ),
        (
            lambda: z.diffusion_adjustment(1.0, time_between_hops=2.0),
            "diffusion_adjustment() got multiple values for argument 'time_between_hops'",
        ),
        (
            lambda: z.diffusion_adjustment(1.0, hop_distance=2.0, mode=3),
            "diffusion_adjustment() got an unexpected keyword argument 'mode'",
        ),
        # the first failing keyword in order decides
        (
            lambda: z.diffusion_adjustment(1.0, bogus=2.0, time_between_hops=3.0),
            "diffusion_adjustment() got an unexpected keyword argument 'bogus'",
        ),
        (
            lambda: z.diffusion_adjustment(1.0, time_between_hops=3.0, bogus=2.0),
            "diffusion_adjustment() got multiple values for argument 'time_between_hops'",
        ),
        (
            lambda: z.diffusion_adjustment(**{"hop_distance": 1.0, "Hop_distance": 2.0}),
            "diffusion_adjustment() got an unexpected keyword argument 'Hop_distance'",
        ),
        (
            lambda: z.diffusion_adjustment(**{"hop_distance": 1.0, "\udcff": 2.0}),
            "diffusion_adjustment() got an unexpected keyword argument '\udcff'",
        ),
        # binding is checked before any conversion
        (
            lambda: z.tau_calculator("bad", 1.0),
            "tau_calculator() missing 4 required positional arguments: 'temperature', 'box_length', 'particle_count', and 'hop_distance'",
        ),
    ],
)
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert type(info.value) is TypeError
    assert not hasattr(info.value, "__notes__")


@pytest.mark.parametrize("name", sorted(GOOD_CALLS))
def test_keywords_in_any_order_fill_any_parameter(name):
    import inspect

    function = getattr(z, name)
    args = GOOD_CALLS[name]
    params = list(inspect.signature(function).parameters)
    expected = function(*args)
    by_keyword = dict(reversed(list(zip(params, args))))
    assert function(**by_keyword) == expected
    assert function(args[0], **dict(list(zip(params, args))[1:])) == expected
