"""Where agents get their browser: one shared per process, a context per agent,
or a remote browser through a Playwright server or a DevTools endpoint."""

import functools
import http.server
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

import pytest

pytest.importorskip("playwright.sync_api")

from marrowlane_web import WebAgent, web_agent  # noqa: E402
from marrowlane_web._agent import browser as browsers  # noqa: E402

PAGES = pathlib.Path(__file__).parent / "pages_agent"
CHROMIUM = "/usr/bin/chromium"


class _Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def site():
    """tests/pages_agent over loopback HTTP, so cookies and storage behave as on a real site."""
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(_Quiet, directory=str(PAGES)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_port}/shop.html"
    server.shutdown()
    server.server_close()


def _leave_a_dialog_open(agent):
    agent.page.on("dialog", lambda dialog: None)  # heard, never answered
    agent.page.evaluate("setTimeout(() => alert('left open'), 0)")
    agent.page.wait_for_timeout(100)


def _crash_the_renderer(agent):
    # The DevTools command never answers (its renderer is gone), and the sync API
    # would wait for that answer forever: send it without waiting, then wait for the crash.
    devtools = agent.page.context.new_cdp_session(agent.page)
    with agent.page.expect_event("crash", timeout=10_000):
        task = agent.page._loop.create_task(devtools._impl_obj.send("Page.crash", None, None))
        task.add_done_callback(lambda done: done.exception())


LEFTOVERS = [
    # what the first agent leaves behind, what the next agent reads of it
    ("cookie", lambda a: a.page.evaluate("document.cookie = 'left=1; max-age=3600'"), "document.cookie"),
    ("localStorage", lambda a: a.page.evaluate("localStorage.setItem('left', '1')"), "localStorage.length"),
    ("sessionStorage", lambda a: a.page.evaluate("sessionStorage.setItem('left', '1')"), "sessionStorage.length"),
    ("permission", lambda a: a.page.context.grant_permissions(["geolocation"]),
     "navigator.permissions.query({name: 'geolocation'}).then(p => p.state)"),
    ("open dialog", _leave_a_dialog_open, "document.title"),
    ("renderer crash", _crash_the_renderer, "document.title"),
]


@pytest.mark.parametrize("leave, probe", [row[1:] for row in LEFTOVERS], ids=[row[0] for row in LEFTOVERS])
def test_the_next_agent_starts_clean(browser, site, leave, probe):
    first = WebAgent(site, timeout=2)
    fresh = first.page.evaluate(probe)
    leave(first)
    shared = first.page.context.browser
    first.close()
    following = WebAgent(site, timeout=2)
    try:
        assert following.page.context.browser is shared  # a new context, not a new browser
        assert following.page.evaluate(probe) == fresh
        following.run("click the Login button")
        assert following.page.inner_text("#status") == "Logged in"
        assert following._dialogs.seen == []
    finally:
        following.close()


def test_agents_side_by_side_and_a_lost_browser_replaced(browser, site):
    admin, customer = WebAgent(site, timeout=2), WebAgent(site, timeout=2)
    admin.run('type admin into "Username"')
    customer.run('type customer into "Username"')
    assert admin.page.context is not customer.page.context
    assert admin.page.input_value("#user") == "admin"
    admin.close()
    customer.run("click the Login button")  # closing one agent leaves the other working
    shared = customer.page.context.browser
    shared.close()  # the browser goes away under an open agent
    customer.close()
    replacement = WebAgent(site, timeout=2)
    try:
        assert replacement.page.context.browser is not shared
        replacement.run("click the Login button")
    finally:
        replacement.close()


# -- remote browsers ----------------------------------------------------------------------


def _start(args, pattern, **kwargs):
    """Start a process and read its output until `pattern` names the address."""
    # A session of its own, so that stopping it also ends what it started (the
    # server's driver and its browser).
    process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               start_new_session=True, **kwargs)
    for line in process.stdout:
        found = re.search(pattern, line)
        if found:
            return process, found.group(0)
    _stop(process)
    pytest.fail(f"{args[0]} printed no address")


def _signal_group(process, sig):
    try:
        os.killpg(process.pid, sig)
    except ProcessLookupError:
        pass


