"""Browsers for agents: one per process, shared; a context and a page per agent.

Starting Playwright and Chromium costs most of a short test, so a process
starts them once, on first use, and every `WebAgent` after that opens its own
browser context and page in the same browser. A context is a browser of its
own in all a test can see (cookies, storage, cache, permissions, its pages and
their dialogs and handlers), and closing an agent closes its context alone.

The browser is launched here, or reached elsewhere: a Playwright browser
server (MARROWLANE_BROWSER_WS, or BROWSER_WS in the project configuration) or
a running Chromium's DevTools endpoint (MARROWLANE_CDP_URL, or CDP_URL). One
connection per address serves the whole process in the same way.

A shared browser that has crashed or lost its connection is replaced for the
next agent, never handed out again. Everything shared is released when the
interpreter exits; the pytest plugin releases it at the end of the session.

Playwright's synchronous API belongs to the thread that started it: agents
made on another thread start a Playwright and a browser of their own, which
they release when they close.
"""

import atexit
import base64
import os
import shutil
import threading

from .watchdog import Watchdog

DEBIAN_CHROMIUM = "/usr/bin/chromium"

BROWSER_WS_ENV = "MARROWLANE_BROWSER_WS"
CDP_URL_ENV = "MARROWLANE_CDP_URL"

# How long connecting to a remote browser may take before the agent gives up.
CONNECT_TIMEOUT_MS = 30_000

# How long a shared browser may take to open a context, or to close, before it
# counts as wedged (a stopped process, a browser that no longer answers).
ANSWER_SECONDS = 30.0

# Where a browser comes from: launched here, a Playwright server, a DevTools endpoint.
LAUNCH, SERVER, CDP = "launch", "server", "cdp"
LOCAL = (LAUNCH, "")


class BrowserUnreachable(ConnectionError):
    """A remote browser could not be reached at its address."""


def headed():
    """MARROWLANE_HEADED=1 shows the browser window, for watching a test run."""
    return os.environ.get("MARROWLANE_HEADED", "").strip().lower() not in ("", "0", "false", "no")


def launch_options(playwright):
    """Use the browser Playwright manages when it is installed, else the system Chromium."""
    options = {"headless": not headed()}
    managed = playwright.chromium.executable_path
    if managed and os.path.exists(managed):
        return options
    options["executable_path"] = (
        os.environ.get("MARROWLANE_CHROMIUM") or shutil.which("chromium") or DEBIAN_CHROMIUM
    )
    options["args"] = ["--disable-gpu"]
    return options


def endpoint(browser_ws=None, cdp_url=None):
    """Where the agent's browser is, as (kind, address).

    Addresses given as arguments win over the environment; a Playwright server
    wins over a DevTools endpoint; with neither, the browser is launched here.
    """
    if browser_ws and cdp_url:
        raise ValueError("give either a browser server address or a DevTools address, not both")
    if not (browser_ws or cdp_url):
        browser_ws = os.environ.get(BROWSER_WS_ENV, "").strip()
        cdp_url = os.environ.get(CDP_URL_ENV, "").strip()
    if browser_ws:
        return (SERVER, str(browser_ws))
    if cdp_url:
        return (CDP, str(cdp_url))
    return LOCAL


def _start_browser(playwright, where):
    kind, address = where
    if kind == LAUNCH:
        return playwright.chromium.launch(**launch_options(playwright))
    try:
        if kind == SERVER:
            return playwright.chromium.connect(address, timeout=CONNECT_TIMEOUT_MS)
        return playwright.chromium.connect_over_cdp(address, timeout=CONNECT_TIMEOUT_MS)
    except Exception as exc:
        what = "Playwright browser server" if kind == SERVER else "Chromium DevTools endpoint"
        raise BrowserUnreachable(f"Cannot reach the {what} at {address!r} ({_reason(exc)}).") from None


def _reason(exc):
    """The gist of a Playwright error: its first line, without the API call's name."""
    first = (str(exc).strip().splitlines() or [type(exc).__name__])[0].strip()
    head, sep, rest = first.partition(": ")
    if sep and "." in head and " " not in head:  # "BrowserType.connect: ..."
        first = rest.strip()
    return first.rstrip(".") or type(exc).__name__


