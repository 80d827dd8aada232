"""The harness end to end: small suites run by pytest itself (pytester), with a
stand-in WebAgent, and the reports they write read back as HTML."""

import importlib.metadata
import inspect
import os
import re
from html.parser import HTMLParser

import pytest

import marrowlane_web.harness.fixtures as fixtures

pytest_plugins = ["pytester"]

PLUGIN = "marrowlane_web.harness.fixtures"
# Inner runs need no cache and no hypothesis; and with -p, pytest warns that the
# already imported plugin module cannot have its asserts rewritten.
QUIET = ["-p", "no:cacheprovider", "-p", "no:hypothesispytest",
         "-W", "ignore::pytest.PytestAssertRewriteWarning"]


def plugin_args():
    """How a run gets the plugin: through its pytest11 entry point when the
    package is installed, else with -p. Both at once would register the module
    twice, which pytest refuses."""
    if not os.environ.get("PYTEST_DISABLE_PLUGIN_AUTOLOAD"):
        for ep in importlib.metadata.entry_points(group="pytest11"):
            if ep.value == PLUGIN:
                return []
    return ["-p", PLUGIN]


class StandInAgent:
    """Records how it was made and the steps a test makes it run."""

    made = []

    def __init__(self, url=None, screenshots=False):
        self.url = url
        self.screenshots = screenshots
        self._steps = []
        self.closed = False
        self.fail_on_close = False
        StandInAgent.made.append(self)

    def run(self, instruction, status="passed", message="", screenshot=""):
        self._steps.append({"instruction": instruction, "status": status,
                            "message": message, "screenshot": screenshot})

    def close(self):
        self.closed = True
        if self.fail_on_close:
            raise RuntimeError("the browser would not close")


class Capture:
    """A plugin for the inner run that keeps its config for the test to read."""

    def pytest_unconfigure(self, config):
        self.config = config
        self.reporter = config.pluginmanager.get_plugin("marrowlane_reporter")


def write_config(directory, text):
    (directory / "marrowlane.web.config.py").write_text(text, encoding="utf-8")


@pytest.fixture
def run(pytester, monkeypatch):
    StandInAgent.made = []
    monkeypatch.setattr(fixtures, "WebAgent", StandInAgent)

    def run_(*args):
        capture = Capture()
        result = pytester.runpytest(*plugin_args(), *QUIET, *args, plugins=[capture])
        return result, capture

    return run_


# ---------------------------------------------------------------------------
# Reading the report
# ---------------------------------------------------------------------------

VOID = {"meta", "link", "img", "br", "input", "hr"}


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children = tag, dict(attrs), parent, []

    @property
    def classes(self):
        return (self.attrs.get("class") or "").split()

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def all(self, cls=None, tag=None):
        for c in self.children:
            if isinstance(c, Node):
                if (cls is None or cls in c.classes) and (tag is None or c.tag == tag):
                    yield c
                yield from c.all(cls, tag)

    def one(self, cls=None, tag=None):
        found = list(self.all(cls, tag))
        assert len(found) == 1, (cls, tag, len(found))
        return found[0]


class TreeBuilder(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = self.current = Node("#root", [], None)

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.current)
        self.current.children.append(node)
        if tag not in VOID:
            self.current = node

    def handle_startendtag(self, tag, attrs):
        self.current.children.append(Node(tag, attrs, self.current))

    def handle_endtag(self, tag):
        node = self.current
        while node is not None and node.tag != tag:
            node = node.parent
        assert node is not None, f"stray </{tag}>"
        self.current = node.parent

    def handle_data(self, data):
        self.current.children.append(data)


def parse(path):
    builder = TreeBuilder()
    builder.feed(open(path, encoding="utf-8").read())
    builder.close()
    return builder.root


def cards(page):
    return {c.one("label").text(): c.one("value").text() for c in page.all("card")}


def steps_container(row):
    """The steps container that follows a test row, or None."""
    siblings = [c for c in row.parent.children if isinstance(c, Node)]
    after = siblings[siblings.index(row) + 1:]
    return after[0] if after and "steps-container" in after[0].classes else None