def _stop(process):
    _signal_group(process, signal.SIGTERM)
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
    _signal_group(process, signal.SIGKILL)  # whatever the group still holds
    process.wait()
    process.stdout.close()


@pytest.fixture
def browser_server(tmp_path):
    config = tmp_path / "server.json"
    config.write_text(json.dumps({"executablePath": CHROMIUM, "args": ["--disable-gpu"]}))
    process, address = _start(
        [sys.executable, "-m", "playwright", "launch-server", "--browser", "chromium",
         "--config", str(config)], r"ws://\S+")
    yield address
    _stop(process)


@pytest.fixture
def devtools():
    """A Chromium of the test's own with a DevTools endpoint: its process and address."""
    with tempfile.TemporaryDirectory() as profile:
        process, address = _start(
            [CHROMIUM, "--headless", "--disable-gpu", "--no-sandbox", "--remote-debugging-address=127.0.0.1",
             "--remote-debugging-port=0", f"--user-data-dir={profile}", "about:blank"], r"ws://\S+")
        yield process, address
        _signal_group(process, signal.SIGCONT)
        alive = process.poll() is None
        _stop(process)
        assert alive, "letting go of the DevTools connection ended the browser"


@pytest.fixture
def devtools_endpoint(devtools):
    return devtools[1]


@pytest.mark.parametrize("kind", ["server", "cdp"])
def test_an_agent_works_on_a_remote_browser(browser, site, kind, request, monkeypatch):
    address = request.getfixturevalue("browser_server" if kind == "server" else "devtools_endpoint")
    local = browsers.shared_browser()
    monkeypatch.setenv(browsers.BROWSER_WS_ENV if kind == "server" else browsers.CDP_URL_ENV, address)
    agent = WebAgent(site, timeout=2)
    remote = agent.page.context.browser
    try:
        assert remote is not local and agent.page.context in remote.contexts
        agent.run('type remote into "Username"')
        agent.run("click the Login button")
        assert agent.page.inner_text("#status") == "Logged in"
    finally:
        context = agent.page.context
        agent.close()
        left = remote.contexts
        browsers.discard(remote)
    assert context not in left  # closing the agent closed its context there, and that alone


@pytest.mark.parametrize("kwargs, what", [
    ({"browser_ws": "ws://127.0.0.1:9/"}, "Playwright browser server at 'ws://127.0.0.1:9/'"),
    ({"cdp_url": "http://127.0.0.1:9"}, "Chromium DevTools endpoint at 'http://127.0.0.1:9'"),
])
def test_an_unreachable_browser_is_named_in_one_sentence(browser, kwargs, what):
    with pytest.raises(browsers.BrowserUnreachable) as caught:
        WebAgent("about:blank", **kwargs)
    message = str(caught.value)
    assert message.startswith(f"Cannot reach the {what} (") and "\n" not in message
    assert caught.value.__cause__ is None and caught.value.__suppress_context__


@pytest.mark.parametrize("wedged_while", ["closing", "opening"])
def test_a_wedged_shared_browser_is_given_up_for_a_new_one(browser, site, devtools, monkeypatch, wedged_while):
    process, address = devtools
    monkeypatch.setattr(browsers, "ANSWER_SECONDS", 2.0)
    monkeypatch.setattr(web_agent, "CLOSE_SECONDS", 2.0)
    monkeypatch.setenv(browsers.CDP_URL_ENV, address)
    first = WebAgent(site, timeout=2)
    wedged = first.page.context.browser
    if wedged_while == "opening":
        first.close()
    _signal_group(process, signal.SIGSTOP)  # the browser stops answering, its connection stays open
    # It answers again later, so that a new connection can be made to it.
    threading.Timer(8.0, _signal_group, (process, signal.SIGCONT)).start()
    start = time.monotonic()
    first.close()  # gives up the context the browser does not close
    closed = time.monotonic() - start
    replacement = WebAgent(site, timeout=2)
    fresh = replacement.page.context.browser
    try:
        assert closed < 8 and fresh is not wedged
        replacement.run('type again into "Username"')
    finally:
        replacement.close()
        browsers.discard(fresh)
