"""The demo suite written by hand with Playwright: the yardstick for the plain-English one.

One Chromium per worker process, a fresh browser context and page per test,
Playwright's own role and text locators. The shop is served exactly as for the
plain-English suite (examples/conftest.py).

    cd bench/handwritten && ../../.venv/bin/python -m pytest -q -p no:cacheprovider -p no:marrowlane
"""

import importlib.util
import os
import pathlib

import pytest
from playwright.sync_api import sync_playwright

_EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
_spec = importlib.util.spec_from_file_location("_demo_shop", _EXAMPLES / "conftest.py")
_shop = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_shop)

pytest_configure = _shop.pytest_configure
pytest_unconfigure = _shop.pytest_unconfigure

CHROMIUM = "/usr/bin/chromium"


@pytest.fixture(scope="session")
def browser():
    with sync_playwright() as playwright:
        managed = playwright.chromium.executable_path
        options = {} if managed and os.path.exists(managed) else {
            "executable_path": CHROMIUM, "args": ["--disable-gpu"]}
        browser = playwright.chromium.launch(**options)
        yield browser
        browser.close()


@pytest.fixture
def page(browser):
    context = browser.new_context()
    page = context.new_page()
    page.set_default_timeout(5000)
    page.goto(os.environ["MARROWLANE_DEMO_URL"])
    yield page
    context.close()


@pytest.fixture
def shop():
    """The address of a page of the shop."""
    return lambda name: os.environ["MARROWLANE_DEMO_URL"] + name