class _Shared:
    """Playwright and the browsers this process shares, by where they come from."""

    def __init__(self):
        self.lock = threading.RLock()
        self.owner = None  # (process id, thread) that started Playwright
        self.playwright = None
        self.browsers = {}
        self.exit_hook = False

    def usable_here(self):
        owner = self.owner
        return owner is None or owner[0] != os.getpid() or owner[1] is threading.current_thread()

    def ensure_playwright(self):
        if self.owner is not None and self.owner[0] != os.getpid():
            # A forked child: the parent's Playwright is not ours to use or stop.
            self.playwright, self.browsers = None, {}
        if self.playwright is None:
            from playwright.sync_api import sync_playwright

            self.playwright = sync_playwright().start()
            self.owner = (os.getpid(), threading.current_thread())
            if not self.exit_hook:
                atexit.register(shutdown)
                self.exit_hook = True
        return self.playwright

    def browser(self, where):
        """The live browser for `where`, started or connected when there is none."""
        with self.lock:
            browser = self.browsers.get(where)
            if browser is not None:
                if _connected(browser):
                    return browser
                self.discard(browser)
            try:
                browser = _start_browser(self.ensure_playwright(), where)
            except BrowserUnreachable:
                raise
            except Exception:
                if self.browsers:
                    raise
                # Playwright itself may have died with the last browser: start anew once.
                self.stop()
                browser = _start_browser(self.ensure_playwright(), where)
            self.browsers[where] = browser
            return browser

    def discard(self, browser):
        """Forget `browser` and release it; the next agent gets a new one."""
        with self.lock:
            for where, known in list(self.browsers.items()):
                if known is browser:
                    del self.browsers[where]
        try:
            with Watchdog(browser).bound(ANSWER_SECONDS):
                browser.close()
        except Exception:
            pass  # it is gone already, or wedged: Playwright ends it when it stops

    def stop(self, keep=()):
        """Release every browser not in `keep`, and Playwright once none is left."""
        with self.lock:
            if self.owner is None or self.owner[0] != os.getpid():
                return
            if self.owner[1] is not threading.current_thread():
                return  # only its own thread may stop Playwright; the process end will
            for browser in [b for b in self.browsers.values() if b not in keep]:
                self.discard(browser)
            if not self.browsers and self.playwright is not None:
                playwright, self.playwright, self.owner = self.playwright, None, None
                try:
                    playwright.stop()
                except Exception:
                    pass


_shared = _Shared()


def _connected(browser):
    try:
        return browser.is_connected()
    except Exception:
        return False


def shared_browser(browser_ws=None, cdp_url=None):
    """The browser this process shares for the address (see `endpoint`).

    It is started (or connected) on first use and replaced when it has crashed
    or disconnected. Only the thread that started Playwright may use it.
    """
    if not _shared.usable_here():
        raise RuntimeError("the shared browser belongs to another thread")
    return _shared.browser(endpoint(browser_ws, cdp_url))


def live_browsers():
    """The shared browsers alive now, to keep through a later `shutdown`."""
    with _shared.lock:
        return frozenset(b for b in _shared.browsers.values() if _connected(b))


def discard(browser):
    """Take a broken or wedged shared browser out of service; the next agent gets a new one."""
    _shared.discard(browser)


def shutdown(keep=()):
    """Close the shared browsers (but those in `keep`) and then Playwright."""
    _shared.stop(keep)


def _open_context(where):
    """A new context in the shared browser for `where`; a browser that fails to
    open one has broken and is replaced once."""
    browser = _shared.browser(where)
    try:
        with Watchdog(browser).bound(ANSWER_SECONDS):
            return browser.new_context()
    except BrowserUnreachable:
        raise
    except Exception:  # NotResponding too: a wedged browser is never handed out again
        _shared.discard(browser)
    return _shared.browser(where).new_context()


