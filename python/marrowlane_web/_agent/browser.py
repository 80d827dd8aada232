"""Playwright, one Chromium and one page, started and released together."""

import base64
import os
import shutil

DEBIAN_CHROMIUM = "/usr/bin/chromium"


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


class BrowserSession:
    """The page a `WebAgent` drives, and whatever it must release afterwards.

    A session either owns Playwright and the browser (`launch`) or borrows a
    page someone else owns (`borrow`); closing a borrowed session leaves the
    page alone. `close` may be called any number of times.
    """

    def __init__(self, page, playwright=None, browser=None):
        self.page = page
        self._playwright = playwright
        self._browser = browser

    @classmethod
    def launch(cls):
        from playwright.sync_api import sync_playwright

        playwright = sync_playwright().start()
        try:
            browser = playwright.chromium.launch(**launch_options(playwright))
            page = browser.new_page()
        except BaseException:
            playwright.stop()
            raise
        return cls(page, playwright, browser)

    @classmethod
    def borrow(cls, page):
        return cls(page)

    @property
    def owned(self):
        return self._playwright is not None

    def close(self):
        """Release page, browser and Playwright; the first error is raised after all three."""
        page, browser, playwright = self.page, self._browser, self._playwright
        self._browser = self._playwright = None
        if playwright is None:
            return
        error = None
        for release in (page.close, browser.close, playwright.stop):
            try:
                release()
            except BaseException as exc:  # keep releasing the rest, even when interrupted
                if not already_gone(exc):
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


def screenshot(page):
    """The visible part of the page as base64 PNG text, or "" when none can be taken."""
    try:
        png = page.screenshot(type="png", timeout=5000)
    except Exception:
        return ""
    return base64.b64encode(png).decode("ascii")
