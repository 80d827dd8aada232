"""Runs spread over pytest-xdist workers: one report, written by the controller.

Each worker runs its share of the tests with a browser of its own and files
their steps as a serial run does; the controller alone writes the HTML report,
once, at the end. The steps travel with the tests' teardown reports, which
xdist carries from worker to controller over its own channel: pytest
serializes a report's attributes, so a test's steps ride in one of them as
JSON text (whatever a step record holds, the channel can carry text).

Without xdist only the controller's half is there, and it finds nothing to do.
"""

import json

import pytest

# The teardown report's attribute that carries a test's steps to the controller.
STEPS_ATTRIBUTE = "marrowlane_steps"


def is_worker(config):
    """True in an xdist worker process."""
    return hasattr(config, "workerinput")


class WorkerSteps:
    """In a worker: attaches each test's filed steps to its teardown report."""

    def __init__(self, config):
        self.config = config

    @pytest.hookimpl(wrapper=True)
    def pytest_runtest_makereport(self, item, call):
        report = yield
        if call.when == "teardown":
            steps = getattr(self.config, "_marrowlane_steps", {}).get(item.nodeid)
            if steps is not None:
                setattr(report, STEPS_ATTRIBUTE, json.dumps(steps, default=str))
        return report


class ControllerSteps:
    """In the controller: files the steps the workers sent, and puts the results
    in collection order before the report is written, as a serial run has them."""

    def __init__(self, config, reporter):
        self.config = config
        self.reporter = reporter
        self.order = None

    def pytest_runtest_logreport(self, report):
        text = getattr(report, STEPS_ATTRIBUTE, None)
        if text is None:
            return
        if not hasattr(self.config, "_marrowlane_steps"):
            self.config._marrowlane_steps = {}
        self.config._marrowlane_steps[report.nodeid] = json.loads(text)

    @pytest.hookimpl(optionalhook=True)
    def pytest_xdist_node_collection_finished(self, node, ids):
        if self.order is None:  # every worker collects the same tests
            self.order = {nodeid: index for index, nodeid in enumerate(ids)}

    @pytest.hookimpl(tryfirst=True)
    def pytest_sessionfinish(self, session):
        results = getattr(self.reporter, "results", None)
        if self.order and isinstance(results, list):
            last = len(self.order)
            results.sort(key=lambda r: self.order.get(r.get("nodeid"), last) if isinstance(r, dict) else last)
