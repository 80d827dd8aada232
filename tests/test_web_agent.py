"""WebAgent in Chromium on local pages: every action, settling, failures and their records.

Most tests drive the shared test page (tests/conftest.py) through an agent that
borrows it; the agent that owns its own Playwright and browser is run in a
separate interpreter, since one thread holds one Playwright at a time.
"""

import base64
import json
import os
import signal
import pathlib
import re
import subprocess
import sys
import time

import pytest

pytest.importorskip("playwright.sync_api")

from marrowlane_web import WebAgent  # noqa: E402
from marrowlane_web._agent.engine import spatial_target, with_ordinal  # noqa: E402
from marrowlane_web.engine.agent.step_parser import StepParser  # noqa: E402

PAGES = pathlib.Path(__file__).parent / "pages_agent"
SHOP = (PAGES / "shop.html").resolve().as_uri()
PYTHON_DIR = pathlib.Path(__file__).resolve().parents[1] / "python"


@pytest.fixture
def agent(page):
    page.goto(SHOP)
    agent = WebAgent(page=page, timeout=2)
    yield agent
    agent.close()


def head(record):
    """A step record's first four keys, which the harness reads; the account and duration follow."""
    assert list(record)[4:] == ["account", "duration_ms"]
    return {key: record[key] for key in list(record)[:4]}


def status(agent):
    return agent.page.inner_text("#status")


# -- acting -----------------------------------------------------------------------------

ACTIONS = [
    # steps, JavaScript that reads the outcome, the outcome wanted
    (['type standard_user into "Username"'], "document.getElementById('user').value", "standard_user"),
    (["click the Login button"], "document.getElementById('status').textContent", "Logged in"),
    (['select Canada from "Country"'], "document.getElementById('country').value", "CA"),
    (['select "united states" from "Country"'], "document.getElementById('country').value", "US"),
    (['select US from "Country"'], "document.getElementById('country').value", "US"),
    (['hover "Menu"'], "document.getElementById('menu').className", "open"),
    (['type a into "Username"', "press Enter"], "document.getElementById('keys').textContent", "Last key: Enter"),
    (['type a into "Username"', "press escape"], "document.getElementById('keys').textContent", "Last key: Escape"),
    (['type ab into "Username"', "sendkeys Backspace"], "document.getElementById('user').value", "a"),
    (['type ab into "Username"', "sendkeys cd"], "document.getElementById('user').value", "abcd"),
    (['click the 2nd "Add"'], "document.getElementById('status').textContent", "Picked Beta"),
    (['click third "Add"'], "document.getElementById('status').textContent", "Picked Gamma"),
    (['click the button next to "Gamma"'], "document.getElementById('status').textContent", "Picked Gamma"),
    (['click "Add" below "Alpha"'], "document.getElementById('status').textContent", "Picked Beta"),
    (['navigate "next.html"'], "location.pathname.split('/').pop()", "next.html"),
    (['click "Next page"'], "document.querySelector('h1').textContent", "Second page"),
    (['click\t"Login"'], "document.getElementById('status').textContent", "Logged in"),
]


@pytest.mark.parametrize("steps, probe, wanted", ACTIONS, ids=[" / ".join(a[0]) for a in ACTIONS])
def test_actions_work_on_the_page(agent, steps, probe, wanted):
    for step in steps:
        assert agent.run(step) is None
    if wanted == "Second page":
        agent.page.wait_for_load_state()
    assert agent.page.evaluate(probe) == wanted
    assert [s["status"] for s in agent._steps] == ["passed"] * len(steps)


PASSING_CHECKS = [
    'verify "Login" is present',
    "verify the Login button is visible",
    'verify "Login" is enabled',
    'verify "Place order" is disabled',
    'verify "Chat" is present',
    'verify text "Agent page" is present',
    'verify text "Idle" is visible',
    'verify text next to "Total" is $29.00',
    "verify text right of Widget is 12.50",
    'find text "Gam"',
    "find exact text Total",
]


@pytest.mark.parametrize("step", PASSING_CHECKS)
def test_checks_that_hold_pass(agent, step):
    agent.run(step)
    assert [head(s) for s in agent._steps] == [
        {"instruction": step, "status": "passed", "message": "", "screenshot": ""}]


@pytest.mark.parametrize(
    "step, text",
    [
        ('extract text right of "Total"', "$29.00"),
        ('extract text below "Price"', "$12.50"),
        ("extract text from the second item name", "Beta"),
        ('find exact text "total"', "Total"),
    ],
)
def test_extract_and_find_return_the_text(agent, step, text):
    assert agent.run(step) == text


