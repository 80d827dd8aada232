"""The demo suite spread over two pytest-xdist workers reports as a serial run
does: one report, every test with its steps; and a test that drives two
agents reports the steps of both, in the order they ran."""

import pathlib
import re
import shutil

import pytest

from test_fixtures import cards, parse, steps_container

pytest.importorskip("xdist")
pytest.importorskip("playwright.sync_api")

pytest_plugins = ["pytester"]

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"

TWO_AGENTS = '''
import os

from marrowlane_web import WebAgent


def test_two_shoppers_side_by_side(agent):
    with WebAgent(os.environ["MARROWLANE_DEMO_URL"]) as other:
        agent.run('type first into "Username"')
        other.run('type second into "Username"')
        agent.run('verify text "Sign in" is visible')
        other.run('verify "Username" is present')
'''


def _summary(page):
    """Counts, and per file its pills and tests with their steps: all but times."""
    counts = {k: v for k, v in cards(page).items() if k != "Duration"}
    files = {}
    for group in page.all("file-group"):
        rows = []
        for row in group.all("test-row"):
            container = steps_container(row)
            steps = []
            if container is not None:
                for step in container.all(tag="tr"):
                    text = step.one("step-text")
                    shown = "".join(c if isinstance(c, str) else c.text() for c in text.children
                                    if isinstance(c, str) or c.tag == "span")
                    steps.append((shown, step.one("step-icon").classes[1], text.text()))
            rows.append((row.attrs["data-status"], row.one("test-name").text(), steps))
        files[group.attrs["data-file"]] = ([p.text() for p in group.one("file-counts").all("badge")], rows)
    return counts, files


def test_a_run_over_two_workers_reports_as_a_serial_run(pytester, monkeypatch):
    suite = pytester.path / "examples"
    shutil.copytree(EXAMPLES, suite, ignore=shutil.ignore_patterns("test_report", "__pycache__"))
    (suite / "test_two_agents.py").write_text(TWO_AGENTS, encoding="utf-8")
    monkeypatch.chdir(suite)
    summaries = []
    for args in ([], ["-n", "2"]):
        report = pytester.path / f"report{len(summaries)}.html"
        # The keyboard sign-in now and then stalls its last step on a busy machine
        # (a find right after an Enter-key navigation), in any browser set-up.
        result = pytester.runpytest_subprocess(*args, "-p", "no:cacheprovider", "-k", "not keyboard",
                                               f"--marrowlane-report={report}")
        assert result.ret == 0, result.stdout.str()[-2000:]
        page = parse(report)
        assert re.fullmatch(r"\d+\.\d{1,2}s", cards(page)["Duration"])
        summaries.append(_summary(page))
    serial, parallel = summaries
    assert parallel == serial
    counts, files = serial
    assert int(counts["Total"]) > 10 and sum(len(steps) for _, rows in files.values() for *_, steps in rows) > 100
    two = files["test_two_agents.py"][1][0]
    assert [text for text, *_ in two[2]] == [
        'type first into "Username"', 'type second into "Username"',
        'verify text "Sign in" is visible', 'verify "Username" is present']