def groups(page):
    """{data-file: {"label", "pills", "rows": [row, ...]}}, rows as read from the page."""
    out = {}
    for g in page.all("file-group"):
        rows = []
        for tr in g.all("test-row"):
            container = steps_container(tr)
            cells = [c for c in tr.children if isinstance(c, Node)]
            steps = []
            if container is not None:
                for step in container.all(tag="tr"):
                    icon, text = [c for c in step.children if isinstance(c, Node)]
                    msgs = list(text.all("step-msg"))
                    imgs = list(text.all(tag="img"))
                    steps.append({
                        "icon": icon.text(), "status": icon.classes[1],
                        "text": "".join(c if isinstance(c, str) else c.text()
                                        for c in text.children
                                        if isinstance(c, str) or c.tag == "span"),
                        "kw": [s.text() for s in text.all("kw")],
                        "str": [s.text() for s in text.all("str")],
                        "sel": [s.text() for s in text.all("sel")],
                        "message": msgs[0].text() if msgs else None,
                        "screenshot": imgs[0].attrs["src"] if imgs else None,
                    })
            rows.append({
                "status": tr.attrs["data-status"], "file": tr.attrs["data-file"],
                "icon": cells[0].text(), "name": cells[1].text(),
                "button": cells[2].text() or None,
                "badge": cells[3].text(), "duration": cells[4].text(),
                "steps_id": container.attrs["id"] if container is not None else None,
                "steps": steps if container is not None else None,
            })
        out[g.attrs["data-file"]] = {"label": g.one("file-name").text(),
                                     "pills": [p.text() for p in g.one("file-counts").all("badge")],
                                     "rows": rows}
    return out


# ---------------------------------------------------------------------------
# A suite with every kind of outcome
# ---------------------------------------------------------------------------

SUITE = {
    "suite/ui/test_login.py": '''
        import pytest

        def test_ok(agent):
            agent.run('click "Login"')
            agent.run('verify text "<b>" is present')

        def test_fails(agent):
            agent.run('type "bob" into "Username"')
            agent.run('Verify "Welcome" is present', status="failed",
                      message="not found: <script>window.pwned = 1</script>",
                      screenshot='iVBOR"><x')
            assert False, "the step failed"

        def test_plain():
            pass

        @pytest.mark.skip(reason="later")
        def test_skip_marked():
            pass

        def test_skip_inside():
            pytest.skip("not today")

        class TestCart:
            def test_add(self, agent):
                agent.run("click Add")
        ''',
    "suite/test_checkout.py": '''
        import pytest

        @pytest.fixture
        def broken_setup():
            raise RuntimeError("setup broke")

        @pytest.fixture
        def broken_teardown():
            yield
            raise RuntimeError("teardown broke")

        def test_setup_fails(broken_setup):
            pass

        def test_teardown_fails(broken_teardown):
            pass

        def test_close_fails(agent):
            agent.run("click Pay")
            agent.fail_on_close = True
        ''',
}


@pytest.fixture
def suite_run(pytester, run):
    for path, source in SUITE.items():
        target = pytester.path / path
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text(inspect.cleandoc(source) + "\n")
    result, capture = run("suite")
    return pytester, result, capture


def test_results_collect_one_record_per_test(suite_run):
    _, result, capture = suite_run
    result.assert_outcomes(passed=5, failed=1, skipped=2, errors=3)
    records = {r["nodeid"]: r for r in capture.reporter.results}
    login, checkout = "suite/ui/test_login.py", "suite/test_checkout.py"
    expected = {
        f"{login}::test_ok": ("passed", "call", ""),
        f"{login}::test_fails": ("failed", "call", "AssertionError: the step failed"),
        f"{login}::test_plain": ("passed", "call", ""),
        f"{login}::test_skip_marked": ("skipped", "setup", "Skipped: later"),
        f"{login}::test_skip_inside": ("skipped", "call", "Skipped: not today"),
        f"{login}::TestCart::test_add": ("passed", "call", ""),
        f"{checkout}::test_setup_fails": ("failed", "setup", "RuntimeError: setup broke"),
        f"{checkout}::test_teardown_fails": ("failed", "teardown", "RuntimeError: teardown broke"),
        f"{checkout}::test_close_fails": ("failed", "teardown",
                                          "RuntimeError: the browser would not close"),
    }
    assert sorted(records) == sorted(expected)  # the marked skip too, from its setup
    for nodeid, (status, when, message) in expected.items():
        record = records[nodeid]
        assert list(record) == ["nodeid", "file", "test", "status", "duration", "message", "when"]
        assert (record["status"], record["when"]) == (status, when), nodeid
        assert message in record["message"], (nodeid, record["message"])
        assert type(record["duration"]) is float
        assert record["file"] + "::" + record["test"] == nodeid
    assert records[f"{login}::TestCart::test_add"]["test"] == "TestCart::test_add"
    assert records[f"{login}::test_ok"]["message"] == ""


