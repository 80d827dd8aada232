"""MarrowlaneReporter's Python face: construction, records from phase reports,
messages, highlighting, file labels and writing the page. (The hooks working
inside pytest itself are proven by the pytester runs in test_fixtures.py.)"""

import html
import inspect
import re
import time
from types import SimpleNamespace

import pytest
from hypothesis import given
from hypothesis import strategies as st

from marrowlane_web.harness.reporter import MarrowlaneReporter

RECORD_KEYS = ["nodeid", "file", "test", "status", "duration", "message", "when"]


def make(report_path="report.html", config=None):
    return MarrowlaneReporter(report_path, config)


def phase(nodeid="tests/test_a.py::test_x", when="call", outcome="passed", longrepr=None,
          **extra):
    return SimpleNamespace(nodeid=nodeid, when=when, passed=outcome == "passed",
                           failed=outcome == "failed", skipped=outcome == "skipped",
                           longrepr=longrepr, **{"duration": 0.5, **extra})


def crash(message):
    return SimpleNamespace(reprcrash=SimpleNamespace(message=message))


def test_construction():
    config = object()
    before = time.time()
    r = make("out/r.html", config)
    assert r.report_path == "out/r.html" and r.config is config
    assert r.results == [] and type(r.results) is list
    assert type(r.start_time) is float and before <= r.start_time <= time.time()
    assert MarrowlaneReporter._KEYWORDS == (
        "verify text", "verify", "extract text", "type", "click", "select", "hover", "press",
        "navigate", "wait", "find text")


