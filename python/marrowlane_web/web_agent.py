"""`WebAgent`: drives one browser page with plain-English steps."""

import os
import time

from ._agent.browser import ACTED, CONSIDERED, PICKED, BrowserSession, discard, screenshot
from ._agent.watchdog import NotResponding, Watchdog

DEFAULT_TIMEOUT = 5.0
CLOSE_SECONDS = 10.0  # closing a page that does not answer is given up after this

# Whoever listens to the steps agents record, latest last: the one that
# listened last is told of every step any agent records, as (agent, record).
# The pytest plugin listens while a test runs, to report the steps of every
# agent the test drives.
_step_listeners = []


def debug_enabled():
    """MARROWLANE_DEBUG=1 keeps a screenshot of every step, the element acted on outlined."""
    return os.environ.get("MARROWLANE_DEBUG", "").strip().lower() not in ("", "0", "false", "no")


def _default_timeout():
    value = os.environ.get("MARROWLANE_TIMEOUT", "")
    try:
        return float(value) if value.strip() else DEFAULT_TIMEOUT
    except ValueError:
        return DEFAULT_TIMEOUT


def step_lines(text):
    """The steps `WebAgent.run` reads from `text`, each with the index of its line.

    A text with a line break holds one step per non-blank line, trimmed; any
    other text is one step, as it is. A text of blank lines alone holds one
    empty step: running nothing is a mistake, and fails as an empty step.
    """
    if "\n" not in text:
        return [(0, text)]
    lines = [(i, line.strip()) for i, line in enumerate(text.splitlines()) if line.strip()]
    return lines or [(0, "")]


def _account_of(found):
    """The pick's one-line account; "" without a pick, or when it cannot be told (the
    step's own outcome is what the record is for)."""
    if getattr(found, "element", None) is None:
        return ""
    try:
        return found.account
    except Exception:
        return ""