class BrowserSession:
    """The page a `WebAgent` drives, and whatever it must release afterwards.

    A session opens a context and page in the process's shared browser (`open`),
    owns a Playwright and browser of its own (`launch`, for threads other than
    the one that runs the shared browser), or borrows a page someone else owns
    (`borrow`), which closing leaves alone. `close` may be called any number of
    times.
    """

    def __init__(self, page, context=None, playwright=None, browser=None):
        self.page = page
        self._context = context
        self._playwright = playwright
        self._browser = browser

    @classmethod
    def open(cls, browser_ws=None, cdp_url=None):
        where = endpoint(browser_ws, cdp_url)
        if not _shared.usable_here():
            return cls.launch(where)
        context = _open_context(where)
        try:
            page = context.new_page()
        except BaseException:
            _close_quietly(context)
            raise
        return cls(page, context)

    @classmethod
    def launch(cls, where=LOCAL):
        from playwright.sync_api import sync_playwright

        playwright = sync_playwright().start()
        try:
            browser = _start_browser(playwright, where)
            context = browser.new_context()
            page = context.new_page()
        except BaseException:
            playwright.stop()
            raise
        return cls(page, context, playwright, browser)

    @classmethod
    def borrow(cls, page):
        return cls(page)

    @property
    def owned(self):
        return self._context is not None

    @property
    def shared_browser(self):
        """The process's shared browser this session's context lives in, or None."""
        if self._context is None or self._playwright is not None:
            return None
        return self._context.browser

    def close(self):
        """Release the context (and a browser and Playwright of its own); the
        first error is raised after all are released."""
        context, browser, playwright = self._context, self._browser, self._playwright
        self._context = self._browser = self._playwright = None
        if context is None:
            return
        error = None
        releases = [context.close]
        if playwright is not None:
            releases += [browser.close, playwright.stop]
        for release in releases:
            try:
                release()
            except BaseException as exc:  # keep releasing the rest, even when interrupted
                if already_gone(exc) or (release is context.close and not _connected(context.browser)):
                    continue  # the browser went away, and its contexts with it
                error = error or exc
        if error is not None:
            raise error


def already_gone(exc):
    """Whether `exc` says that what was being closed is gone already (its page,
    browser or Playwright driver closed, as after Ctrl-C): nothing left to release."""
    try:  # Playwright raises it, but does not name it in its public API
        from playwright._impl._errors import TargetClosedError
    except ImportError:
        TargetClosedError = ()
    return isinstance(exc, TargetClosedError) or "connection closed" in str(exc)


def _close_quietly(context):
    try:
        context.close()
    except Exception:
        pass


# Draws a box over each element to outline (found by its path, else where it
# was read), scrolling the first into view when it is out of sight; the boxes
# carry one class so that they go again in one sweep.
_OUTLINE_JS = """(marks) => {
  const made = [];
  marks.forEach((m, i) => {
    let el = null;
    try {
      el = document.evaluate(m.xpath, document, null, XPathResult.FIRST_ORDERED_NODE_TYPE, null)
          .singleNodeValue;
    } catch (e) {}
    if (i === 0 && el && el.scrollIntoView) {
      const r = el.getBoundingClientRect();
      if (r.bottom < 0 || r.top > innerHeight || r.right < 0 || r.left > innerWidth)
        el.scrollIntoView({block: 'center', inline: 'center'});
    }
    const r = el && el.getBoundingClientRect ? el.getBoundingClientRect() : m.box;
    if (!r || !(r.width >= 0)) return;
    const box = document.createElement('div');
    box.className = '__marrowlane_outline';
    box.style.cssText = 'position:fixed;pointer-events:none;z-index:2147483647;box-sizing:border-box;'
        + 'left:' + (r.left ?? r.x) + 'px;top:' + (r.top ?? r.y) + 'px;'
        + 'width:' + Math.max(r.width, 4) + 'px;height:' + Math.max(r.height, 4) + 'px;'
        + 'border:3px ' + m.style + ' ' + m.color + ';border-radius:3px;'
        + 'box-shadow:0 0 0 2px rgba(255,255,255,.8);';
    document.documentElement.appendChild(box);
    made.push(box);
  });
  return made.length;
}"""
_UNOUTLINE_JS = "() => document.querySelectorAll('.__marrowlane_outline').forEach(b => b.remove())"

# How an outline looks: the element meant or acted on, or a candidate weighed.
PICKED = ("solid", "#dc2626")
ACTED = ("solid", "#2563eb")
CONSIDERED = ("dashed", "#d97706")


def screenshot(page, outlines=()):
    """The visible part of the page as base64 PNG text, or "" when none can be taken.

    `outlines` are (record, look) pairs: each record's element is outlined on
    the picture (and only there: the boxes go again right after).
    """
    marks = [
        {"xpath": record.get("xpath") or "/..", "box": record.get("bounding_box"),
         "style": look[0], "color": look[1]}
        for record, look in outlines if isinstance(record, dict)
    ]
    try:
        if marks:
            page.evaluate(_OUTLINE_JS, marks)
        png = page.screenshot(type="png", timeout=5000)
    except Exception:
        return ""
    finally:
        if marks:
            try:
                page.evaluate(_UNOUTLINE_JS)
            except Exception:
                pass  # the page went away: so did the boxes
    return base64.b64encode(png).decode("ascii")
