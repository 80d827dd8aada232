"""Steps checked before any browser starts.

Two places hold steps written in advance: ``.steps`` files, and the string
constants that Python tests hand to ``agent.run(...)``. Both are read here and
every step goes through the step parser: its validation first, then its parse,
since a step can pass validation and still match no form of the language
('back', 'accept dialog now'). Each mistake is a ``Problem`` that prints as
``path:line: message``, with the parser's own message.

The pytest collector (steps_collect) and ``python -m marrowlane_web check``
both work from here.
"""

import ast
import os
from typing import NamedTuple

from marrowlane_web._agent.gestures import split_gesture
from marrowlane_web.engine.agent.step_parser import StepParser
from marrowlane_web.harness import steps_file
from marrowlane_web.web_agent import step_lines

STEPS_SUFFIX = ".steps"

_PARSER = StepParser()


class Problem(NamedTuple):
    path: str
    line: int
    message: str

    def __str__(self):
        return f"{self.path}:{self.line}: {self.message}"


def step_problems(step):
    """The parser's messages about one step; empty when the step reads."""
    step = split_gesture(step)[1]  # 'double click X' reads as 'click X' does
    try:
        messages = _PARSER.validate(step)
        if not messages:
            _PARSER.parse(step)
    except ValueError as exc:
        return [str(exc)]
    return list(messages)


def read_steps_file(path, shown=None):
    """(tests, problems) of a .steps file.

    `tests` are (line, title, [(line, step), ...]) as the file holds them;
    `problems` are those of the file's shape and of every step, in line order,
    under the name `shown` (the path itself by default).
    """
    shown = str(path) if shown is None else shown
    text, problem = _read_text(path, shown)
    if problem:
        return [], [problem]
    tests, shape = steps_file.read(text)
    problems = [Problem(shown, line, message) for line, message in shape]
    for _, _, steps in tests:
        problems += _step_problems(shown, steps)
    problems.sort(key=lambda p: p.line)
    return tests, problems


def python_file_problems(path, shown=None):
    """The problems of the literal steps in a Python file (see `literal_steps`)."""
    shown = str(path) if shown is None else shown
    try:
        with open(path, "rb") as f:
            tree = ast.parse(f.read(), filename=shown)
    except OSError as exc:
        return [Problem(shown, 1, f"cannot be read: {exc.strerror}")]
    except (SyntaxError, ValueError, RecursionError, MemoryError) as exc:
        # ValueError: a null byte; the other two: nesting deeper than the parser goes
        return [Problem(shown, getattr(exc, "lineno", None) or 1, f"not valid Python: {_why(exc)}")]
    return _step_problems(shown, literal_steps(tree))


def literal_steps(tree):
    """(line, step) of every step written as a string in ``agent.run(...)``.

    The call's receiver is any name or attribute with "agent" in it (`agent`,
    `self.agent`, `second_agent`); its step is the first argument or `step=`,
    a string constant or the name of a module-level one. A string with line
    breaks holds one step per line, as `run` reads it.
    """
    constants = _module_constants(tree)
    strings = {}  # a constant run in several places is checked once
    for node in ast.walk(tree):
        if not (isinstance(node, ast.Call) and _is_agent_run(node.func)):
            continue
        for arg in node.args[:1] + [k.value for k in node.keywords if k.arg == "step"]:
            if isinstance(arg, ast.Name):
                arg = constants.get(arg.id)
            if isinstance(arg, ast.Constant) and isinstance(arg.value, str):
                strings[id(arg)] = arg
    found = [step for arg in strings.values() for step in _lines_of(arg)]
    found.sort(key=lambda item: item[0])
    return found


def check_paths(paths):
    """The problems of every .steps and Python test file at or below `paths`."""
    problems = []
    for path in _files(paths):
        if path.endswith(STEPS_SUFFIX):
            problems += read_steps_file(path)[1]
        else:
            problems += python_file_problems(path)
    return problems


# -- reading files and strings ----------------------------------------------------------


def _read_text(path, shown):
    """(text, None) of a UTF-8 file (a byte-order mark is dropped), or (None, problem)."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as exc:
        return None, Problem(shown, 1, f"cannot be read: {exc.strerror}")
    try:
        return data.decode("utf-8").removeprefix("\ufeff"), None
    except UnicodeDecodeError as exc:
        line = data.count(b"\n", 0, exc.start) + 1
        byte = data[exc.start]
        return None, Problem(
            shown, line, f"not UTF-8 text (byte 0x{byte:02x} cannot be read); save it as UTF-8"
        )


def _step_problems(shown, steps):
    return [
        Problem(shown, line, message) for line, step in steps for message in step_problems(step)
    ]


def _is_agent_run(func):
    if not (isinstance(func, ast.Attribute) and func.attr == "run"):
        return False
    receiver = func.value
    name = receiver.id if isinstance(receiver, ast.Name) else getattr(receiver, "attr", "")
    return "agent" in name.lower()


def _module_constants(tree):
    """Module-level names bound once, to a string constant: {name: constant node}."""
    bound = {}
    for node in tree.body:
        targets = node.targets if isinstance(node, ast.Assign) else []
        for target in targets:
            if isinstance(target, ast.Name):
                bound[target.id] = None if target.id in bound else node.value
    return {name: value for name, value in bound.items() if isinstance(value, ast.Constant)}


def _lines_of(node):
    """(line, step) for the steps of one string constant.

    Where the string's line breaks are those of the source (the usual triple-
    quoted block), each step has its own line; otherwise (escaped line breaks,
    strings joined over lines) every step is put on the string's first line.
    """
    text = node.value
    breaks = len((text + ".").splitlines()) - 1
    mapped = node.end_lineno is not None and node.end_lineno - node.lineno == breaks
    return [(node.lineno + (i if mapped else 0), step) for i, step in step_lines(text)]


def _files(paths):
    """The files to check, in order: files as given; directories walked for
    .steps files and pytest's Python test files (test_*.py, *_test.py), hidden
    directories and __pycache__ left out."""
    for path in paths:
        if not os.path.isdir(path):
            yield path
            continue
        for root, dirs, names in os.walk(path):
            dirs[:] = sorted(d for d in dirs if not d.startswith(".") and d != "__pycache__")
            for name in sorted(names):
                if name.endswith(STEPS_SUFFIX) or _is_python_test(name):
                    yield os.path.normpath(os.path.join(root, name))


def _is_python_test(name):
    return name.endswith(".py") and (name.startswith("test_") or name.endswith("_test.py"))


def _why(exc):
    if isinstance(exc, (RecursionError, MemoryError)):
        return "nested too deeply"
    return exc.msg if isinstance(exc, SyntaxError) else str(exc)
