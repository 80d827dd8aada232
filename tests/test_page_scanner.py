"""The page scanner: its contract, and what it reads from real pages in Chromium."""

import inspect
import json
import re

import pytest
from hypothesis import given, settings as hsettings, strategies as st

from marrowlane_web.engine import settings
from marrowlane_web.engine.browser import page_scanner
from marrowlane_web.engine.browser.page_scanner import PageScanner, _is_custom_input

ELEMENT_KEYS = ["tag", "text", "attributes", "bounding_box", "is_visible", "is_enabled", "xpath"]
CUSTOM_KEYS = ELEMENT_KEYS[:6] + ["is_editable_field", "xpath"]
TEXT_KEYS = ["tag", "text", "has_direct_text", "attributes", "bounding_box", "is_visible",
             "is_enabled", "xpath"]


def by_id(records, id_):
    found = [r for r in records if r["attributes"].get("id") == id_]
    assert len(found) <= 1, found
    return found[0] if found else None


def box(x, y, w, h):
    return {"x": x, "y": y, "width": w, "height": h}


# --- Contract ----------------------------------------------------------------------


def test_constants():
    assert page_scanner._NATIVE_TAGS == ["button", "input", "a", "select", "textarea"]
    assert len(page_scanner._ARIA_ROLES) == 13 and page_scanner._ARIA_ROLES[-1] == "tab"
    items = page_scanner.INTERACTABLE_SELECTOR.split(", ")
    assert len(items) == 21
    assert items[:5] == page_scanner._NATIVE_TAGS
    assert items[5:7] == ['[role="button"]', '[role="link"]']
    assert items[-3:] == ["img[alt]", "img[data-testid]", "[data-testid]"]
    assert page_scanner.CAPTURED_ATTRIBUTES[0] == "id" and len(page_scanner.CAPTURED_ATTRIBUTES) == 13
    assert page_scanner.TEXT_SELECTOR == ", ".join(page_scanner._TEXT_TAGS)
    assert len(page_scanner._TEXT_TAGS) == 15
    assert page_scanner._CUSTOM_INPUT_SELECTOR == (
        "span[class*='editable'], div[class*='editable'], span[class*='input'], div[class*='input']")


def test_class_surface():
    assert PageScanner.__doc__ == (
        "Queries the page DOM and returns structured, interactable element descriptors.")
    signatures = {
        "_assign_spatial_labels": ["self", "elements", "label_candidates"],
        "_get_field_label": ["self", "handle"],
        "_save_snapshot": ["self", "elements", "text_elements"],
        "extract_interactable_elements": ["self"],
    }
    for name, params in signatures.items():
        assert list(inspect.signature(getattr(PageScanner, name)).parameters) == params
    assert list(inspect.signature(PageScanner._dedup_text_elements).parameters) == ["candidates"]
    assert list(inspect.signature(_is_custom_input).parameters) == ["tag", "classes"]
    page = object()
    scanner = PageScanner(page)
    assert scanner.page is page
    with pytest.raises(AttributeError):
        scanner.page = object()


@pytest.mark.parametrize("tag, classes, expected", [
    ("span", "rich-Editable", True),
    ("div", "MyInputBox", True),
    ("div", "plain", False),
    ("div", "", False),
    ("div", None, False),
    ("input", "input", False),
    ("textarea", "editable", False),
    ("select", "input", False),
])
def test_is_custom_input(tag, classes, expected):
    assert _is_custom_input(tag, classes) is expected