@pytest.mark.parametrize("call, message", [
    (lambda: MarrowlaneReporter(b"r.html", None),
     "Argument 'report_path' has incorrect type (expected str, got bytes)"),
    (lambda: make()._highlight(None),
     "Argument 'instruction' has incorrect type (expected str, got NoneType)"),
    (lambda: make()._file_label(type("S", (str,), {})("a.py")),
     "Argument 'file_path' has incorrect type (expected str, got S)"),
    (lambda: make()._extract_message(SimpleNamespace(longrepr=crash(3))),
     "Expected str, got int"),
])
def test_kind_checks(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_signatures():
    params = {
        "__init__": ["self", "report_path", "config"],
        "pytest_runtest_logreport": ["self", "report"],
        "pytest_sessionfinish": ["self", "session", "exitstatus"],
        "_render": ["self"],
        "_highlight": ["self", "instruction"],
        "_file_label": ["self", "file_path"],
        "_extract_message": ["self", "report"],
    }
    for name, expected in params.items():
        assert list(inspect.signature(getattr(MarrowlaneReporter, name)).parameters) == expected
    # pytest's plugin manager takes hook argument names from the code object.
    bound = make().pytest_runtest_logreport
    assert bound.__code__.co_varnames[:bound.__code__.co_argcount] == ("self", "report")


@pytest.mark.parametrize("report, status, message, when", [
    (phase(), "passed", "", "call"),
    (phase(outcome="failed", longrepr=crash("AssertionError: no")), "failed",
     "AssertionError: no", "call"),
    (phase(outcome="skipped", longrepr=("t.py", 3, "Skipped: later")), "skipped",
     "('t.py', 3, 'Skipped: later')", "call"),
    (phase(outcome="skipped", longrepr=""), "skipped", "", "call"),
    (phase(when="setup", outcome="failed", longrepr="E  boom\nE  RuntimeError: x\n"), "failed",
     "E  RuntimeError: x", "setup"),
    # A test skipped at setup (a skip marker) is in the report too; xfail marks show as such.
    (phase(when="setup", outcome="skipped", longrepr=("t.py", 3, "Skipped: later")), "skipped",
     "('t.py', 3, 'Skipped: later')", "setup"),
    (phase(outcome="skipped", longrepr=crash("AssertionError: no"), wasxfail=""), "xfailed",
     "AssertionError: no", "call"),
    (phase(wasxfail="flaky"), "xpassed", "", "call"),
])
def test_records(report, status, message, when):
    r = make()
    r.pytest_runtest_logreport(report)
    [record] = r.results
    assert list(record) == RECORD_KEYS
    assert record["nodeid"] is report.nodeid
    assert (record["file"], record["test"]) == ("tests/test_a.py", "test_x")
    assert (record["status"], record["message"], record["when"]) == (status, message, when)
    assert record["duration"] == 0.5


@pytest.mark.parametrize("report", [
    phase(when="setup"), phase(when="teardown"),
    phase(when="collect", outcome="failed"), phase(when=None),
])
def test_ignored_reports(report):
    r = make()
    r.pytest_runtest_logreport(report)
    assert r.results == []


def test_durations_and_node_ids():
    r = make()
    report = phase(nodeid="t.py::TestX::test_y")
    del report.duration
    r.pytest_runtest_logreport(report)
    r.pytest_runtest_logreport(phase(nodeid="t.py", duration=2))
    first, second = r.results
    assert (first["file"], first["test"], first["duration"]) == ("t.py", "TestX::test_y", 0.0)
    assert (second["file"], second["test"]) == ("t.py", "")
    assert type(second["duration"]) is float and second["duration"] == 2.0


def test_a_failed_teardown_fails_the_test():
    r = make()
    teardown = phase(when="teardown", outcome="failed", longrepr=crash("RuntimeError: td"))
    r.pytest_runtest_logreport(phase())
    r.pytest_runtest_logreport(teardown)
    assert [(x["status"], x["message"], x["when"]) for x in r.results] == [
        ("failed", "RuntimeError: td", "teardown")]
    assert r.results[0]["duration"] == 0.5

    # A failure keeps its own message; a test without a record gets one.
    r = make()
    r.pytest_runtest_logreport(phase(outcome="failed", longrepr=crash("AssertionError: a")))
    r.pytest_runtest_logreport(teardown)
    r.pytest_runtest_logreport(phase(nodeid="t.py::test_other", when="teardown",
                                     outcome="failed", longrepr="RuntimeError: td2"))
    assert [(x["test"], x["status"], x["message"], x["when"]) for x in r.results] == [
        ("test_x", "failed", "AssertionError: a", "call"),
        ("test_other", "failed", "RuntimeError: td2", "teardown")]


class HiddenFrames:
    """A long representation whose crash entry pytest left empty (every frame hidden)."""

    reprcrash = None

    def __str__(self):
        return "frames\nE   KeyError: 'k'\n"


@pytest.mark.parametrize("longrepr, message", [
    (None, ""),
    (crash("AssertionError: x"), "AssertionError: x"),
    (crash(None), None),
    (HiddenFrames(), "E   KeyError: 'k'"),
    ("Traceback\n  line\nValueError: bad\n\n", "ValueError: bad"),
])
def test_extract_message(longrepr, message):
    assert make()._extract_message(SimpleNamespace(longrepr=longrepr)) == message


def test_highlight_and_file_label():
    r = make()
    assert r._highlight('type "x" into "Name"') == (
        '<span class="kw">type</span> <span class="str">"x"</span> into '
        '<span class="sel">"Name"</span>')
    assert r._file_label("tests\\ui\\t<&>.py") == '<span class="dim">tests/ui / </span>t&lt;&amp;&gt;.py'
    assert r._file_label("test_a.py") == "test_a.py"


@given(st.text(alphabet=st.characters(exclude_categories=["Cs"])))
def test_highlight_only_adds_markup(instruction):
    out = make()._highlight(instruction)
    assert "<" not in re.sub(r'<span class="(kw|str|sel)">|</span>', "", out)
    assert html.unescape(re.sub(r"<[^>]+>", "", out)) == instruction


def test_render_reads_the_step_lists_and_the_clock():
    nodeid = "tests/test_a.py::test_x"
    steps = [{"instruction": 'click "Go"', "status": "passed"},
             {"instruction": "wait", "status": "error", "message": 0, "screenshot": None}]
    r = make(config=SimpleNamespace(_marrowlane_steps={nodeid: steps}))
    r.pytest_runtest_logreport(phase(nodeid=nodeid))
    r.start_time = time.time() - 12.345
    page = r._render()
    # The run time behind an inline clock, which needs no emoji font.
    assert re.search(r'<span class="run-time"><svg class="clock"[^>]*>.*?</svg>12\.3\ds', page)
    assert "⏱" not in page
    assert page.count('<td class="step-icon ') == 2
    assert '<td class="step-icon error">✗</td>' in page
    # Falsy messages and screenshots show nothing.
    assert 'class="step-msg"' not in page and 'class="step-screenshot"' not in page

    r.config = object()  # no step lists at all
    assert "class=\"steps-container" not in r._render()


def test_sessionfinish_writes_where_asked(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    r = make("report.html")  # no directory part: the working directory
    r.pytest_runtest_logreport(phase(nodeid="t.py::test_\udce9"))  # undecodable file name byte
    r.pytest_sessionfinish(None, 0)
    text = (tmp_path / "report.html").read_text(encoding="utf-8")
    assert "test_\ufffd" in text

    nested = tmp_path / "a" / "b" / "r.html"
    make(str(nested)).pytest_sessionfinish(None, 0)
    assert nested.read_text(encoding="utf-8").startswith("<!DOCTYPE html>")


def test_a_rendering_error_leaves_the_previous_report(tmp_path):
    path = tmp_path / "r.html"
    path.write_text("previous")
    r = make(str(path))
    r.results.append("not a record")
    with pytest.raises(TypeError):
        r.pytest_sessionfinish(None, 0)
    assert path.read_text() == "previous"


def test_records_changed_while_they_are_read():
    # A value's str() and a record's == may run any code, the results' own
    # list emptied and refilled included; the reporter goes on like Python's
    # own loop over the list, never reading a freed record.
    r = make()

    class Refills:
        def __str__(self):
            r.results[:] = [{"file": f"f{i}.py", "test": "t"} for i in range(1000)]
            return "a.py"

    r.results = [{"file": Refills(), "test": "t"}, {"file": "b.py", "test": "t"}]
    assert r._render().count('class="test-row"') == 1000

    class Clears:
        def __eq__(self, other):
            r.results.clear()
            return True

    r.results = [{"nodeid": Clears(), "status": "passed"}]
    r.pytest_runtest_logreport(phase(when="teardown", outcome="failed", longrepr="boom"))
    assert r.results == []


@pytest.mark.parametrize("duration_ms, shown", [
    (12, "12 ms"), (12.7, "13 ms"), (2500, "2.50 s"), (True, None), ("12", None), (None, None),
])
def test_a_step_shows_its_account_and_its_time_when_it_has_them(duration_ms, shown):
    nodeid = "tests/test_a.py::test_x"
    step = {"instruction": "click Go", "status": "passed", "message": "", "screenshot": "",
            "account": 'button "Go" <b>', "duration_ms": duration_ms}
    r = make(config=SimpleNamespace(_marrowlane_steps={nodeid: [step]}))
    r.pytest_runtest_logreport(phase(nodeid=nodeid))
    page = r._render()
    assert '<div class="step-account">button "Go" &lt;b&gt;</div>' in page
    times = re.findall(r'<td class="step-time">([^<]*)</td>', page)
    assert times == ([shown] if shown else [])