class WebAgent:
    """A browser page that works plain-English steps.

    >>> agent = WebAgent("http://localhost:8000/")
    >>> agent.run('type standard_user into "Username"')
    >>> agent.run('click the Login button')
    >>> total = agent.run('extract text right of "Total"')
    >>> agent.close()

    Each step waits for its target for up to `timeout` seconds (default 5, or
    the MARROWLANE_TIMEOUT environment variable), then passes or fails. Every
    step is recorded in `_steps` as {instruction, status, message, screenshot,
    account, duration_ms}: `account` says what the step acted on and why, in
    one line. A failing step raises AssertionError with its message, and
    carries a screenshot of the page when `screenshots` is true, with the
    element it meant (or the candidates it weighed) outlined. With `debug`
    (or MARROWLANE_DEBUG=1) every step keeps a screenshot, the element it
    acted on outlined: the report reads as a storyboard. Whatever the page does,
    a step ends within its time and a few seconds more: a page whose script
    holds the browser past that fails the step as not responding, and every
    later step of the agent fails at once, since the page is given up.

    The agent opens a browser context and page of its own in the browser its
    process shares: Chromium, started on first use (headless; MARROWLANE_HEADED=1
    shows the window), or a remote browser reached through a Playwright browser
    server (`browser_ws`, default the MARROWLANE_BROWSER_WS environment
    variable) or a DevTools endpoint (`cdp_url`, default MARROWLANE_CDP_URL).
    `close` closes that context and page alone. Given a `page`, the agent drives
    it and leaves it open.
    """

    def __init__(self, url=None, screenshots=False, *, timeout=None, page=None, debug=None,
                 browser_ws=None, cdp_url=None):
        self.screenshots = bool(screenshots)
        self.debug = debug_enabled() if debug is None else bool(debug)
        self.timeout = _default_timeout() if timeout is None else float(timeout)
        self._steps = []
        self._not_responding = False
        if page is None:
            self._session = BrowserSession.open(browser_ws=browser_ws, cdp_url=cdp_url)
        else:
            self._session = BrowserSession.borrow(page)
        try:
            from ._agent.dialogs import DialogWatcher
            from ._agent.engine import Engine
            from ._agent.steps import NAVIGATE_SECONDS

            self._engine = Engine(self._session.page)
            self._dialogs = DialogWatcher(self._session.page)
            self._watchdog = Watchdog(self._session.page)
            if url:
                self._session.page.goto(url, timeout=int(max(self.timeout, NAVIGATE_SECONDS) * 1000))
        except BaseException:
            self._session.close()
            raise

    @property
    def page(self):
        """The Playwright page the agent drives."""
        if self._session is None:
            raise RuntimeError("the agent is closed")
        return self._session.page

    def run(self, step):
        """Work one step (or several, one per line); returns the text an extract or find step yields."""
        if not isinstance(step, str):
            raise TypeError(f"a step is text, not {type(step).__name__}")
        result = None
        for _, line in step_lines(step):
            result = self._run_one(line)
        return result

    def locate(self, step):
        """The element an element step means on the page as it is, without acting on it.

        Waits for it as `run` does and returns the pick: `.element` (the
        record read from the page), `.name`, `.where`, `.rule`, `.runners_up`
        and `.account` (its str()). A target that never shows fails with the
        nearest candidates; a step that names no element (verify text,
        navigate, ...) raises ValueError. Nothing is recorded.
        """
        from ._agent.steps import Context, StepFailed, locate

        if not isinstance(step, str):
            raise TypeError(f"a step is text, not {type(step).__name__}")
        context = Context(self.page, self._engine, self._dialogs, self.timeout, self._watchdog)
        try:
            if self._not_responding:
                raise StepFailed("The page is not responding (since an earlier step of this test).")
            return locate(context, step.strip())
        except StepFailed as failure:
            raise AssertionError(failure.message) from None
        except NotResponding:
            self._not_responding = True
            raise AssertionError("The page is not responding: it held the search past its time.") from None

    def _run_one(self, step):
        from ._agent.steps import Context, StepFailed, run_step

        context = Context(self.page, self._engine, self._dialogs, self.timeout, self._watchdog)
        shots = []
        if self.debug:
            context.on_pick = lambda found: shots.append(self._shot(found.element, ACTED))
        started = time.perf_counter()
        try:
            if self._not_responding:
                raise StepFailed("The page is not responding (since an earlier step of this test).")
            value = run_step(context, step)
        except StepFailed as failure:
            self._record(step, "failed", failure.message, context, started, shots,
                         failure.considered)
            raise AssertionError(failure.message) from None
        except NotResponding:
            self._not_responding = True
            message = (
                "The page is not responding: it held the step past its time "
                f"({self.timeout:g} s and a few more), as a script that never ends does."
            )
            self._record(step, "failed", message, context, started, shots)
            raise AssertionError(message) from None
        except Exception as exc:  # the browser or the engine broke: still a failed step
            detail = (str(exc).strip().splitlines() or [""])[0]
            self._record(step, "failed", f"{type(exc).__name__}: {detail}", context, started, shots)
            raise
        self._record(step, "passed", "", context, started, shots)
        return value

    def _shot(self, *outlines):
        pairs = [(outlines[i], outlines[i + 1]) for i in range(0, len(outlines), 2)]
        return screenshot(self._session.page, [p for p in pairs if p[0] is not None])

    def _record(self, step, status, message, context, started, shots, considered=()):
        found = context.found
        element = getattr(found, "element", None)
        elapsed = (time.perf_counter() - started) * 1000
        shot = ""
        if self._not_responding:
            pass  # a page that holds the browser gives no picture
        elif status == "failed" and (self.screenshots or self.debug):
            # The element the step meant, else the candidates it weighed.
            if element is not None:
                shot = self._shot(element, PICKED)
            else:
                shot = self._shot(*[x for record in considered for x in (record, CONSIDERED)])
        elif self.debug:
            # An element step pictured its pick before acting; other steps
            # are pictured as they leave the page.
            shot = shots[-1] if shots else self._shot(element, ACTED)
        record = {
            "instruction": step, "status": status, "message": message, "screenshot": shot,
            "account": _account_of(found), "duration_ms": round(elapsed),
        }
        self._steps.append(record)
        if _step_listeners:
            _step_listeners[-1](self, record)

    def close(self):
        """Release the agent's context and page; closing again does nothing.

        A page that does not answer is given up after a few seconds: closing
        never hangs, and never fails because the browser or its driver is
        already gone (as after Ctrl-C).
        """
        session, self._session = self._session, None
        if session is None:
            return
        self._dialogs.detach()
        shared = session.shared_browser
        try:
            with self._watchdog.bound(CLOSE_SECONDS):
                session.close()
        except NotResponding:
            # What answered was released. A shared browser that cannot close a
            # context is wedged: no later agent may get it.
            if shared is not None:
                discard(shared)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