def test_steps_are_filed_per_test_even_when_close_fails(suite_run):
    _, _, capture = suite_run
    steps = capture.config._marrowlane_steps
    assert sorted(steps) == sorted([
        "suite/ui/test_login.py::test_ok", "suite/ui/test_login.py::test_fails",
        "suite/ui/test_login.py::TestCart::test_add", "suite/test_checkout.py::test_close_fails"])
    # Each entry is the agent's own list, not a copy.
    assert {id(s) for s in steps.values()} == {id(a._steps) for a in StandInAgent.made}
    assert [s["instruction"] for s in steps["suite/test_checkout.py::test_close_fails"]] == [
        "click Pay"]
    assert all(a.closed for a in StandInAgent.made)
    assert [(a.url, a.screenshots) for a in StandInAgent.made] == [(None, False)] * 4


def test_report_shows_the_run(suite_run):
    pytester, _, _ = suite_run
    page = parse(pytester.path / "test_report" / "report.html")
    assert cards(page) == {"Total": "9", "Passed": "3", "Failed": "4", "Skipped": "2",
                           "Pass Rate": "33%", "Duration": cards(page)["Duration"]}
    assert re.fullmatch(r"\d+\.\d{1,2}s", cards(page)["Duration"])
    assert page.one("run-time").text() == cards(page)["Duration"]  # behind an inline clock
    assert page.one("run-time").one(tag="svg")

    g = groups(page)
    # Groups in the order pytest ran the files (a folder's files before its subfolders).
    assert list(g) == ["suite/test_checkout.py", "suite/ui/test_login.py"]
    checkout, login = g["suite/test_checkout.py"], g["suite/ui/test_login.py"]
    assert login["label"] == "suite/ui / test_login.py"
    assert login["pills"] == ["3 passed", "1 failed", "2 skipped"]
    assert checkout["pills"] == ["3 failed"]

    rows = checkout["rows"] + login["rows"]
    assert [(r["name"], r["icon"], r["steps_id"]) for r in rows] == [
        ("test_setup_fails", "✗", None),
        ("test_teardown_fails", "✗", None),
        ("test_close_fails", "✗", "steps-3"),
        ("test_ok", "✓", "steps-4"),
        ("test_fails", "✗", "steps-5"),
        ("test_plain", "✓", None),  # every test uses up a steps number
        ("test_skip_marked", "○", None),
        ("test_skip_inside", "○", None),
        ("TestCart::test_add", "✓", "steps-9"),
    ]
    assert [r["badge"] for r in rows] == [r["status"] for r in rows]
    assert all(r["file"] == f for f in g for r in g[f]["rows"])
    assert all(re.fullmatch(r"\d+\.\d\ds", r["duration"]) for r in rows)
    assert [r["button"] for r in rows] == [
        None if r["steps_id"] is None else "+ view steps" for r in rows]

    ok, fails = rows[3]["steps"], rows[4]["steps"]
    assert ok[0] == {"icon": "✓", "status": "passed", "text": 'click "Login"', "kw": ["click"],
                     "str": ['"Login"'], "sel": [], "message": None, "screenshot": None}
    # Markup in a step shows as text and the keyword and quotes are still marked.
    assert ok[1]["text"] == 'verify text "<b>" is present'
    assert (ok[1]["kw"], ok[1]["str"]) == (["verify text"], ['"<b>"'])
    assert fails[0]["sel"] == ['"Username"']
    assert fails[1]["icon"] == "✗" and fails[1]["kw"] == ["Verify"]
    assert fails[1]["message"] == "not found: <script>window.pwned = 1</script>"
    assert fails[1]["screenshot"] == 'data:image/png;base64,iVBOR"><x'


