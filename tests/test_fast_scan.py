"""Reading a page in one page script gives the records of the element-by-element
reading: the same records in the same order, the same keys in the same order,
the same values of the same kinds.

Every page of the page-reading tests, the generated pages under pages_fast and
the pages under ../shared/realpages are read both ways and compared.
"""

import math
import os
import pathlib
import subprocess
import sys

import pytest

from marrowlane_web.engine import settings

page_scanner = pytest.importorskip("marrowlane_web.engine.browser.page_scanner")
PageScanner = page_scanner.PageScanner

HERE = pathlib.Path(__file__).parent
REAL_PAGES = HERE.parent.parent / "shared" / "realpages"


def same(a, b):
    """Equality that also holds the kinds and the key order."""
    if type(a) is not type(b):
        return False
    if isinstance(a, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, float):
        return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))
    return a == b


def first_difference(a, b, path="records"):
    if type(a) is not type(b):
        return f"{path}: {a!r} ({type(a).__name__}) != {b!r} ({type(b).__name__})"
    if isinstance(a, (list, tuple)):
        for i, (x, y) in enumerate(zip(a, b)):
            if not same(x, y):
                return first_difference(x, y, f"{path}[{i}]")
        return f"{path}: {len(a)} items != {len(b)} items"
    if isinstance(a, dict):
        if list(a) != list(b):
            return f"{path}: keys {list(a)} != {list(b)}"
        for k in a:
            if not same(a[k], b[k]):
                return first_difference(a[k], b[k], f"{path}[{k!r}]")
    return f"{path}: {a!r} != {b!r}"


@pytest.fixture
def fast_scan():
    """Restores the setting after each test."""
    saved = getattr(settings, "FAST_SCAN", True)
    yield
    settings.FAST_SCAN = saved


def both_ways(page):
    scanner = PageScanner(page)
    settings.FAST_SCAN = True
    queries = []
    query_all = page.query_selector_all
    page.query_selector_all = lambda sel: queries.append(sel) or query_all(sel)
    try:
        fast = scanner.extract_interactable_elements()
    finally:
        del page.query_selector_all
    assert queries == [], "the page script failed; the page was read element by element"
    settings.FAST_SCAN = False
    slow = scanner.extract_interactable_elements()
    settings.FAST_SCAN = True
    return fast, slow


def assert_same_records(page):
    fast, slow = both_ways(page)
    assert same(fast, slow), first_difference(fast, slow)
    return fast


def pages_in(folder, pattern="*.html"):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob(pattern)) if folder.is_dir() else []


@pytest.mark.parametrize("name", pages_in(HERE / "pages"))
def test_page_reading_pages(page, fast_scan, name):
    if name == "detaching.html":
        pytest.skip("removes elements while it is read")
    page.goto((HERE / "pages" / name).as_uri())
    assert_same_records(page)


@pytest.mark.parametrize("name", pages_in(HERE / "pages_fast"))
@pytest.mark.parametrize("scroll", [(0, 0), (37, 611.5)], ids=["top", "scrolled"])
def test_generated_pages(page, fast_scan, name, scroll):
    page.goto((HERE / "pages_fast" / name).as_uri())
    page.evaluate("([x, y]) => window.scrollTo(x, y)", list(scroll))
    assert_same_records(page)


@pytest.mark.parametrize("name", pages_in(REAL_PAGES))
def test_real_pages(page, fast_scan, name):
    page.goto((REAL_PAGES / name).as_uri())
    page.wait_for_timeout(300)  # let load-time timers settle
    assert_same_records(page)


@pytest.mark.parametrize("html", [
    # Transformed and fragmented layout: the boxes are measured by the page.
    "<div style='transform:rotate(7deg)'><button>Turned</button><input placeholder='Turned'></div>"
    "<div style='columns:2;height:30px'><div style='height:90px'>Split</div><button>Col</button></div>",
    # Lookups whose selectors plain CSS would read differently go to the page.
    "<span id='a.b'>Dotted</span><input aria-labelledby='a.b'>"
    "<label for='x >> y'>Chained</label><input id='x >> y'>"
    "<label for='t\tab'>Tab</label><input id='t\tab'><input aria-labelledby='9lives'>",
    # Elements outside the HTML namespace are dropped where their text is read.
    "<svg width='50' height='20'><a href='#'><text y='15'>svg</text></a></svg>"
    "<button>After svg</button>",
    # A page that changed how JSON is written.
    "<script>Array.prototype.toJSON = function () { return 'x'; };</script><button>J</button>",
    "<script>JSON.stringify = () => '[]';</script><input aria-label='K'>",
    # Clickable rows whose rounded position is a negative zero.
    "<span style='cursor:pointer;position:absolute;left:-0.3px;top:5px'>Edge</span>",
])
def test_edge_layouts(page, fast_scan, html):
    page.set_content(html)
    assert_same_records(page)


def test_the_setting_switches_the_reading(page, fast_scan, monkeypatch):
    page.set_content("<button>Go</button>" * 40)
    queries = []
    query_all = page.query_selector_all
    monkeypatch.setattr(page, "query_selector_all", lambda sel: queries.append(sel) or query_all(sel))
    scanner = PageScanner(page)
    settings.FAST_SCAN = True
    assert len(scanner.extract_interactable_elements()[0]) == 40
    assert queries == []
    settings.FAST_SCAN = False
    assert len(scanner.extract_interactable_elements()[0]) == 40
    assert len(queries) == 4


def test_a_failing_page_script_falls_back_to_reading_element_by_element(page, fast_scan):
    # The page breaks a built-in the script needs; the reading still works.
    page.set_content("<script>Element.prototype.matches = () => { throw new Error('no'); };"
                     "</script><button>Still read</button>")
    settings.FAST_SCAN = True
    elements, _ = PageScanner(page).extract_interactable_elements()
    assert [e["text"] for e in elements] == ["Still read"]


def test_device_scale_factor_keeps_boxes_equal(browser, fast_scan):
    context = browser.new_context(device_scale_factor=2)
    try:
        page = context.new_page()
        page.goto((HERE / "pages_fast" / "geometry.html").as_uri())
        assert_same_records(page)
    finally:
        context.close()


def test_other_page_objects_are_read_element_by_element(page, fast_scan):
    page.set_content("<button>Go</button><input aria-label='Name'>")

    class Wrapped:
        """Offers the page operations without being a Playwright page."""

        def __init__(self, inner):
            self._inner = inner

        def __getattr__(self, name):
            return getattr(self._inner, name)

    settings.FAST_SCAN = True
    wrapped = PageScanner(Wrapped(page)).extract_interactable_elements()
    assert same(wrapped, assert_same_records(page))


@pytest.mark.parametrize("value, expected", [(None, True), ("1", True), ("on", True),
                                             ("0", False), ("off", False), ("false", False)])
def test_the_setting_follows_the_environment(value, expected):
    env = {k: v for k, v in os.environ.items() if k != "MARROWLANE_FAST_SCAN"}
    if value is not None:
        env["MARROWLANE_FAST_SCAN"] = value
    env["PYTHONPATH"] = str(HERE.parent / "python")
    out = subprocess.run([sys.executable, "-c", "from marrowlane_web.engine import settings; "
                          "print(settings.FAST_SCAN)"], env=env, capture_output=True, text=True)
    assert out.stdout.strip() == str(expected), out.stderr
