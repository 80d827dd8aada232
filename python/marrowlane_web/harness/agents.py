"""Tests that drive several agents at once: every agent's steps reach the report.

While a test runs, the plugin hears every step any `WebAgent` records, in the
order the steps ran. A test whose steps all came from one agent keeps its
filing as the `agent` fixture made it (an agent the test made itself is filed
the same way); when two or more agents worked, the test's steps are filed as
one list of all their records, in the order they ran.
"""

import pytest

from marrowlane_web import web_agent


class AgentSteps:
    def __init__(self, config):
        self.config = config
        self.heard = []

    def _hear(self, agent, record):
        self.heard.append((agent, record))

    @pytest.hookimpl(wrapper=True)
    def pytest_runtest_protocol(self, item, nextitem):
        self.heard = []
        web_agent._step_listeners.append(self._hear)
        try:
            return (yield)
        finally:
            web_agent._step_listeners.remove(self._hear)
            self.heard = []

    @pytest.hookimpl(wrapper=True)
    def pytest_runtest_teardown(self, item, nextitem):
        try:
            return (yield)  # the fixtures are torn down: the `agent` fixture has filed its steps
        finally:
            self._file(item)

    def _file(self, item):
        agents = []
        for agent, _ in self.heard:
            if not any(agent is known for known in agents):
                agents.append(agent)
        if not agents:
            return
        if not hasattr(self.config, "_marrowlane_steps"):
            self.config._marrowlane_steps = {}
        filed = self.config._marrowlane_steps
        if len(agents) > 1:
            filed[item.nodeid] = [record for _, record in self.heard]
        elif item.nodeid not in filed:
            filed[item.nodeid] = agents[0]._steps
