import pytest

from marrowlane_web.engine.strategies.layout_strategy import LayoutStrategy


class Record(dict):
    pass


def test_resolve_answers_none_for_well_kinded_arguments():
    assert LayoutStrategy().resolve({}, {}, []) is None
    assert LayoutStrategy().resolve(parsed_instruction={"action": "click"}, matrix={},
                                    dom_candidates=[{"tag": "a"}]) is None


@pytest.mark.parametrize("args, message", [
    ((None, {}, []), "Argument 'parsed_instruction' has incorrect type (expected dict, got NoneType)"),
    ((Record(), {}, []), "Argument 'parsed_instruction' has incorrect type (expected dict, got Record)"),
    (({}, [], []), "Argument 'matrix' has incorrect type (expected dict, got list)"),
    (({}, {}, ()), "Argument 'dom_candidates' has incorrect type (expected list, got tuple)"),
    ((None, None, None), "Argument 'parsed_instruction' has incorrect type (expected dict, got NoneType)"),
])
def test_resolve_checks_arguments_in_order(args, message):
    with pytest.raises(TypeError) as err:
        LayoutStrategy().resolve(*args)
    assert str(err.value) == message


def test_resolve_refuses_wrong_arity_and_keywords():
    with pytest.raises(TypeError):
        LayoutStrategy().resolve({}, {})
    with pytest.raises(TypeError):
        LayoutStrategy().resolve({}, {}, [], matrix2={})
