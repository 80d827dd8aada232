"""The report page in Chromium: its own filter buttons, group headers, step
toggles and clock, driven by clicking them."""

import re
from datetime import datetime, timezone
from types import SimpleNamespace

import pytest

from marrowlane_web.harness.reporter import MarrowlaneReporter

RESULTS = [
    ("tests/ui/test_login.py::test_ok", "passed",
     [{"instruction": 'click "Login"', "status": "passed"}]),
    ("tests/ui/test_login.py::test_bad", "failed",
     [{"instruction": 'verify "<img src=x onerror=window.pwned=1>" is present', "status": "failed",
       "message": "<script>window.pwned = 2</script>", "screenshot": "iVBORw0KGgo="}]),
    ("tests/ui/test_login.py::test_later", "skipped", None),
    ("tests/test_api.py::test_ping", "passed", None),
]


@pytest.fixture
def report(tmp_path):
    steps = {nodeid: s for nodeid, _, s in RESULTS if s is not None}
    reporter = MarrowlaneReporter(str(tmp_path / "report.html"),
                                  SimpleNamespace(_marrowlane_steps=steps))
    for nodeid, status, _ in RESULTS:
        file, test = nodeid.split("::", 1)
        reporter.results.append({"nodeid": nodeid, "file": file, "test": test, "status": status,
                                 "duration": 0.1, "message": "", "when": "call"})
    reporter.pytest_sessionfinish(None, 0)
    return (tmp_path / "report.html").as_uri()


@pytest.fixture
def viewer(browser):
    """A page in UTC with a fake clock; the web-font request never leaves the machine."""
    context = browser.new_context(timezone_id="UTC")
    page = context.new_page()
    page.route(re.compile(r"^https?://"), lambda route: route.abort())
    yield page
    context.close()


def open_report(viewer, report, when=datetime(2026, 12, 7, 0, 5, tzinfo=timezone.utc)):
    viewer.clock.install(time=when)
    viewer.goto(report)
    return viewer


def visible_tests(page):
    return [row.inner_text().split("\t")[1].strip()
            for row in page.locator(".test-row").all() if row.is_visible()]


def visible_groups(page):
    return [g.get_attribute("data-file") for g in page.locator(".file-group").all()
            if g.is_visible()]


def test_filters_hide_rows_and_empty_groups(viewer, report):
    page = open_report(viewer, report)
    assert visible_tests(page) == ["test_ok", "test_bad", "test_later", "test_ping"]

    expected = {
        "Failed": (["test_bad"], ["tests/ui/test_login.py"]),
        "Skipped": (["test_later"], ["tests/ui/test_login.py"]),
        "Passed": (["test_ok", "test_ping"], ["tests/ui/test_login.py", "tests/test_api.py"]),
        "All": (["test_ok", "test_bad", "test_later", "test_ping"],
                ["tests/ui/test_login.py", "tests/test_api.py"]),
    }
    for label, (tests, groups) in expected.items():
        page.get_by_role("button", name=label, exact=True).click()
        assert visible_tests(page) == tests, label
        assert visible_groups(page) == groups, label
        active = page.locator(".filter-btn.active")
        assert active.count() == 1 and active.inner_text() == label


def test_file_headers_collapse_and_expand(viewer, report):
    page = open_report(viewer, report)
    header = page.locator(".file-header").first
    table = page.locator(".test-table").first
    header.click()
    assert not table.is_visible()
    assert "collapsed" in header.locator(".chevron").get_attribute("class")
    header.click()
    assert table.is_visible()
    assert "collapsed" not in header.locator(".chevron").get_attribute("class")


def test_view_steps_opens_and_closes_without_collapsing_the_group(viewer, report):
    page = open_report(viewer, report)
    button = page.locator(".expand-btn").nth(1)
    steps = page.locator("#steps-2")
    assert not steps.is_visible()

    button.click()
    assert steps.is_visible()
    assert button.inner_text() == "- hide steps" and "open" in button.get_attribute("class")
    assert page.locator(".test-table").first.is_visible()
    # Markup from the run shows as text and never runs.
    assert steps.locator(".step-text").inner_text().startswith(
        'verify "<img src=x onerror=window.pwned=1>" is present')
    assert steps.locator(".step-msg").inner_text() == "<script>window.pwned = 2</script>"
    assert page.evaluate("window.pwned") is None
    assert steps.locator(".step-screenshot img").get_attribute("src") == (
        "data:image/png;base64,iVBORw0KGgo=")

    # Open steps leave with their filtered-out test and come back open.
    page.get_by_role("button", name="Passed", exact=True).click()
    assert not steps.is_visible()
    page.get_by_role("button", name="All", exact=True).click()
    assert steps.is_visible()

    button.click()
    assert not steps.is_visible()
    assert button.inner_text() == "+ view steps" and "open" not in button.get_attribute("class")


@pytest.mark.parametrize("when, date, clock", [
    (datetime(2026, 12, 7, 0, 5, tzinfo=timezone.utc), "Monday, 7th December 2026", "12:05 AM"),
    (datetime(2026, 11, 12, 13, 9, tzinfo=timezone.utc), "Thursday, 12th November 2026",
     "1:09 PM"),
    (datetime(2027, 3, 22, 12, 0, tzinfo=timezone.utc), "Monday, 22nd March 2027", "12:00 PM"),
])
def test_the_clock_fills_in(viewer, report, when, date, clock):
    page = open_report(viewer, report, when)
    assert page.locator("#date-display").inner_text() == date
    assert page.locator("#time-display").inner_text() == clock


def test_the_clock_keeps_time(viewer, report):
    page = open_report(viewer, report, datetime(2026, 12, 31, 23, 59, 30, tzinfo=timezone.utc))
    assert page.locator("#time-display").inner_text() == "11:59 PM"
    page.clock.run_for(31_000)
    assert page.locator("#date-display").inner_text() == "Friday, 1st January 2027"
    assert page.locator("#time-display").inner_text() == "12:00 AM"
    suffixes = page.evaluate("[1, 2, 3, 4, 11, 12, 13, 21, 22, 23, 101, 111, 112].map(ordinal)")
    assert suffixes == ["1st", "2nd", "3rd", "4th", "11th", "12th", "13th", "21st", "22nd",
                        "23rd", "101st", "111th", "112th"]