@pytest.mark.parametrize("call, message", [
    (lambda: _is_custom_input(b"span", ""),
     "Argument 'tag' has incorrect type (expected str, got bytes)"),
    (lambda: PageScanner._dedup_text_elements(()),
     "Argument 'candidates' has incorrect type (expected list, got tuple)"),
    (lambda: PageScanner(None)._assign_spatial_labels([], {}),
     "Argument 'label_candidates' has incorrect type (expected list, got dict)"),
    (lambda: PageScanner(None)._save_snapshot(None, []),
     "Argument 'elements' has incorrect type (expected list, got NoneType)"),
])
def test_argument_checks(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


# --- Label geometry and de-duplication (records only) -------------------------------


def test_assign_spatial_labels_keeps_labels_and_skips_boxless():
    cands = [{"text": "Above", "bounding_box": box(0, 0, 100, 20)}]
    labelled = {"attributes": {"_label": "Own"}, "bounding_box": box(0, 50, 10, 10)}
    blank = {"attributes": {"_label": ""}, "bounding_box": box(0, 50, 10, 10)}
    boxless = {"attributes": {}, "bounding_box": None}
    bare = {"bounding_box": box(0, 50, 10, 10)}
    PageScanner(None)._assign_spatial_labels([labelled, blank, boxless, bare], cands)
    assert labelled["attributes"] == {"_label": "Own"}
    assert blank["attributes"] == {"_label": "Above"}
    assert boxless["attributes"] == {}
    assert bare["attributes"] == {"_label": "Above"}


def text_record(text, b, direct=False):
    return {"tag": "div", "text": text, "has_direct_text": direct, "bounding_box": b}


# Reference models written straight from the rules, for property tests.


def reference_label(element, candidates):
    if element["attributes"].get("_label") or element.get("bounding_box") is None:
        return element["attributes"].get("_label")
    bb = element["bounding_box"]
    best_text, best_dist = "", float("inf")
    for c in candidates:
        cb = c["bounding_box"]
        bottom = cb["y"] + cb["height"]
        if bottom > bb["y"]:
            continue
        if not (cb["x"] <= bb["x"] + bb["width"] and cb["x"] + cb["width"] >= bb["x"]):
            continue
        if bb["y"] - bottom < best_dist:
            best_dist, best_text = bb["y"] - bottom, c["text"]
    return best_text or None


def reference_dedup(records):
    def area(r):
        return r["bounding_box"]["width"] * r["bounding_box"]["height"]

    def overlaps(a, b):
        return (a["x"] < b["x"] + b["width"] and a["x"] + a["width"] > b["x"]
                and a["y"] < b["y"] + b["height"] and a["y"] + a["height"] > b["y"])

    return [el for el in records if el["has_direct_text"] or not any(
        o is not el and area(o) < area(el) and overlaps(el["bounding_box"], o["bounding_box"])
        and o["text"] in el["text"] for o in records)]


coords = st.integers(0, 40) | st.floats(0, 40, allow_nan=False).map(lambda f: round(f, 1))
boxes = st.builds(box, coords, coords, coords, coords)
words = st.sampled_from(["", "a", "ab", "b", "ba", "A", "\u00e9"])


@hsettings(max_examples=200, deadline=None)
@given(st.lists(st.tuples(boxes, st.sampled_from([None, "", "Own"])), max_size=6),
       st.lists(st.tuples(words, boxes), max_size=6))
def test_assign_spatial_labels_matches_the_rules(elements, candidates):
    els = [{"attributes": ({"_label": lab} if lab is not None else {}), "bounding_box": b}
           for b, lab in elements]
    cands = [{"text": t, "bounding_box": b} for t, b in candidates]
    expected = [reference_label(e, cands) for e in els]
    PageScanner(None)._assign_spatial_labels(els, cands)
    assert [e["attributes"].get("_label") or None for e in els] == expected


@hsettings(max_examples=200, deadline=None)
@given(st.lists(st.tuples(words, st.booleans(), boxes), max_size=8))
def test_dedup_matches_the_rules(rows):
    records = [text_record(t, b, d) for t, d, b in rows]
    out = PageScanner._dedup_text_elements(records)
    assert [id(r) for r in out] == [id(r) for r in reference_dedup(records)]


# --- Reading real pages --------------------------------------------------------------


@pytest.fixture
def elements_page(open_page):
    page = open_page("elements.html")
    return page, PageScanner(page).extract_interactable_elements()


def test_main_source_records(elements_page):
    page, (elements, _texts) = elements_page
    send = by_id(elements, "send")
    assert list(send) == ELEMENT_KEYS
    assert send["tag"] == "button" and send["text"] == "Send"
    assert send["is_visible"] is True and send["is_enabled"] is True
    assert send["xpath"] == "/html[1]/body[1]/button[1]"
    assert send["bounding_box"] == page.query_selector("#send").bounding_box()

    close = by_id(elements, "close")
    assert close["is_visible"] is False and close["attributes"]["aria-label"] == "Close"
    for dropped in ("nameless", "boxless", "zero"):
        assert by_id(elements, dropped) is None, dropped

    email = by_id(elements, "email")["attributes"]
    assert email["data-testid"] == "email" and email["data-role"] == "contact"
    assert list(email)[:3] == ["id", "type", "data-testid"]
    assert by_id(elements, "empty")["attributes"]["value"] == ""
    assert by_id(elements, "off")["is_enabled"] is False
    # only inputs and text areas look for a field label of their own
    assert by_id(elements, "pick")["tag"] == "select"

    li = next(e for e in elements if e["text"] == "second")
    assert li["xpath"] == "/html[1]/body[1]/ul[1]/li[2]"

    twice = [e for e in elements if e["text"] == "Both sources"]
    assert [e["tag"] for e in twice] == ["div", "button"]
    assert twice[0]["xpath"] == twice[1]["xpath"]
    assert elements.index(twice[1]) == len(elements) - 1  # cursor-pointer records come last


def test_custom_inputs_and_cursor_pointer_rows(open_page):
    scanner = PageScanner(open_page("custom.html"))
    custom = scanner._extract_custom_inputs()
    assert [c["attributes"]["id"] for c in custom] == ["rich"]
    rich = custom[0]
    assert list(rich) == CUSTOM_KEYS
    assert rich["is_editable_field"] is True and rich["text"] == "typed"
    assert rich["attributes"]["_label"] == "Notes"
    assert rich["attributes"]["class"] == "box rich-editable"

    rows = {r["xpath"].rsplit("/", 1)[-1]: r for r in scanner._extract_cursor_pointer_elements()}
    texts = sorted(r["text"] for r in rows.values())
    assert texts == ["Next step", "abcdefghij", "b" * 60, "x"]  # 11 descendants, 61 chars: out
    chip = next(r for r in rows.values() if r["text"] == "x")
    assert list(chip) == ELEMENT_KEYS
    assert chip["tag"] == "button"
    assert chip["attributes"] == {"class": "pointer chip", "aria-label": "Remove"}
    assert chip["bounding_box"] == {"x": 10, "y": 301, "width": 31, "height": 13}
    assert all(type(v) is int for v in chip["bounding_box"].values())


@pytest.mark.parametrize("selector, expected", [
    ("#aria", "Full name"),
    ("#blank-aria", "From placeholder"),
    ("[aria-labelledby]", "Referenced text"),
    ("#numbered", "Fallback"),  # the page refuses the selector #1st: next source
    ("#user", "User name"),
    ('[id="quoted\\"id\\\\x"]', "Quoted id"),  # quote and backslash in the id
    ("#silent", "Type here"),
    ("#silent2", "Tooltip"),
    ("#sibling", "Email"),
    ("#first-child", "Short"),
    ("#parent", "Parent child"),
    ("#only-child", None),
])
def test_field_label_sources(page, open_page, selector, expected):
    open_page("labels.html")
    handle = page.query_selector(selector)
    assert handle is not None
    assert PageScanner(page)._get_field_label(handle) == expected


def test_label_candidates_and_fallback(page):
    page.set_content("""<body style="margin:0; font: 16px sans-serif">
      <span style="visibility:hidden">Hidden</span>
      <div style="height:20px; width:200px">Password</div>
      <div style="height:20px; width:200px">Password</div>
      <div style="height:20px; width:200px">%s</div>
      <div style="height:41px; width:200px">Tall</div>
      <div><input id="pw" type="password"></div>
      <button id="b" style="display:block">Go</button></body>""" % ("c" * 61))
    scanner = PageScanner(page)
    candidates = scanner._collect_label_candidates()
    assert [c["text"] for c in candidates] == ["Password"]
    assert candidates[0]["bounding_box"] == page.query_selector("div").bounding_box()  # the first
    elements, _ = scanner.extract_interactable_elements()
    # the one candidate labels everything below it that overlaps it, buttons too
    assert [e["attributes"].get("_label") for e in elements] == ["Password", "Password"]


def test_text_elements(open_page):
    texts = PageScanner(open_page("text.html")).extract_text_elements()
    assert all(list(t) == TEXT_KEYS for t in texts)
    by_text = {}
    for t in texts:
        by_text.setdefault(t["text"], []).append(t)

    assert [t["tag"] for t in by_text["Welcome back"]] == ["span"]
    assert by_text["Total: 42"][0]["attributes"] == {"id": "total", "class": "wide"}
    assert by_text["Total: 42"][0]["has_direct_text"] is True
    assert by_text["42"][0]["has_direct_text"] is True
    assert "Yes No" not in by_text and "Yes" in by_text and "No" in by_text
    # no smaller element shows the wrapper's text, so the wrapper stays
    assert [t["attributes"].get("id") for t in by_text["Bold only"]] == ["shout"]
    assert [t["tag"] for t in by_text["Deep"]] == ["span"]
    assert "Hidden text" not in by_text
    assert "Contents" not in by_text  # visible, but without a box of its own
    assert not any(t["attributes"].get("id") == "blank" for t in texts)


# --- Failures while reading -------------------------------------------------------------


def test_elements_detached_while_reading_are_dropped(open_page, monkeypatch):
    # Element by element, the reader meets entries half read; in one page
    # script it would see the page at a single moment.
    monkeypatch.setattr(settings, "FAST_SCAN", False)
    page = open_page("detaching.html")
    page.evaluate("window.startDetaching()")
    elements, texts = PageScanner(page).extract_interactable_elements()
    texts = [e["text"] for e in elements]
    assert len(texts) < 30
    assert set(texts) >= {f"Item {i}" for i in range(1, 30, 2)}  # the rest are all there
    assert all(list(e) == ELEMENT_KEYS for e in elements)


class FakeHandle:
    def __init__(self, fail=None, tag="button"):
        self.fail, self.tag = fail, tag

    def _maybe_fail(self):
        if self.fail:
            raise self.fail

    def is_visible(self):
        return True

    def is_enabled(self):
        return True

    def evaluate(self, script):
        if script == "el => el.tagName.toLowerCase()":
            return self.tag
        if script == page_scanner._XPATH_JS:
            return "/html[1]/body[1]/button[1]"
        return {}

    def inner_text(self):
        self._maybe_fail()
        return "Go"

    def get_attribute(self, name):
        return None

    def bounding_box(self):
        return {"x": 1, "y": 2, "width": 3, "height": 4}


class FakePage:
    url = "http://example.test/a/b"

    def __init__(self, handles, fail=None, selector=page_scanner.INTERACTABLE_SELECTOR):
        self.handles, self.fail, self.selector = handles, fail, selector

    def query_selector_all(self, selector):
        if self.fail:
            raise self.fail
        return self.handles if selector == self.selector else []

    def query_selector(self, selector):
        return None

    def evaluate(self, script):
        return None


class PageGone(Exception):
    pass


def test_ordinary_errors_drop_the_element_only():
    handles = [FakeHandle(), FakeHandle(PageGone("detached")), FakeHandle(ValueError()),
               FakeHandle()]
    elements, texts = PageScanner(FakePage(handles)).extract_interactable_elements()
    assert len(elements) == 2 and texts == []
    assert elements[0] == {"tag": "button", "text": "Go", "attributes": {},
                           "bounding_box": {"x": 1, "y": 2, "width": 3, "height": 4},
                           "is_visible": True, "is_enabled": True,
                           "xpath": "/html[1]/body[1]/button[1]"}


def test_text_element_with_an_empty_box_is_kept():
    # A page may report a visible element with a zero-width box; only a
    # missing box keeps a text element out.
    handle = FakeHandle()
    handle.bounding_box = lambda: {"x": 1, "y": 2, "width": 0, "height": 4}
    texts = PageScanner(FakePage([handle], selector=page_scanner.TEXT_SELECTOR)).extract_text_elements()
    assert [t["bounding_box"]["width"] for t in texts] == [0]


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit])
def test_interruptions_go_through(error):
    with pytest.raises(error):
        PageScanner(FakePage([FakeHandle(error())])).extract_interactable_elements()