def test_report_source_carries_no_markup_from_the_run(suite_run):
    pytester, _, _ = suite_run
    source = (pytester.path / "test_report" / "report.html").read_text(encoding="utf-8")
    assert source.count("<script>") == 1
    assert "<b>" not in source and '"><x' not in source


def test_fixture_is_a_generator_listed_by_pytest(pytester, run):
    assert inspect.isgeneratorfunction(inspect.unwrap(fixtures.agent))
    pytester.makepyfile("def test_x(): pass")
    result, _ = run("--fixtures")
    assert result.ret == 0
    result.stdout.fnmatch_lines(["agent*", "*WebAgent for this test*"])
    result, _ = run("--help")
    result.stdout.fnmatch_lines(["marrowlane:", "*--marrowlane-report*"])


def test_configuration_in_a_parent_directory(pytester, run, monkeypatch):
    reads = pytester.path / "reads"
    write_config(pytester.path, f'URL = "http://shop.test/"\nopen({str(reads)!r}, "a").write("x")\n')
    work = pytester.mkpydir("work")
    (work / "test_one.py").write_text(
        "def test_one(agent):\n    agent.run('click Go')\n"
        "def test_two(agent):\n    pass\n"
        "def test_three():\n    pass\n")
    monkeypatch.chdir(work)
    result, capture = run("test_one.py")
    result.assert_outcomes(passed=3)
    assert capture.reporter.report_path == str(pytester.path / "test_report" / "report.html")
    assert (pytester.path / "test_report" / "report.html").is_file()
    assert capture.config._marrowlane_result_dir == "test_report"
    # The configuration sets only URL: screenshots stay off. Two agent tests, two entries.
    assert [(a.url, a.screenshots) for a in StandInAgent.made] == [("http://shop.test/", False)] * 2
    assert sorted(capture.config._marrowlane_steps) == ["test_one.py::test_one",
                                                        "test_one.py::test_two"]
    assert reads.read_text() == "x"  # executed once for the run, not once per test


def test_configured_result_dir_and_screenshots(pytester, run):
    write_config(pytester.path,
                 'RESULT_DIR = "out/reports"\nSCREENSHOTS_ON_FAILURE = True\nOTHER = 1\n')
    pytester.makepyfile("def test_a(agent):\n    pass\n")
    _, capture = run()
    assert capture.reporter.report_path == os.path.join(str(pytester.path), "out/reports",
                                                        "report.html")
    assert (pytester.path / "out" / "reports" / "report.html").is_file()
    assert capture.config._marrowlane_result_dir == "out/reports"
    assert StandInAgent.made[0].screenshots is True


def test_report_option_wins_over_the_configuration(pytester, run):
    write_config(pytester.path, 'RESULT_DIR = "elsewhere"\n')
    pytester.makepyfile("def test_a():\n    pass\n")
    _, capture = run("--marrowlane-report", "out/r.html")
    assert capture.reporter.report_path == "out/r.html"
    assert (pytester.path / "out" / "r.html").is_file()
    assert not (pytester.path / "elsewhere").exists()
    assert capture.config._marrowlane_result_dir == "elsewhere"


def test_no_configuration_anywhere(pytester, run, monkeypatch):
    monkeypatch.setattr(fixtures, "_CONFIG_FILE", "marrowlane.web.config.absent.py")
    pytester.makepyfile("def test_a(agent):\n    pass\n")
    _, capture = run()
    assert fixtures._find_config() == ({}, str(pytester.path))
    assert capture.reporter.report_path == os.path.join(str(pytester.path), "test_report",
                                                        "report.html")
    assert StandInAgent.made[0].url is None


