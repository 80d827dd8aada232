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


def _executable(playwright):
    managed = playwright.chromium.executable_path
    if managed and os.path.exists(managed):
        return None
    if os.path.exists(SYSTEM_CHROMIUM):
        return SYSTEM_CHROMIUM
    pytest.skip("no Chromium found (install Debian's chromium package)")


@pytest.fixture(scope="session")
def browser():
    """One headless Chromium for the whole session."""
    sync_api = pytest.importorskip("playwright.sync_api")
    playwright = sync_api.sync_playwright().start()
    try:
        browser = playwright.chromium.launch(
            executable_path=_executable(playwright), args=["--disable-gpu"])
    except Exception:
        playwright.stop()
        raise
    yield browser
    browser.close()
    playwright.stop()


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