def test_page_wide_errors_reach_the_caller():
    with pytest.raises(PageGone):
        PageScanner(FakePage([], fail=PageGone())).extract_interactable_elements()


# --- Snapshots ------------------------------------------------------------------------


@pytest.fixture
def frozen_time(monkeypatch):
    import datetime as real

    class FrozenDatetime(real.datetime):
        @classmethod
        def now(cls, tz=None):
            return cls(2026, 12, 7, 10, 15, 0)

    class FakeModule:
        datetime = FrozenDatetime

    monkeypatch.setattr(page_scanner, "datetime", FakeModule)


def test_snapshot_off_writes_nothing(tmp_path, monkeypatch, capsys):
    monkeypatch.setattr(settings, "SAVE_SNAPSHOTS", False)
    monkeypatch.setattr(settings, "LOG_PATH", str(tmp_path / "logs"))
    PageScanner(FakePage([FakeHandle()])).extract_interactable_elements()
    assert not (tmp_path / "logs").exists()
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("url, slug", [
    ("http://example.test/a/b", "http_example.test_a_b"),
    ("http://localhost:8000/x?q=1", "http_localhost:8000_x?q=1"),
    ("https://example.test/" + "é" * 80, ("https_example.test_" + "é" * 80)[:60]),
])
def test_snapshot_file(tmp_path, monkeypatch, capsys, frozen_time, url, slug):
    monkeypatch.setattr(settings, "SAVE_SNAPSHOTS", True)
    monkeypatch.setattr(settings, "LOG_PATH", str(tmp_path / "deep" / "logs"))
    page = FakePage([FakeHandle()])
    page.url = url
    elements, texts = PageScanner(page).extract_interactable_elements()
    path = tmp_path / "deep" / "logs" / f"20261207_101500_{slug}.json"
    assert capsys.readouterr().out == f"  [DOM snapshot saved \u2192 {path}]\n"
    raw = path.read_text()
    assert raw == json.dumps({"url": url, "elements": elements, "text_elements": texts}, indent=2)
    assert list(json.loads(raw)) == ["url", "elements", "text_elements"]
    # the same second writes the same file again
    PageScanner(page).extract_interactable_elements()
    assert len(list(path.parent.iterdir())) == 1


