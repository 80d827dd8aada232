"""Shared fixtures for tests that read pages in a real browser.

One Chromium serves the whole test session; every test gets a fresh page of its
own (in a fresh browser context, so no state leaks between tests). Pages come
from inline HTML (``page.set_content``) or from files under tests/pages:

    def test_something(page, open_page):
        open_page("form.html")            # tests/pages/form.html
        page.set_content("<button>Go</button>")

The browser starts only when a test asks for it, so tests without a browser
pay nothing.
"""

import os
import pathlib

import pytest

PAGES_DIR = pathlib.Path(__file__).parent / "pages"

# Debian's Chromium; a Playwright-managed browser is preferred when one is
# installed.
SYSTEM_CHROMIUM = "/usr/bin/chromium"


class _SharedBrowser:
    """The browser the process shares with every WebAgent (marrowlane_web's own),
    looked up on each use, so a test that replaces it leaves no stale one behind."""

    def __getattr__(self, name):
        from marrowlane_web._agent.browser import shared_browser

        return getattr(shared_browser(), name)


@pytest.fixture(scope="session")
def browser():
    """One headless Chromium for the whole session, the one agents share; the
    plugin closes it when the session ends."""
    pytest.importorskip("playwright.sync_api")
    from marrowlane_web._agent.browser import shared_browser

    try:
        shared_browser()
    except Exception:
        if not os.path.exists(SYSTEM_CHROMIUM):
            pytest.skip("no Chromium found (install Debian's chromium package)")
        raise
    return _SharedBrowser()


@pytest.fixture
def page(browser):
    """A fresh page (in its own context) for one test."""
    context = browser.new_context()
    page = context.new_page()
    yield page
    context.close()


def page_url(name):
    """The file:// address of tests/pages/<name>."""
    return (PAGES_DIR / name).resolve().as_uri()


@pytest.fixture
def open_page(page):
    """Opens tests/pages/<name> in the test's page and returns the page."""

    def open_(name):
        page.goto(page_url(name))
        return page

    return open_