def test_configuration_errors_reach_pytest(pytester, run):
    write_config(pytester.path, "URL = (\n")
    pytester.makepyfile("def test_a():\n    pass\n")
    result, _ = run()
    assert result.ret != 0
    assert "SyntaxError" in result.stdout.str() + result.stderr.str()


@pytest.mark.parametrize("text, where", [
    ("URL = (\n", "line 1: SyntaxError: '(' was never closed"),
    ("URL = 'x'\nraise RuntimeError('no shop')\n", "line 2: RuntimeError: no shop"),
])
def test_a_broken_configuration_stops_the_run_in_one_line(pytester, run, text, where):
    write_config(pytester.path, text)
    pytester.makepyfile("def test_a(agent):\n    pass\n")
    result, _ = run()
    assert result.ret == pytest.ExitCode.USAGE_ERROR
    assert [line for line in result.stderr.lines if line.strip()] == [
        f"ERROR: {pytester.path / 'marrowlane.web.config.py'}, {where}"]


@pytest.mark.parametrize("config, args", [
    ('RESULT_DIR = "taken"\n', []),  # a file where the directory should be
    ("RESULT_DIR = None\n", []),
    ("", ["--marrowlane-report", "taken/r.html"]),
    ("", ["--marrowlane-report", "."]),  # a directory
    ("", ["--marrowlane-report", "/proc/marrowlane/r.html"]),
])
def test_an_unusable_report_destination_stops_the_run(pytester, run, config, args):
    write_config(pytester.path, config)
    (pytester.path / "taken").write_text("a file")
    pytester.makepyfile("def test_a(agent):\n    pass\n")
    result, _ = run(*args)
    assert result.ret == pytest.ExitCode.USAGE_ERROR
    [line] = [line for line in result.stderr.lines if line.strip()]
    assert line.startswith(("ERROR: The marrowlane report cannot be written to", "ERROR: RESULT_DIR"))
    assert StandInAgent.made == []


def test_configuration_is_read_as_python_source(pytester):
    write_config(pytester.path, 'URL = "http://café.test/"\n')
    with pytest.MonkeyPatch.context() as mp:
        mp.chdir(pytester.path)
        cfg, where = fixtures._find_config()
        assert fixtures._load_project_config()["URL"] == "http://café.test/"
    assert cfg["URL"] == "http://café.test/"
    assert where == str(pytester.path)


def test_agent_construction_error_fails_setup(pytester, run, monkeypatch):
    def broken(**kwargs):
        raise RuntimeError("no browser")

    monkeypatch.setattr(fixtures, "WebAgent", broken)
    pytester.makepyfile("def test_a(agent):\n    pass\n")
    result, capture = run()
    result.assert_outcomes(errors=1)
    assert [(r["status"], r["when"]) for r in capture.reporter.results] == [("failed", "setup")]
    assert not hasattr(capture.config, "_marrowlane_steps")


def test_installed_package_needs_no_conftest(pytester, monkeypatch):
    """The pytest11 entry point alone loads the plugin."""
    site = pytester.path / "site"
    info = site / "marrowlane_web_probe-0.dist-info"
    info.mkdir(parents=True)
    (info / "METADATA").write_text("Metadata-Version: 2.1\nName: marrowlane-web-probe\nVersion: 0\n")
    (info / "entry_points.txt").write_text(f"[pytest11]\nmarrowlane = {PLUGIN}\n")
    monkeypatch.syspath_prepend(str(site))
    monkeypatch.delenv("PYTEST_DISABLE_PLUGIN_AUTOLOAD", raising=False)
    monkeypatch.setattr(fixtures, "WebAgent", StandInAgent)
    pytester.makepyfile("def test_a(agent):\n    agent.run('click Go')\n")
    result = pytester.runpytest("-p", "no:cacheprovider")
    result.assert_outcomes(passed=1)
    assert (pytester.path / "test_report" / "report.html").is_file()


# ---------------------------------------------------------------------------
# Every outcome pytest reports, and runs that stop early
# ---------------------------------------------------------------------------