def test_extract_reads_the_live_value_of_a_field(agent):
    agent.run('type typed into "Username"')
    assert agent.run('extract text from the field right of "Username"') == "typed"


def test_wait_waits(agent):
    start = time.monotonic()
    agent.run("wait 300")
    assert time.monotonic() - start >= 0.3


def test_several_lines_run_as_several_steps(agent):
    agent.run('type x into "Username"\n\n  click the Login button  \n')
    assert [s["instruction"] for s in agent._steps] == ['type x into "Username"', "click the Login button"]
    assert status(agent) == "Logged in"


# -- settling -----------------------------------------------------------------------------


def counted_reads(agent, monkeypatch):
    reads = []
    read = agent._engine.read
    monkeypatch.setattr(agent._engine, "read", lambda *parts: reads.append(1) or read(*parts))
    return reads


def test_a_step_waits_for_its_target_to_appear(agent, monkeypatch):
    agent.run('click "Load later"')  # the button "Continue" appears 0.7 s later
    reads = counted_reads(agent, monkeypatch)
    agent.run("click Continue")
    assert status(agent) == "Late clicked"
    assert len(reads) >= 2


def test_a_step_fails_once_its_time_is_up(agent, monkeypatch):
    reads = counted_reads(agent, monkeypatch)
    agent.timeout = 0.4
    start = time.monotonic()
    with pytest.raises(AssertionError, match="No element matches 'Never there'"):
        agent.run('click "Never there"')
    assert time.monotonic() - start >= 0.4
    assert len(reads) >= 2  # read afresh until the time was up


# -- failing steps ------------------------------------------------------------------------

FAILURES = [
    ('click "Checkout now"', ["No element matches 'Checkout now'.", "Nearest candidates:"]),
    ('click "Chek out"', ["Nearest candidates: ", "'Chat'"]),
    ('verify "Place order" is enabled', ["'Place order' is disabled, expected enabled."]),
    ('verify "Login" is disabled', ["'Login' is enabled, expected disabled."]),
    ('verify "Chat" is visible', ["'Chat' is present but not visible."]),
    ('verify text "Nowhere" is present', ["No text contains 'Nowhere'."]),
    ('verify text right of "Total" is $30.00', ["The text right of 'Total' is '$29.00', expected '$30.00'."]),
    ('verify text below "Totals" is 1', ["No text 'Totals' to look below.", "'Total'"]),
    ('extract text left of "Item"', ["Nothing is left of 'Item'."]),
    ('select Narnia from "Country"', ["'Country' has no option 'Narnia'.", "'Canada'"]),
    ('select x from the Login button', ["No dropdown list matches 'Login button'."]),
    ("find exact text Tota", ["No text equals 'Tota'.", "'Total'"]),
    ("click the Place order button", ["Could not click 'Place order button': it is disabled."]),
    ("wait soon", ["milliseconds", "'soon'"]),
    ("verify dialog says Hello", ["No dialog opened; expected one that says 'Hello'."]),
    ("press NoSuchKey", ["Could not press 'NoSuchKey'"]),
]


@pytest.mark.parametrize("step, parts", FAILURES, ids=[f[0] for f in FAILURES])
def test_a_failing_step_says_why(agent, step, parts):
    agent.timeout = 0.3
    with pytest.raises(AssertionError) as failure:
        agent.run(step)
    message = str(failure.value)
    for part in parts:
        assert part in message
    assert [head(s) for s in agent._steps] == [
        {"instruction": step, "status": "failed", "message": message, "screenshot": ""}]


REFUSED = [
    # a step the page would take without doing it, the message, and the value left
    ("<label>Birthday <input type=date></label>", 'type tomorrow into "Birthday"',
     "'Birthday' is a date field and does not take 'tomorrow': it shows ''.", ""),
    ("<label>Cars <select><option>Volvo<option disabled>Saab</select></label>", 'select Saab from "Cars"',
     "'Cars' has the option 'Saab', but it is disabled.", "Volvo"),
]


@pytest.mark.parametrize("html, step, failure, left", REFUSED, ids=[r[1] for r in REFUSED])
def test_a_step_the_field_would_not_take_fails_and_says_so(agent, html, step, failure, left):
    agent.page.set_content(html)
    with pytest.raises(AssertionError, match=re.escape(failure)):
        agent.run(step)
    assert agent.page.eval_on_selector("input, select", "el => el.value") == left
    agent.run(step.replace("tomorrow", "2020-02-29").replace("Saab", "Volvo"))