def test_snapshot_of_a_real_page(open_page, tmp_path, monkeypatch, capsys):
    monkeypatch.setattr(settings, "SAVE_SNAPSHOTS", True)
    monkeypatch.setattr(settings, "LOG_PATH", str(tmp_path))
    page = open_page("custom.html")
    elements, _ = PageScanner(page).extract_interactable_elements()
    (path,) = tmp_path.iterdir()
    assert re.fullmatch(r"\d{8}_\d{6}_file_.*\.json", path.name)
    assert path.name[16:-5] == page.url.replace("://", "_").replace("/", "_")[:60]
    saved = json.loads(path.read_text())
    assert saved["elements"] == elements
    kinds = [(e["tag"], e.get("is_editable_field")) for e in saved["elements"]]
    assert ("span", True) in kinds and kinds[-1] == ("button", None)
    assert str(path) in capsys.readouterr().out


def test_settings_from_environment(monkeypatch):
    import importlib

    monkeypatch.setenv("MARROWLANE_SAVE_SNAPSHOTS", "TRUE")
    monkeypatch.setenv("MARROWLANE_LOG_PATH", "/tmp/elsewhere")
    try:
        fresh = importlib.reload(settings)
        assert fresh.SAVE_SNAPSHOTS is True and fresh.LOG_PATH == "/tmp/elsewhere"
        monkeypatch.setenv("MARROWLANE_SAVE_SNAPSHOTS", "0")
        assert importlib.reload(settings).SAVE_SNAPSHOTS is False
    finally:
        monkeypatch.undo()
        importlib.reload(settings)
    assert settings.SAVE_SNAPSHOTS is False and settings.LOG_PATH == "logs"
