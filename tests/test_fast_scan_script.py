"""The one-round-trip page script answers as the element operations do.

The script (kFastScanScript in core/include/marrowlane/page_script.hpp) gathers,
for every element of the four element sources, what the element-by-element
reading asks each element handle. These tests run it in real Chromium and put
every gathered value beside the answer of the handle operation itself: same
elements in the same order, same values, same number kinds, and a failure
marker exactly where the operation fails.
"""

import json
import math
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADERS = ROOT / "core" / "include" / "marrowlane"
FAST_PAGES = pathlib.Path(__file__).parent / "pages_fast"
PAGES = pathlib.Path(__file__).parent / "pages"
REAL_PAGES = ROOT.parent / "shared" / "realpages"

ASK = 1


class _Failed:
    """What the page answered when the element operation failed."""

    def __repr__(self):
        return "<failed>"


FAILED = _Failed()


def gathered(value):
    """A gathered value with the script's failure marker ({}) read as FAILED."""
    if isinstance(value, dict) and not value:
        return FAILED
    if isinstance(value, list):
        return [gathered(v) for v in value]
    return value
F_TAG, F_VISIBLE, F_ENABLED, F_TEXT, F_BOX, F_ATTRS, F_DATA, F_XPATH, F_DIRECT, F_LABELS = range(10)

CANDIDATE_SELECTOR = "h1, h2, h3, h4, h5, h6, label, div, span, p"


def cpp_constant(header, name):
    """The text of a string constant of a core header (raw or plain literals)."""
    source = (HEADERS / header).read_text(encoding="utf-8")
    raw = re.search(name + r'\s*=\s*R"JS\((.*?)\)JS"', source, re.S)
    if raw:
        return raw.group(1)
    plain = re.search(name + r" =\s*((?:\"(?:[^\"\\]|\\.)*\"\s*)+);", source)
    return "".join(json.loads(part) for part in re.findall(r'"(?:[^"\\]|\\.)*"', plain.group(1)))


FAST_SCAN = cpp_constant("page_script.hpp", "kFastScanScript")
TAG_JS = cpp_constant("page_model.hpp", "kTagNameScript")
DATA_JS = cpp_constant("page_model.hpp", "kDataAttributesScript")
DIRECT_JS = cpp_constant("page_model.hpp", "kDirectTextScript")
XPATH_JS = cpp_constant("page_model.hpp", "kXpathScript")
PREVIOUS_JS = cpp_constant("page_model.hpp", "kPreviousSiblingScript")
PARENT_JS = cpp_constant("page_model.hpp", "kParentChildrenScript")
CURSOR_JS = cpp_constant("page_model.hpp", "kCursorPointerScript")


@pytest.fixture(scope="module")
def scanner_module():
    return pytest.importorskip("marrowlane_web.engine.browser.page_scanner")


def selectors(mod):
    return [mod.INTERACTABLE_SELECTOR, mod._CUSTOM_INPUT_SELECTOR, mod.TEXT_SELECTOR,
            CANDIDATE_SELECTOR, list(mod.CAPTURED_ATTRIBUTES)]


def same(a, b):
    """Equality that also holds the kinds: 8 is not 8.0, True is not 1."""
    if a is FAILED or b is FAILED:
        return a is b
    if type(a) is not type(b):
        return False
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, float):
        return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))
    return a == b


def attempt(read):
    from playwright.sync_api import Error
    try:
        return read()
    except Error:
        return FAILED


def guarded(read):
    from playwright.sync_api import Error
    try:
        return read()
    except Error:
        return None


def labelledby_selector(value):
    return "#" + value


def label_for_selector(value):
    return 'label[for="' + value.replace("\\", "\\\\").replace('"', '\\"') + '"]'


def lookup_text(page, selector):
    def read():
        ref = page.query_selector(selector)
        return None if ref is None else ref.inner_text()
    return guarded(read)


def check_row(page, handle, row, need, captured, asked):
    """Compares one gathered row with the handle's own answers; returns the
    names of the fields that differ."""
    bad = []

    def expect(field, name, value):
        if not same(gathered(row[field]), value):
            bad.append(f"{name}: gathered {row[field]!r}, page says {value!r}")

    main = "main" in need
    expect(F_TAG, "tag", attempt(lambda: handle.evaluate(TAG_JS)))
    expect(F_VISIBLE, "visible", attempt(handle.is_visible))
    shown = row[F_VISIBLE] is True
    if main:
        expect(F_ENABLED, "enabled", attempt(handle.is_enabled))
    if main or shown:
        expect(F_TEXT, "text", attempt(handle.inner_text))
    box = row[F_BOX]
    if not (main or "custom" in need or shown):
        if box is not False:
            bad.append(f"box gathered for a hidden text-only element: {box!r}")
    elif isinstance(box, int) and not isinstance(box, bool):
        asked.append(box)
        stored = page.evaluate_handle(
            "k => globalThis[Symbol.for('marrowlane.fastScan')][k]", box).as_element()
        if not handle.evaluate("(a, b) => a === b", stored):
            bad.append("box: the element asked for is another")
    else:
        bb = handle.bounding_box()
        expect(F_BOX, "box", None if bb is None else [bb["x"], bb["y"], bb["width"], bb["height"]])
    attrs = {n: attempt(lambda: handle.get_attribute(n)) for n in captured}
    attrs = {n: v for n, v in attrs.items() if v is not None}
    if not same({n: gathered(v) for n, v in row[F_ATTRS].items()}, attrs):
        bad.append(f"attrs: gathered {row[F_ATTRS]!r}, page says {attrs!r}")
    if main or ("text" in need and shown):
        data = attempt(lambda: handle.evaluate(DATA_JS))
        expect(F_DATA, "data", data if data is FAILED else [x for kv in data.items() for x in kv])
    if main or (("custom" in need or "text" in need) and shown):
        expect(F_XPATH, "xpath", attempt(lambda: handle.evaluate(XPATH_JS)))
    if "text" in need and shown:
        expect(F_DIRECT, "direct", attempt(lambda: handle.evaluate(DIRECT_JS)))
    if (main and row[F_TAG] in ("input", "textarea")) or ("custom" in need and shown):
        labels = row[F_LABELS]
        if not isinstance(labels, list) or len(labels) != 4:
            bad.append(f"labels not gathered: {labels!r}")
            return bad
        wanted = []
        for name, selector_of in (("aria-labelledby", labelledby_selector), ("id", label_for_selector)):
            value = handle.get_attribute(name)
            wanted.append(lookup_text(page, selector_of(value)) if value else None)
        wanted.append(guarded(lambda: handle.evaluate(PREVIOUS_JS)))
        wanted.append(guarded(lambda: handle.evaluate(PARENT_JS)))
        for i, (got, want) in enumerate(zip(labels, wanted)):
            if i < 2 and same(got, ASK):
                continue  # the reader asks the page itself
            if not same(got, want):
                bad.append(f"label source {i}: gathered {got!r}, page says {want!r}")
    return bad


