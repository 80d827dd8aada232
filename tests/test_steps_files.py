"""Plain-text .steps files, collected by the plugin and run with the `agent`
fixture, and `python -m marrowlane_web check`."""

import inspect
import pathlib

import pytest

from marrowlane_web.__main__ import main
from test_fixtures import StandInAgent, parse, run  # noqa: F401 (run is a fixture)

pytest_plugins = ["pytester"]

EXAMPLES = pathlib.Path(__file__).parent.parent / "examples"
UNKNOWN_CLIK = "Unknown action 'clik'. Expected one of: click,"
NO_STATE = "`verify` instruction missing state."


def write(directory, files):
    for name, text in files.items():
        target = directory / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(text, bytes):
            target.write_bytes(text)
        else:
            target.write_text(inspect.cleandoc(text) + "\n", encoding="utf-8")


def test_two_tests_run_in_a_browser_and_report_their_steps(pytester, monkeypatch):
    # A real agent in a process of its own (the outer session may hold a
    # Playwright of its own on this thread).
    (pytester.path / "page.html").write_text("<p>Hello</p><button>Go</button>")
    write(pytester.path, {
        "marrowlane.web.config.py": f"URL = {(pytester.path / 'page.html').as_uri()!r}",
        "shop.steps": """
            Test: the greeting is shown
              verify text "Hello" is visible
              verify "Go" is present

            Test: the farewell is missing
              verify text "Hello" is present
              verify text "Goodbye" is visible
            """,
    })
    monkeypatch.setenv("MARROWLANE_TIMEOUT", "1")  # the failing step waits no longer
    result = pytester.runpytest_subprocess("-p", "no:cacheprovider")
    result.assert_outcomes(passed=1, failed=1)
    result.stdout.fnmatch_lines(['shop.steps:7: verify text "Goodbye" is visible', "*Goodbye*"])
    page = parse(pytester.path / "test_report" / "report.html")
    assert [(r.attrs["data-file"], r.one("test-name").text(), r.attrs["data-status"])
            for r in page.all("test-row")] == [
        ("shop.steps", "the greeting is shown", "passed"),
        ("shop.steps", "the farewell is missing", "failed")]
    assert [["passed" in i.classes for i in c.all("step-icon")]
            for c in page.all("steps-container")] == [[True, True], [True, False]]


SUITE = {
    "good.steps": """
        # two tests
        Test: the first one
          click Login

        Test: the second one
          click Logout
        """,
    "bad.steps": """
        Test: a typo
          click Login
          clik Logout
          verify "Done"
        """,
    "test_plain.py": """
        def test_python(agent):
            agent.run("click Login")
        """,
}


@pytest.mark.parametrize("args, passed", [
    ((), ["the first one", "the second one", "test_python"]),
    (("-k", "second"), ["the second one"]),
    (("good.steps::the first one",), ["the first one"]),
])
def test_a_bad_file_fails_collection_and_the_others_run(pytester, run, args, passed):
    write(pytester.path, SUITE)
    result, capture = run("-v", *args)
    # (a file that fails collection has its own record, when "collect")
    assert [r["test"] for r in capture.reporter.results if r["when"] != "collect"] == passed
    assert len(StandInAgent.made) == len(passed)  # no agent for the refused file
    if "good.steps::the first one" not in args:  # naming a node collects only its file
        result.stdout.fnmatch_lines(["*ERROR collecting bad.steps*",
                                     f"bad.steps:3: {UNKNOWN_CLIK}*",
                                     f"bad.steps:4: {NO_STATE}*"])
        assert result.ret == 1


CHECKS = {
    "three mistakes": ({"a.steps": """
        Test: one
          clik Login
        click Logout
          wait soon
          double click Login
          right-click the 2nd row
        """}, [
        f"a.steps:2: {UNKNOWN_CLIK}",
        "a.steps:3: expected \"Test: <title>\" or an indented step, got 'click Logout'",
        "a.steps:4: `wait` value must be a number in milliseconds. Got: 'soon'",
    ]),
    "python literals": ({"test_x.py": '''
        STEPS = """
            click Login
            jump
        """

        def test_x(agent, other):
            agent.run('verify "Done"')
            agent.run("""
                click Login

                clik Logout
            """)
            agent.run(STEPS)
            agent.run(step="back")
            other.run("not a step")
        '''}, [
        "test_x.py:3: Unknown action 'jump'.",
        f"test_x.py:7: {NO_STATE}",
        f"test_x.py:11: {UNKNOWN_CLIK}",
        "test_x.py:14: Unrecognised instruction: 'back'.",
    ]),
    "bad input": ({
        "latin1.steps": b"Test: caf\xe9\n  click Login\n",
        "shape.steps": """
            Test: same
              click Login
            Test: empty
            Test: same
              click Login
            """,
        "test_broken.py": "def test(:\n",
    }, [
        "latin1.steps:1: not UTF-8 text (byte 0xe9 cannot be read); save it as UTF-8",
        "shape.steps:3: test 'empty' has no steps",
        "shape.steps:4: the title 'same' is already used on line 1",
        "test_broken.py:1: not valid Python:",
    ]),
}


@pytest.mark.parametrize("files, lines", CHECKS.values(), ids=CHECKS.keys())
def test_the_checker_prints_each_mistake_where_it_is(tmp_path, monkeypatch, capsys, files, lines):
    write(tmp_path, files)
    monkeypatch.chdir(tmp_path)
    assert main(["check", *sorted(files)]) == 1
    out = capsys.readouterr().out.splitlines()
    assert len(out) == len(lines) and all(o.startswith(l) for o, l in zip(out, lines)), out


def test_the_checker_finds_the_examples_clean_and_refuses_wrong_paths(capsys):
    assert main(["check", str(EXAMPLES)]) == 0
    assert capsys.readouterr().out == ""
    for path, why in [("no-such.steps", "no such file or directory"),
                      ("pytest.ini", "not a .steps or Python file")]:
        with pytest.raises(SystemExit) as exit_:
            main(["check", str(EXAMPLES / path)])
        assert exit_.value.code == 2
        assert why in capsys.readouterr().err