_CLICKED = ("<script>var hits = []; "
            "document.addEventListener('click', e => hits.push(e.target.id + e.detail))</script>")
PRESSED = [
    # a page whose button 'Go' is pressed, and the ids clicked (or the failure)
    ("<div style='height:3000px'></div><button id=go>Go</button>", "click Go", ["go1"]),
    ("<div id=host></div><script>document.getElementById('host').attachShadow({mode: 'open'})"
     ".innerHTML = '<button id=go>Go</button>'</script>", "click Go", ["host1"]),
    ("<button id=go style='transition: margin 300ms' onclick=''>Go</button><script>"
     "setTimeout(() => document.getElementById('go').style.marginLeft = '200px', 20)</script>",
     "double click Go", ["go1", "go2"]),
    ("<button id=go>Go</button><div style='position:fixed;inset:0'></div>", "click Go",
     "Could not click 'Go': another element covers it."),
    ("<div role=button id=go aria-disabled=true tabindex=0>Go</div>", "click Go",
     "Could not click 'Go': it is disabled."),
    ("<iframe srcdoc=\"<button id=go onclick='parent.hits.push(this.id)'>Go</button>\"></iframe>",
     "click Go", ["go"]),
]


@pytest.mark.parametrize("html, step, outcome", PRESSED, ids=[p[1] + str(i) for i, p in enumerate(PRESSED)])
def test_the_pointer_presses_only_an_element_that_takes_it(agent, html, step, outcome):
    agent.page.set_content(_CLICKED + html)
    if isinstance(outcome, str):
        agent.timeout = 0.5
        with pytest.raises(AssertionError, match=re.escape(outcome)):
            agent.run(step)
        assert agent.page.evaluate("hits") == []
    else:
        agent.run(step)
        assert agent.page.evaluate("hits") == outcome


def test_a_failing_step_carries_a_screenshot_when_asked(agent):
    agent.screenshots = True
    agent.timeout = 0.2
    agent.run('verify text "Agent page" is present')
    with pytest.raises(AssertionError):
        agent.run('click "Missing"')
    passed, failed = agent._steps
    assert passed["screenshot"] == ""
    assert base64.b64decode(failed["screenshot"]).startswith(b"\x89PNG\r\n\x1a\n")


UNWORKABLE = [
    # a step that cannot be worked at all, and what its message says
    ("jump", ["Unrecognised step 'jump'. A step reads: click ..., type ... into ..."]),
    ("type into Search", ["Unrecognised step 'type into Search'."]),
    ("accept dialog now", ["Unrecognised step 'accept dialog now'."]),
    ("jump " + "x" * 400, ["Unrecognised step 'jump xxx", "x'… (405 characters)."]),
    ("", ["The step is empty"]),
    ("\n\n", ["The step is empty"]),
    ("click the", ["The step 'click the' names nothing to click"]),
    ("click a", ["names nothing to click"]),
    ("click the button", ["10 buttons are on the page: name the one meant", "the first button"]),
    ("hover the", ["names nothing to hover over"]),
    ("type hello into the", ["names no field to type into"]),
    ("verify the is present", ["names nothing to verify"]),
    ("extract text the", ["names nothing to extract text from"]),
    ('navigate "http://[::1"', ["'http://[::1' is not an address that can be opened"]),
    ("wait 600001", ["A wait of 600001 ms is longer than 10 minutes"]),
]


@pytest.mark.parametrize("step, parts", UNWORKABLE, ids=[u[0][:20] for u in UNWORKABLE])
def test_a_step_that_cannot_be_worked_fails_and_says_why(agent, step, parts):
    with pytest.raises(AssertionError) as failure:
        agent.run(step)
    message = str(failure.value)
    for part in parts:
        assert part in message
    assert "verify_dialog" not in message and len(message) < 800
    assert agent._steps[-1]["status"] == "failed"
    assert agent._steps[-1]["message"] == message
    assert status(agent) == "Idle"  # nothing was acted on


def test_a_step_on_a_blank_page_says_the_page_is_blank(page):
    agent = WebAgent(page=page, timeout=0.2)
    with pytest.raises(AssertionError, match="The page is blank: nothing was opened"):
        agent.run('click "Login"')


# -- a page that never lets go --------------------------------------------------------------


@pytest.fixture
def quick_watchdog(monkeypatch):
    from marrowlane_web._agent import steps

    monkeypatch.setattr(steps, "GRACE_SECONDS", 0.5)


