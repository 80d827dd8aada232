"""Every compiled callable shows its parameters to inspect and keeps its own docstring.

pluggy reads hook argument names with inspect.signature, and users read help();
both depend on the text signature each binding writes before its docstring.
"""

import importlib
import inspect

import pytest

COMPILED_MODULES = [
    "marrowlane_web.engine.agent.step_parser",
    "marrowlane_web.engine.strategies.text_match_strategy",
    "marrowlane_web.engine.strategies.layout_strategy",
    "marrowlane_web.engine.browser.page_scanner",
    "marrowlane_web.engine.spatial.grid_builder",
    "marrowlane_web.engine.spatial.grid_resolver",
    "marrowlane_web.harness.reporter",
    "marrowlane_web._core.nearest",
    "marrowlane_web.harness.steps_file",
]


def _own_callables(module):
    """(qualified name, callable) for every function and method the module defines."""
    for name, obj in vars(module).items():
        if inspect.isbuiltin(obj) and getattr(obj, "__module__", None) == module.__name__:
            yield name, obj
        elif inspect.isclass(obj) and obj.__module__ == module.__name__:
            for attr, raw in vars(obj).items():
                if attr.startswith("__") and attr != "__init__":
                    continue
                if attr.startswith("_pybind11"):
                    continue
                member = getattr(obj, attr)
                if callable(member) and not inspect.isclass(member):
                    yield f"{name}.{attr}", member


@pytest.mark.parametrize("module_name", COMPILED_MODULES)
def test_every_callable_has_a_text_signature(module_name):
    module = importlib.import_module(module_name)
    seen = 0
    for qualname, func in _own_callables(module):
        seen += 1
        assert func.__text_signature__, f"{qualname} has no text signature"
        signature = inspect.signature(func)
        assert signature.parameters is not None
        doc = func.__doc__ or ""
        assert "\n--\n" not in doc, f"{qualname}: the signature line leaked into __doc__"
        assert not doc.startswith(func.__name__ + "("), f"{qualname}: generated signature in __doc__"
    assert seen, f"{module_name} defines no callables"


def test_layout_strategy_resolve_signature():
    from marrowlane_web.engine.strategies.layout_strategy import LayoutStrategy

    assert list(inspect.signature(LayoutStrategy.resolve).parameters) == [
        "self", "parsed_instruction", "matrix", "dom_candidates"]
    assert list(inspect.signature(LayoutStrategy().resolve).parameters) == [
        "parsed_instruction", "matrix", "dom_candidates"]