def compare_page(page, mod):
    """Runs the script and checks every row of every source; returns the
    number of boxes handed back to be measured and the list of differences."""
    args = selectors(mod)
    # The records' six parts; the names a person reads follow them.
    facts, *lists, cursor = json.loads(page.evaluate(FAST_SCAN, args))[:6]
    problems, asked = [], []
    sources = [("main", args[0]), ("custom", args[1]), ("text", args[2]), ("candidates", args[3])]
    needs = {}
    for (name, _), indices in zip(sources, lists):
        for i in indices:
            needs.setdefault(i, set()).add(name)
    for (name, selector), indices in zip(sources, lists):
        handles = page.query_selector_all(selector)
        if len(handles) != len(indices):
            problems.append(f"{name}: {len(indices)} rows for {len(handles)} elements")
            continue
        for position, (handle, i) in enumerate(zip(handles, indices)):
            for issue in check_row(page, handle, facts[i], needs[i], args[4], asked):
                problems.append(f"{name}[{position}] {facts[i][F_XPATH]}: {issue}")
    expected_cursor = page.evaluate(CURSOR_JS)
    for row in cursor:
        for key in ("x", "y", "w", "h"):
            if row[key] == "-0":
                row[key] = -0.0
    if not same(cursor, expected_cursor):
        problems.append(f"cursor rows differ: {cursor!r} != {expected_cursor!r}")
    return len(set(asked)), problems


def fast_pages():
    return sorted(p.name for p in FAST_PAGES.glob("*.html"))


@pytest.mark.parametrize("name", fast_pages())
@pytest.mark.parametrize("scroll", [(0, 0), (37, 611.5)], ids=["top", "scrolled"])
def test_generated_pages(page, scanner_module, name, scroll):
    page.goto((FAST_PAGES / name).as_uri())
    page.evaluate("([x, y]) => window.scrollTo(x, y)", list(scroll))
    asked, problems = compare_page(page, scanner_module)
    assert problems == []


@pytest.mark.parametrize("name", sorted(p.name for p in PAGES.glob("*.html")) if PAGES.is_dir() else [])
def test_page_reading_pages(page, scanner_module, name):
    if name == "detaching.html":
        pytest.skip("removes elements while it is read")
    page.goto((PAGES / name).as_uri())
    asked, problems = compare_page(page, scanner_module)
    assert problems == []
    assert asked == 0


def real_pages():
    if not REAL_PAGES.is_dir():
        return []
    return sorted(str(p.relative_to(REAL_PAGES)) for p in REAL_PAGES.rglob("*.html"))


@pytest.mark.parametrize("name", real_pages())
def test_real_pages(page, scanner_module, name):
    page.goto((REAL_PAGES / name).as_uri())
    page.wait_for_timeout(300)  # let load-time timers settle
    asked, problems = compare_page(page, scanner_module)
    assert problems == []


def test_plain_layout_needs_no_page_measurements(page, scanner_module):
    page.goto((FAST_PAGES / "enabled.html").as_uri())
    asked, problems = compare_page(page, scanner_module)
    assert (asked, problems) == (0, [])


@pytest.mark.parametrize("html, asks", [
    ("<button style='transform:rotate(33deg)'>r</button>", True),
    ("<button style='margin-left:90px;transform:translate(-50%, 0)'>t</button>", False),
    ("<button style='transform:translate(-50%, 0)'>t</button>", True),  # left of the page
    ("<div style='columns:2'><button>c</button></div>", True),
    ("<svg><a href='#'><text y='10'>s</text></a></svg>", True),
    ("<button>plain</button>", False),
])
def test_uncertain_boxes_are_handed_back(page, scanner_module, html, asks):
    page.set_content(html)
    facts, main, *_ = json.loads(page.evaluate(FAST_SCAN, selectors(scanner_module)))
    box = facts[main[-1]][F_BOX]
    assert (type(box) is int) == asks
    asked, problems = compare_page(page, scanner_module)
    assert problems == []


def test_negative_zero_survives_the_cursor_rows(page, scanner_module):
    page.set_content("<span style='cursor:pointer;position:absolute;left:-0.3px;top:5px'>Edge</span>")
    cursor = json.loads(page.evaluate(FAST_SCAN, selectors(scanner_module)))[5]
    assert cursor[0]["x"] == "-0"
    assert same(page.evaluate(CURSOR_JS)[0]["x"], -0.0)