def test_a_page_that_never_answers_fails_the_step_in_bounded_time(agent, quick_watchdog):
    agent.timeout = 0.5
    agent.page.evaluate("setTimeout(() => { for (;;) {} }, 50)")  # the page's thread loops for ever
    start = time.monotonic()
    with pytest.raises(AssertionError, match="The page is not responding"):
        agent.run('click "Login"')
    with pytest.raises(AssertionError, match="The page is not responding"):
        agent.run('verify "Login" is present')  # given up: fails at once
    assert time.monotonic() - start < 5
    assert [s["status"] for s in agent._steps] == ["failed", "failed"]


def test_a_slow_page_that_answers_is_given_its_last_read(page):
    from marrowlane_web._agent.watchdog import Watchdog

    watchdog = Watchdog(page)
    with watchdog.bound(1.0):
        page.wait_for_timeout(500)  # a read that answered in half a second
        watchdog.allow(2.0)
        page.wait_for_timeout(1000)  # the last read: past the bound as it was


def test_typing_a_long_text_ends_with_the_step_time(agent):
    agent.run('type a into "Username"')
    agent.timeout = 0.3
    start = time.monotonic()
    with pytest.raises(AssertionError, match="Typing took longer than the step's 0.3 s"):
        agent.run("sendkeys " + "x" * 20000)
    assert time.monotonic() - start < 3


def test_a_step_that_is_not_text_is_refused(agent):
    with pytest.raises(TypeError):
        agent.run(None)
    assert agent._steps == []


# -- dialogs ------------------------------------------------------------------------------


def test_a_dialog_is_accepted_and_can_be_checked_after(agent):
    agent.run('click "Delete"')
    agent.run("verify dialog says Delete everything?")
    agent.run("accept dialog")
    assert status(agent) == "Deleted"


def test_a_dialog_is_dismissed_when_prepared_for(agent):
    agent.run("dismiss dialog")
    agent.run('click "Delete"')
    agent.run("verify dialog says delete EVERYTHING")
    assert status(agent) == "Kept"
    agent.run('click "Delete"')  # the preparation served one dialog only
    assert status(agent) == "Deleted"


def test_dismissing_a_dialog_already_accepted_fails(agent):
    agent.run('click "Delete"')
    with pytest.raises(AssertionError, match="Put 'dismiss dialog' before the step that opens"):
        agent.run("dismiss dialog")


def test_an_alert_can_be_dismissed_after(agent):
    agent.run('click "Save"')
    agent.run("dismiss dialog")
    agent.run("verify dialog says Saved!")


def test_a_dialog_that_says_something_else_fails(agent):
    agent.timeout = 0.3
    agent.run('click "Save"')
    with pytest.raises(AssertionError, match="The dialog says 'Saved!', expected 'Deleted'."):
        agent.run("verify dialog says Deleted")


# -- which path resolves a target ---------------------------------------------------------


@pytest.mark.parametrize(
    "step, spatial",
    [
        ('click second button next to "Sign up"', "second button next to Sign up"),
        ('click the 2nd button next to "Email"', "2nd button next to Email"),
        ("click second login", "second login"),
        ("extract text from the first price", "first price"),
        ('type x into the field below "Name"', "field below Name"),
        ('verify the button next to "Email" is enabled', "button next to Email"),
        ("click the Login button", None),
        ('click "Log in"', None),
        ('click first "Sign up"', None),
        ('click "Next to nothing"', None),
        ("click Linear Light", None),
        ("click Under", None),
        ('verify text next to "Total" is 5', None),
    ],
)
def test_relational_and_ordinal_targets_take_the_spatial_path(step, spatial):
    parsed, word = with_ordinal(StepParser().parse(step), step)
    assert spatial_target(parsed, word) == spatial


# -- the agent that owns its browser ------------------------------------------------------

_OWNED = """
import json, sys
from marrowlane_web import WebAgent
agent = WebAgent(url=sys.argv[1], screenshots=True, timeout=1)
agent.run('click the Login button')
try:
    agent.run('click "Nothing like this"')
except AssertionError as exc:
    failed = str(exc)
page = agent.page
agent.close()
agent.close()
print(json.dumps({"steps": [[s["status"], bool(s["screenshot"])] for s in agent._steps],
                  "failed": failed, "page_closed": page.is_closed()}))
"""


def _python(code, *args):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(PYTHON_DIR), os.environ.get("PYTHONPATH", "")]))
    done = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True, env=env, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_an_agent_owns_and_releases_its_browser():
    out = json.loads(_python(_OWNED, SHOP))
    assert out["steps"] == [["passed", False], ["failed", True]]
    assert out["failed"].startswith("No element matches 'Nothing like this'.")
    assert out["page_closed"] is True