OUTCOMES = """
    import pytest

    @pytest.fixture
    def skips():
        pytest.skip("no shop today")

    @pytest.fixture
    def unreachable():
        raise ConnectionError("http://127.0.0.1:9/ is unreachable")

    @pytest.mark.skipif(True, reason="not on this machine")
    def test_skipif():
        pass

    def test_skip_in_fixture(skips):
        pass

    @pytest.mark.xfail(reason="known bug")
    def test_xfail():
        assert 0, "still broken"

    @pytest.mark.xfail(reason="known bug")
    def test_xpass():
        pass

    def test_plain_assert():
        total = 2
        assert total == 3, "the total is off"

    def test_exception():
        {}["missing"]

    def test_fixture_error(unreachable):
        pass
"""


def reasons(page):
    """{test name: (status, reason shown, details on demand or None)} from the report."""
    out = {}
    for row in page.all("test-row"):
        siblings = [c for c in row.parent.children if isinstance(c, Node)]
        later = siblings[siblings.index(row) + 1:]
        later = later[1:] if later and "steps-container" in later[0].classes else later
        shown = details = None
        if later and "test-msg-row" in later[0].classes:
            message = later[0].one("test-msg")
            more = list(message.all(tag="pre"))
            details = more[0].text() if more else None
            shown = "".join(c for c in message.children if isinstance(c, str))
        name = [c for c in row.children if isinstance(c, Node)][1].text()
        out[name] = (row.attrs["data-status"], shown, details)
    return out


def test_every_outcome_is_in_the_report_with_its_reason(pytester, run):
    pytester.makepyfile(test_outcomes=inspect.cleandoc(OUTCOMES))
    result, _ = run()
    result.assert_outcomes(passed=0, failed=2, skipped=2, xfailed=1, xpassed=1, errors=1)
    page = parse(pytester.path / "test_report" / "report.html")
    got = reasons(page)
    # The first line of each reason (pytest's crash message may go on below).
    assert {name: (status, shown.splitlines()[0]) for name, (status, shown, _) in got.items()} == {
        "test_skipif": ("skipped", "Skipped: not on this machine"),
        "test_skip_in_fixture": ("skipped", "Skipped: no shop today"),
        "test_xfail": ("xfailed", "expected to fail (known bug): AssertionError: still broken"),
        "test_xpass": ("xpassed", "expected to fail (known bug), but passed"),
        "test_plain_assert": ("failed", "AssertionError: the total is off"),
        "test_exception": ("failed", "KeyError: 'missing'"),
        "test_fixture_error": ("failed", "ConnectionError: http://127.0.0.1:9/ is unreachable"),
    }
    assert "assert total == 3" in got["test_plain_assert"][2]  # pytest's account, on demand
    assert cards(page)["XFailed"] == cards(page)["XPassed"] == "1"
    assert page.one("run-status").text() == "Run complete"


@pytest.mark.parametrize("files, args, says", [
    ({"test_a.py": "def test_1():\n    assert 0\ndef test_2():\n    pass\n"}, ["-x"],
     "Interrupted: stopping after 1 failures"),
    ({"test_a.py": "def test_1():\n    pass\n", "test_b.py": "import nowhere\n"}, [],
     "Interrupted: 1 error during collection"),
])
def test_an_interrupted_run_says_so(pytester, run, files, args, says):
    pytester.makepyfile(**{name[:-3]: text for name, text in files.items()})
    run(*args)
    page = parse(pytester.path / "test_report" / "report.html")
    assert page.one("run-status").text() == says
    got = reasons(page)
    assert "test_2" not in got
    if "collection" in says:
        assert got["(collecting)"][:1] == ("failed",)
        assert "No module named 'nowhere'" in got["(collecting)"][1]


def test_a_run_where_nothing_ran_keeps_the_previous_report(pytester, run):
    report = pytester.path / "test_report" / "report.html"
    report.parent.mkdir()
    report.write_text("previous")
    pytester.makepyfile("def test_a():\n    pass\n")
    result, _ = run("-k", "nothing_matches")
    assert result.ret == pytest.ExitCode.NO_TESTS_COLLECTED
    assert report.read_text() == "previous"
    run()
    assert report.read_text().startswith("<!DOCTYPE html>")
    assert os.listdir(report.parent) == ["report.html"]  # written beside it, then renamed
