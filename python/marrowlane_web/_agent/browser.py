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