def test_importing_the_package_does_not_load_playwright():
    out = _python("import sys, marrowlane_web; print('playwright' in sys.modules)")
    assert out.strip() == "False"


@pytest.mark.parametrize(
    "written, key",
    [("Enter", "Enter"), ("enter", "Enter"), ("ESC", "Escape"), ("ctrl+a", "Control+a"),
     ("Ctrl + Shift + Tab", "Control+Shift+Tab"), ("page down", "PageDown"), ("f5", "F5"),
     ("x", "x"), ("hello", None), ("ctrl+hello", None), ("", None)],
)
def test_key_names_as_written_become_playwright_keys(written, key):
    from marrowlane_web._agent.keys import key_combination

    assert key_combination(written) == key


# -- under pytest: a page that never answers, and Ctrl-C ----------------------------------

_SUITE = """
import pathlib
from marrowlane_web._agent import steps

steps.GRACE_SECONDS = 2


def test_hangs(agent):
    agent.timeout = 0.5
    agent.page.evaluate("setTimeout(() => { for (;;) {} }, 50)")
    agent.run('click "Login"')


def test_next(agent):
    agent.run('click "Login"')
    assert agent.page.inner_text("#status") == "Logged in"


def test_interrupted(agent):
    pathlib.Path("started").write_text("")
    agent.run("wait 60000")
"""


def test_under_pytest_a_hung_page_fails_its_test_and_ctrl_c_ends_the_run(tmp_path):
    (tmp_path / "test_suite.py").write_text(_SUITE)
    (tmp_path / "marrowlane.web.config.py").write_text(f"URL = {SHOP!r}\n")
    command = [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-p", "no:hypothesispytest"]
    run = subprocess.Popen(command, cwd=tmp_path, start_new_session=True, text=True,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    while not (tmp_path / "started").exists() and run.poll() is None:
        time.sleep(0.1)
    time.sleep(0.5)
    os.killpg(run.pid, signal.SIGINT)  # Ctrl-C at a terminal reaches the whole process group
    out, _ = run.communicate(timeout=120)
    assert run.returncode == 2, out
    assert "The page is not responding" in out and "1 failed, 1 passed" in out
    assert "KeyboardInterrupt" in out and "TargetClosedError" not in out
    report = (tmp_path / "test_report" / "report.html").read_text(encoding="utf-8")
    assert "Interrupted: stopped with Ctrl-C" in report


# -- a quick look decides only what the whole page would ------------------------------------

QUICK_PAGE = """<!doctype html><body onclick="if (event.target.id) clicked.push(event.target.id)">
<script>var clicked = [];</script>
<div><button id="save">Save</button><div id="save-tile" aria-label="Save"
  style="cursor: pointer">S</div></div>
<div class="card"><h3>Bike Light</h3><p>$9.99</p><button id="add">Add to cart</button></div>
<a id="help" href="#">Login help</a> <button id="login">Login</button> <h2>Login</h2>
<label>Email <input id="email"></label> <a id="email-link" href="#">Email</a>
<p>Country</p><select id="country"><option>Canada</option><option>Peru</option></select>
<input id="go" type="submit" value="Go"> <span id="go-span" style="cursor: pointer">Go</span>
<button id="off" disabled>Off</button> <span id="off-span" style="cursor: pointer">Off</span>
</body>"""


@pytest.mark.parametrize("step", [
    'click "Save"', 'click "Add to cart"', 'click the Login button', 'type a@b.c into "Email"',
    'click "Email"', 'select Peru from "Country"', 'click "Go"', 'click "Off"', 'hover "Login"',
    'verify "Off" is disabled', 'verify "Add to cart" is visible',
])
def test_a_quick_look_picks_as_a_reading_of_the_whole_page(agent, monkeypatch, step):
    # The same element, for the same reason, and placed alike (a field's name in words
    # may differ: the text nearest it is looked for only in the part of the page read).
    picks = []
    for quick in (True, False):
        agent.page.set_content(QUICK_PAGE)
        if not quick:
            monkeypatch.setattr(agent._engine, "quick_find", lambda *args: None)
        agent.run(step)
        name, rest = agent._steps[-1]["account"].split("; runner")[0].split(" — ")
        picks.append((agent.page.evaluate("clicked"), agent.page.evaluate(
            "[email.value, country.value]"), re.sub(r'^.*" ', "", name), rest))
    assert picks[0] == picks[1]
