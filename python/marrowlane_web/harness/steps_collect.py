"""Collects ``.steps`` files: tests written as plain text, without Python.

Each ``Test:`` block of a file is one test item, named by its title (so ``-k``
and node ids such as ``checkout.steps::the total adds up`` select it). The
item asks pytest for the ``agent`` fixture as a Python test does, so it gets
the same agent, the same configuration and the same place in the report, and
runs its steps one by one.

A file is read and every step checked when it is collected: a file with a
mistake fails its collection with ``path:line: message`` lines before any
browser starts. Unlike a Python file that fails to import, it does not stop
the run: the other files are still run, and the run still ends as failed.

The harness plugin (fixtures) loads this module as a plugin of its own.
"""

import os

import pytest

from marrowlane_web.harness.steps_check import STEPS_SUFFIX, read_steps_file

# How many .steps files were refused at collection in this run.
_REFUSED = pytest.StashKey[int]()


def pytest_collect_file(file_path, parent):
    """A .steps file is collected by `StepsFile`."""
    if file_path.suffix == STEPS_SUFFIX:
        return StepsFile.from_parent(parent, path=file_path)
    return None


@pytest.hookimpl(hookwrapper=True, tryfirst=True)
def pytest_runtestloop(session):
    """Runs the tests even when .steps files were refused at collection.

    pytest stops before the first test when collection failed; refused .steps
    files are set aside for the loop, and counted again afterwards, so the run
    still fails for them (and stops as usual for any other collection error).
    """
    refused = session.config.stash.get(_REFUSED, 0)
    session.testsfailed -= refused
    try:
        yield
    finally:
        session.testsfailed += refused


class StepsFileError(Exception):
    """The mistakes of a .steps file, one ``path:line: message`` per line."""


class StepsFile(pytest.File):
    """A .steps file: one `StepsTest` per ``Test:`` block."""

    def collect(self):
        tests, problems = read_steps_file(self.path, _shown(self))
        if problems:
            self.config.stash[_REFUSED] = self.config.stash.get(_REFUSED, 0) + 1
            raise StepsFileError("\n".join(map(str, problems)))
        for line, title, steps in tests:
            yield StepsTest.from_parent(self, name=title, line=line, steps=steps)

    def repr_failure(self, excinfo):
        if isinstance(excinfo.value, StepsFileError):
            return str(excinfo.value)
        return super().repr_failure(excinfo)


class StepsTest(pytest.Function):
    """One ``Test:`` block: its steps, run in order by the test's own agent.

    The body is a small function of the `agent` fixture, so pytest sets the
    agent up and tears it down (and files its steps for the report) exactly
    as for a Python test that asks for `agent`.
    """

    def __init__(self, *, line, steps, **kwargs):
        self.line = line
        self.steps = steps
        self._failure = None  # (line, step, exception) of the step that failed

        def run_steps(agent):
            for number, step in self.steps:
                try:
                    agent.run(step)
                except Exception as exc:
                    self._failure = (number, step, exc)
                    raise

        super().__init__(callobj=run_steps, **kwargs)

    def reportinfo(self):
        return self.path, self.line - 1, self.name

    def repr_failure(self, excinfo):
        """A failing step reads as ``path:line: step`` and the agent's message."""
        if self._failure and excinfo.value is self._failure[2]:
            number, step, exc = self._failure
            detail = str(exc) if isinstance(exc, AssertionError) else f"{type(exc).__name__}: {exc}"
            return f"{_shown(self)}:{number}: {step}\n{detail}"
        return super().repr_failure(excinfo)


def _shown(node):
    """A file's path as messages show it: relative to where pytest was started."""
    try:
        return os.path.relpath(node.path, node.config.invocation_params.dir)
    except ValueError:  # another drive
        return str(node.path)
