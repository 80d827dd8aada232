"""The Python face of Level-1 resolution: matching functions, TextMatchStrategy's
paths, the shape of every result, and the caller's own records handed back."""

import inspect
import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from marrowlane_web.engine.strategies import text_match_strategy as tms
from marrowlane_web.engine.strategies.text_match_strategy import TextMatchStrategy

S = TextMatchStrategy()

KEYS_4 = ["resolved", "confidence", "element", "candidates"]
KEYS_VERIFY = ["resolved", "verified", "confidence", "element", "state", "candidates"]
KEYS_EXTRACT = ["resolved", "confidence", "element", "extracted", "candidates"]


def el(text="", tag="button", visible=True, enabled=True, box=(0, 0, 100, 20), xpath=None,
       **attributes):
    """An element record as the page scanner writes it; attribute names use _ for -."""
    record = {"tag": tag, "text": text,
              "attributes": {k.replace("__", "-"): v for k, v in attributes.items()}}
    if box is not None:
        x, y, w, h = box
        record["bounding_box"] = {"x": x, "y": y, "width": w, "height": h}
    record["is_visible"] = visible
    record["is_enabled"] = enabled
    record["xpath"] = xpath or "/html[1]/body[1]/div[1]/%s[1]" % tag
    return record


def txt(text, box=(0, 0, 50, 20), tag="span", xpath="/html[1]/body[1]/div[1]/span[1]",
        visible=True):
    x, y, w, h = box
    return {"tag": tag, "text": text, "has_direct_text": True, "attributes": {},
            "bounding_box": {"x": x, "y": y, "width": w, "height": h},
            "is_visible": visible, "is_enabled": True, "xpath": xpath}


def step(action, target, **extra):
    return {"action": action, "target": target, **extra}


def same(a, b):
    """The two lists hold the very same records, in order."""
    return len(a) == len(b) and all(x is y for x, y in zip(a, b))


# ---------------------------------------------------------------------------
# Module contents
# ---------------------------------------------------------------------------

def test_constants_have_their_kinds_and_contents():
    assert tms._MATCH_ATTRIBUTES == ["aria-label", "_label", "placeholder", "data-testid",
                                     "type", "alt"]
    assert type(tms._MATCH_ATTRIBUTES) is list
    assert tms._TYPE_DESCRIPTORS == frozenset(
        "input field button btn box link dropdown select checkbox radio textarea textbox area "
        "icon control widget form element".split())
    assert tms._TEXT_ONLY_TAGS == set("span p label h1 h2 h3 h4 h5 h6 li td th div a".split())
    assert tms._TYPEABLE_TAGS == {"input", "textarea"}
    assert tms._TYPEABLE_ROLES == {"textbox", "searchbox", "spinbutton", "combobox"}
    assert tms._SELECTABLE_TAGS == {"select"}
    assert tms._DOM_DISTANCE_THRESHOLD == 10 and type(tms._DOM_DISTANCE_THRESHOLD) is int


@pytest.mark.parametrize("func, params, defaults", [
    (tms._strip_type_descriptors, ["target"], {}),
    (tms._searchable_strings, ["element", "include_label"], {"include_label": False}),
    (tms._matches_element, ["target", "element", "include_label"], {"include_label": False}),
    (tms._exact_matches_element, ["target", "element", "include_label"],
     {"include_label": False}),
    (tms._dom_distance, ["xpath_a", "xpath_b"], {}),
    (tms._filter_by_action, ["action", "elements"], {}),
    (TextMatchStrategy.resolve, ["self", "parsed_instruction", "dom_elements", "text_elements"],
     {"text_elements": None}),
    (TextMatchStrategy._resolve_verify_spatial_text,
     ["self", "target", "expected", "text_elements", "dom_elements"], {"dom_elements": None}),
    (TextMatchStrategy._resolve_extract_spatial_text,
     ["self", "target", "text_elements", "dom_elements"], {"dom_elements": None}),
    (TextMatchStrategy._resolve_find_text, ["self", "target", "text_elements"], {}),
    (TextMatchStrategy._resolve_find_exact_text, ["self", "target", "text_elements"], {}),
    (TextMatchStrategy._resolve_verify, ["self", "action", "target", "dom_elements"], {}),
    (TextMatchStrategy._resolve_verify_text, ["self", "action", "target", "text_elements"], {}),
])
def test_signatures_name_the_parameters(func, params, defaults):
    signature = inspect.signature(func)
    assert list(signature.parameters) == params
    assert {n: p.default for n, p in signature.parameters.items()
            if p.default is not inspect.Parameter.empty} == defaults
    assert not func.__doc__


# ---------------------------------------------------------------------------
# Surfaces and matching
# ---------------------------------------------------------------------------

@pytest.mark.parametrize("target, stripped", [
    ("Login Button", "Login"),
    ("button link", "button link"),            # descriptor words only: unchanged
    ("  search   input ", "search"),
    ("", ""),
    ("   ", "   "),
    ("the submit button", "the submit"),       # articles stay
    ("INPUT First  Name FIELD", "First Name"),  # both ends, inner runs collapse
    ("Save form changes", "Save form changes"),  # inner descriptor words stay
    ("agree chec\u212abox", "agree"),           # KELVIN SIGN lowers to k: 'checkbox'
])
def test_strip_type_descriptors(target, stripped):
    assert tms._strip_type_descriptors(target) == stripped


@pytest.mark.parametrize("record, include_label, surfaces", [
    ({"text": "  Hi  "}, False, ["  Hi  "]),
    ({}, False, []),
    ({"text": None, "attributes": {}}, False, []),
    ({"text": "T", "attributes": {
        "alt": "A", "type": "email", "data-testid": "tid", "placeholder": "P", "_label": "L",
        "aria-label": "AL", "class": "main-button", "id": "user-name_input",
        "data-cart-icon": "x"}}, False,
     ["T", "AL", "P", "tid", "email", "A", "main button", "user name input", "cart icon"]),
    ({"attributes": {"_label": "Username", "placeholder": ""}}, True, ["Username"]),
    ({"attributes": {"_label": "Username"}}, False, []),
    ({"attributes": {"class": "btn btn-primary css-1x2y3z"}}, False, ["btn primary"]),
    ({"attributes": {"class": "shopping_cart_link"}}, False, ["shopping cart link"]),
    ({"attributes": {"class": "btn nav x1y2z3w"}}, False, []),
    ({"attributes": {"class": "nav\u0663item wide_one"}}, False, ["wide one"]),  # Arabic digit
    ({"attributes": {"id": "btn-1"}}, False, []),
    ({"attributes": {"id": "main_menu-2 long-name"}}, False, ["main menu long name"]),
    ({"attributes": {"data-testid": "t", "data-qa-id": "v", "data-x": "v", "data-": "v"}},
     False, ["t", "qa id"]),
    ({"attributes": {"data-row_2-col": "v", "data-ab": "v"}}, False, ["row col", "ab"]),
])
def test_searchable_strings(record, include_label, surfaces):
    assert tms._searchable_strings(record, include_label=include_label) == surfaces


@pytest.mark.parametrize("target, record, label, contains, exact", [
    ("first_name", {"text": "first_name"}, False, True, True),  # both sides read "_" as a blank
    ("Item 3-A", {"text": "Item 3-A"}, False, True, True),
    ("first_name", {"attributes": {"id": "first_name"}}, False, True, True),
    ("log in", {"text": "  Log in  "}, False, True, True),
    ("log in", {"text": "Log in to your account"}, False, True, False),
    ("Email", {"tag": "input", "attributes": {"type": "email"}}, False, True, True),
    ("username", {"attributes": {"_label": "Username"}}, False, False, False),
    ("username", {"attributes": {"_label": "Username"}}, True, True, True),
    ("über uns", {"text": "Über uns"}, False, True, True),
    ("ÜBER UNS", {"text": "Über uns"}, False, True, True),
    ("οδος", {"text": "ΟΔΟΣ"}, False, True, True),   # final sigma, as str.lower() writes it
    (" login", {"text": "Login"}, False, False, False),  # the target is not trimmed
    ("", {"text": "x"}, False, True, False),
    ("", {}, False, False, False),
])
def test_matches_and_exact_matches(target, record, label, contains, exact):
    assert tms._matches_element(target, record, include_label=label) is contains
    assert tms._exact_matches_element(target, record, label) is exact


@pytest.mark.parametrize("a, b, distance", [
    ("/html/body/div[1]/span", "/html/body/div[1]/a", 2),
    ("/html/body", "/html/body/div[2]/form", 2),
    ("/html/body/div[2]", "/html/body/div[2]", 0),
    ("/html/body/div[2]/p", "/html/body/div[3]/p", 4),
    ("/html/body/", "html/body", 0),
    ("", "", 0),
    ("", "/html", 2),
    ("/html//body", "/html/body", 3),
])
def test_dom_distance(a, b, distance):
    assert tms._dom_distance(a, b) == distance
    assert tms._dom_distance(b, a) == distance


def test_filter_by_action_narrows_or_hands_back_the_list_itself():
    field = el(tag="input")
    area = el(tag="textarea")
    box = el(tag="div", role="textbox")
    custom = dict(el(tag="span"), is_editable_field=1)
    button = el(tag="button")
    select = el(tag="select")
    shouting = el(tag="INPUT")
    page = [button, field, select, area, box, custom, shouting]
    typed = tms._filter_by_action("type", page)
    assert same(typed, [field, area, box, custom])
    assert same(tms._filter_by_action("select", page), [select])
    for action in ("click", "hover", "", "Type"):
        assert tms._filter_by_action(action, page) is page
    nothing_typeable = [button, shouting]
    assert tms._filter_by_action("type", nothing_typeable) is nothing_typeable
    assert tms._filter_by_action("select", nothing_typeable) is nothing_typeable


@pytest.mark.parametrize("call, message", [
    (lambda: tms._strip_type_descriptors(None),
     "Argument 'target' has incorrect type (expected str, got NoneType)"),
    (lambda: tms._searchable_strings([]),
     "Argument 'element' has incorrect type (expected dict, got list)"),
    (lambda: tms._matches_element(b"x", {}),
     "Argument 'target' has incorrect type (expected str, got bytes)"),
    (lambda: tms._exact_matches_element("x", None),
     "Argument 'element' has incorrect type (expected dict, got NoneType)"),
    (lambda: tms._dom_distance("/a", 1),
     "Argument 'xpath_b' has incorrect type (expected str, got int)"),
    (lambda: tms._filter_by_action("type", ()),
     "Argument 'elements' has incorrect type (expected list, got tuple)"),
    (lambda: tms._filter_by_action(None, []),
     "Argument 'action' has incorrect type (expected str, got NoneType)"),
    (lambda: S.resolve([], []),
     "Argument 'parsed_instruction' has incorrect type (expected dict, got list)"),
    (lambda: S.resolve({}, None),
     "Argument 'dom_elements' has incorrect type (expected list, got NoneType)"),
    (lambda: S.resolve({}, [], ()),
     "Argument 'text_elements' has incorrect type (expected list, got tuple)"),
    (lambda: S.resolve({"action": 3}, []), "Expected str, got int"),
    (lambda: S.resolve({"action": "click", "target": ["x"]}, []), "Expected str, got list"),
    (lambda: S.resolve({"action": "click", "target": None}, []),
     "Argument 'target' has incorrect type (expected str, got NoneType)"),
    (lambda: S.resolve({"action": None}, []),
     "Argument 'action' has incorrect type (expected str, got NoneType)"),
    (lambda: S.resolve({"action": "find_text", "target": None}, []),
     "Argument 'target' has incorrect type (expected str, got NoneType)"),
    (lambda: S.resolve({"action": "verify_spatial_text", "target": "below X", "value": None}, []),
     "Argument 'expected' has incorrect type (expected str, got NoneType)"),
    (lambda: S._resolve_verify_spatial_text("below X", "", [], ()),
     "Argument 'dom_elements' has incorrect type (expected list, got tuple)"),
    (lambda: S._resolve_extract_spatial_text("below X", None),
     "Argument 'text_elements' has incorrect type (expected list, got NoneType)"),
    (lambda: S._resolve_find_exact_text("x", {}),
     "Argument 'text_elements' has incorrect type (expected list, got dict)"),
    (lambda: S._resolve_verify(1, "x", []),
     "Argument 'action' has incorrect type (expected str, got int)"),
    (lambda: S._resolve_verify_text("verify_text_present", "x", None),
     "Argument 'text_elements' has incorrect type (expected list, got NoneType)"),
    (lambda: tms._searchable_strings(type("Record", (dict,), {})()),  # subclasses are refused
     "Argument 'element' has incorrect type (expected dict, got Record)"),
    (lambda: S.resolve({}, type("Items", (list,), {})()),
     "Argument 'dom_elements' has incorrect type (expected list, got Items)"),
    (lambda: tms._dom_distance(type("Text", (str,), {})("/a"), "/a"),
     "Argument 'xpath_a' has incorrect type (expected str, got Text)"),
    (lambda: S.resolve({}, [1]), "dom_elements[0] must be a dict, not int"),
])
def test_argument_kinds_are_checked(call, message):
    with pytest.raises(TypeError) as err:
        call()
    assert str(err.value) == message


# ---------------------------------------------------------------------------
# General element resolution
# ---------------------------------------------------------------------------

def test_exact_match_beats_containing_ones_wherever_it_stands():
    order = el("Submit order", box=(0, 0, 80, 20))
    submit = el("Submit", box=(0, 300, 80, 20))
    page = [order, submit]
    for target in ("submit", "Submit button"):
        r = S.resolve(step("click", target, ordinal=1), page)
        assert list(r) == KEYS_4
        assert r["resolved"] is True and r["confidence"] == 1.0
        assert r["element"] is submit and same(r["candidates"], [submit])


@pytest.mark.parametrize("ordinal, chosen", [
    (1, "high"), (2, "low"), (5, "low"), (True, "high"),
    (0, "low"),     # length order, counted from the end: the longest text
    (-1, "high"),   # the one before it
    (False, "low"),
])
def test_ordinals_count_in_reading_order(ordinal, chosen):
    low = el("Save changes", box=(10, 400, 80, 20))
    high = el("Save copy", box=(500, 100, 80, 20))
    page = [low, high]
    r = S.resolve(step("click", "save", ordinal=ordinal), page)
    assert r["element"] is {"low": low, "high": high}[chosen]
    if ordinal > 0:
        assert same(r["candidates"], [high, low])


def test_reading_order_is_top_then_left_with_missing_coordinates_as_zero():
    right = el("Item", box=(300, 50, 10, 10))
    left = el("Item", box=(100, 50, 10, 10))
    nowhere = el("Item", box=None)
    top = el("Item")
    top["bounding_box"] = {"x": 5}
    r = S.resolve(step("click", "item", ordinal=1), [right, left, nowhere, top])
    assert same(r["candidates"], [nowhere, top, left, right])


@pytest.mark.parametrize("ordinal", [-2, -10 ** 30])
def test_an_ordinal_before_the_first_candidate_resolves_nothing(ordinal):
    page = [el("Save changes"), el("Save copy")]
    r = S.resolve(step("click", "save", ordinal=ordinal), page)
    assert r == {"resolved": False, "confidence": 0.0, "element": None, "candidates": []}


def test_huge_ordinals_take_the_last_candidate():
    a, b = el("Go", box=(0, 0, 1, 1)), el("Go", box=(0, 9, 1, 1))
    assert S.resolve(step("click", "go", ordinal=10 ** 30), [a, b])["element"] is b


@pytest.mark.parametrize("ordinal", [None, "2", [1]])
def test_an_ordinal_that_cannot_be_compared_fails_only_when_choosing(ordinal):
    with pytest.raises(TypeError):
        S.resolve(step("click", "go", ordinal=ordinal), [el("Go")])
    assert S.resolve(step("click", "go", ordinal=ordinal), [el("Stop")])["resolved"] is False


def test_a_missing_ordinal_is_the_first():
    a, b = el("Go", box=(0, 50, 1, 1)), el("Go", box=(0, 9, 1, 1))
    assert S.resolve({"action": "click", "target": "go"}, [a, b])["element"] is b


def test_visible_beats_hidden_and_hidden_is_a_last_resort():
    hidden_exact = el("Login", visible=False)
    visible_containing = el("Login now")
    r = S.resolve(step("click", "login", ordinal=1), [hidden_exact, visible_containing])
    assert r["element"] is visible_containing and same(r["candidates"], [visible_containing])
    hidden = dict(el("Login"))
    del hidden["is_visible"]  # missing counts as hidden
    r = S.resolve(step("click", "login", ordinal=1), [hidden, el("Logout")])
    assert r["element"] is hidden


def test_the_field_label_names_fields_only_for_typing():
    field = el(tag="input", _label="Username")
    link = el("Help", tag="a")
    page = [link, field]
    assert S.resolve(step("type", "Username", value="u"), page)["element"] is field
    assert S.resolve(step("click", "Username", ordinal=1), page)["resolved"] is False


def test_typing_on_a_page_without_fields_considers_every_element():
    div = el("Search", tag="div")
    r = S.resolve(step("type", "search box", value="x"), [el("Other"), div])
    assert r["element"] is div


def test_select_prefers_select_elements():
    label = el("Country", tag="label")
    chooser = el("", tag="select", aria__label="Country")
    r = S.resolve(step("select", "Country dropdown", value="NL"), [label, chooser])
    assert r["element"] is chooser


def test_extraction_falls_back_to_visible_text_elements():
    note = txt("Order number 42")
    hidden_note = txt("Order number 7", visible=False)
    texts = [hidden_note, note]
    r = S.resolve(step("extract_text", "order number", ordinal=1), [el("Cart")], texts)
    assert r["element"] is note and same(r["candidates"], [note])
    assert S.resolve(step("click", "order number", ordinal=1), [el("Cart")],
                     texts)["resolved"] is False


def test_nothing_found_has_the_four_keys_in_order():
    r = S.resolve(step("click", "Nowhere", ordinal=1), [el("Somewhere")], None)
    assert list(r) == KEYS_4
    assert r == {"resolved": False, "confidence": 0.0, "element": None, "candidates": []}
    assert type(r["confidence"]) is float


def test_non_ascii_targets_match_case_insensitively():
    about = el("Über uns")
    r = S.resolve(step("click", "ÜBER UNS", ordinal=1), [el("Kontakt"), about])
    assert r["element"] is about


def test_the_records_are_read_not_changed():
    page = [el("Save changes", box=(0, 50, 1, 1)), el("Save copy", box=(0, 0, 1, 1))]
    before = [dict(r) for r in page]
    order = list(page)
    S.resolve(step("click", "save", ordinal=1), page)
    assert page == before and same(page, order)


# ---------------------------------------------------------------------------
# Dispatch
# ---------------------------------------------------------------------------

class Recorder(TextMatchStrategy):
    """Records how resolve calls each method, and can answer for them."""

    def __init__(self, answer=None):
        super().__init__()
        self.calls = []
        self.answer = answer

    def _record(self, name, *args):
        self.calls.append((name, args))
        return self.answer

    def _resolve_verify_spatial_text(self, *args):
        return self._record("verify_spatial", *args)

    def _resolve_extract_spatial_text(self, *args):
        return self._record("extract_spatial", *args)

    def _resolve_find_text(self, *args):
        return self._record("find", *args)

    def _resolve_find_exact_text(self, *args):
        return self._record("find_exact", *args)

    def _resolve_verify(self, *args):
        return self._record("verify", *args)

    def _resolve_verify_text(self, *args):
        return self._record("verify_text", *args)


@pytest.mark.parametrize("action, method, arity", [
    ("verify_spatial_text", "verify_spatial", 4),
    ("extract_text_spatial", "extract_spatial", 3),
    ("find_text", "find", 2),
    ("find_exact_text", "find_exact", 2),
    ("verify_present", "verify", 3), ("verify_visible", "verify", 3),
    ("verify_enabled", "verify", 3), ("verify_disabled", "verify", 3),
    ("verify_text_present", "verify_text", 3), ("verify_text_visible", "verify_text", 3),
])
def test_text_actions_are_dispatched_with_the_text_list(action, method, arity):
    strategy = Recorder(answer={"mine": True})
    dom = [el("x")]
    texts = [txt("t")]
    assert strategy.resolve(step(action, "T", value="V"), dom, texts) == {"mine": True}
    [(name, args)] = strategy.calls
    assert name == method and len(args) == arity
    if method == "verify_spatial":
        assert args[0] == "T" and args[1] == "V" and args[2] is texts and args[3] is dom
    if method in ("verify", "verify_text"):
        assert args[0] == action
    if method == "verify":
        assert args[2] is dom
    # With no (or an empty) text list the method receives a new empty list.
    for given_texts in (None, []):
        strategy.calls.clear()
        strategy.resolve(step(action, "T", value="V"), dom, given_texts)
        [(_, args)] = strategy.calls
        text_arg = args[2] if method in ("verify_spatial", "verify_text") else args[1]
        if method != "verify":
            assert text_arg == [] and text_arg is not given_texts


def test_missing_instruction_keys_read_as_empty_text():
    strategy = Recorder(answer={})
    strategy.resolve({"action": "verify_spatial_text"}, [], [])
    assert strategy.calls[0][1][:2] == ("", "")


def test_a_dispatched_result_must_be_a_dict_or_none():
    assert Recorder(answer=None).resolve(step("find_text", "x"), []) is None
    with pytest.raises(TypeError) as err:
        Recorder(answer=["x"]).resolve(step("find_text", "x"), [])
    assert str(err.value) == "Expected dict, got list"


def test_action_names_are_compared_exactly():
    strategy = Recorder(answer={"mine": True})
    r = strategy.resolve(step("Find_Text", "go"), [el("Go")])
    assert strategy.calls == [] and list(r) == KEYS_4


# ---------------------------------------------------------------------------
# Text find and verify
# ---------------------------------------------------------------------------

def test_find_text_prefers_the_shortest_containing_text():
    long, short = txt("Total: $29.00"), txt("Total")
    hidden = txt("Totally hidden", visible=False)
    r = S.resolve(step("find_text", "Total"), [], [long, short, hidden])
    assert list(r) == KEYS_4
    assert r["element"] is short and same(r["candidates"], [short, long, hidden])
    r = S._resolve_find_text("hidden", [long, hidden])
    assert r["element"] is hidden


@pytest.mark.parametrize("target, resolved, chosen, candidates", [
    ("total", True, "spaced", ["spaced", "spaced", "long"]),
    ("Tot", False, None, ["spaced", "long"]),
    (" total", False, None, ["spaced"]),   # the target is not trimmed
    ("nothing", False, None, []),
])
def test_find_exact_text(target, resolved, chosen, candidates):
    records = {"long": txt("Total: $29.00"), "spaced": txt("  Total ")}
    texts = [records["spaced"], records["long"]]
    r = S.resolve(step("find_exact_text", target), [], texts)
    assert list(r) == KEYS_4
    assert r["resolved"] is resolved and r["confidence"] == (1.0 if resolved else 0.0)
    assert r["element"] is (records[chosen] if chosen else None)
    assert same(r["candidates"], [records[c] for c in candidates])


@pytest.mark.parametrize("action, record, verified, state", [
    ("verify_present", el("Login", visible=False, enabled=False), True,
     {"present": True, "visible": False, "enabled": False}),
    ("verify_visible", el("Login"), True, {"present": True, "visible": True, "enabled": True}),
    ("verify_visible", el("Login", visible=0), False,
     {"present": True, "visible": False, "enabled": True}),
    ("verify_enabled", el("Login", enabled=False), False,
     {"present": True, "visible": True, "enabled": False}),
    ("verify_disabled", {"text": "Login"}, True,
     {"present": True, "visible": False, "enabled": False}),
    ("verify_disabled", el("Login", enabled="yes"), False,
     {"present": True, "visible": True, "enabled": True}),
])
def test_verify_reports_the_state_of_the_found_element(action, record, verified, state):
    r = S.resolve(step(action, "Login button"), [el("Login to continue"), record])
    assert list(r) == KEYS_VERIFY
    assert r["resolved"] is True and r["verified"] is verified and r["state"] == state
    assert r["element"] is record and r["candidates"][0] is record and len(r["candidates"]) == 2


def test_verify_of_an_absent_element_is_unresolved_with_an_empty_state():
    r = S.resolve(step("verify_present", "Missing"), [el("Login")])
    assert list(r) == KEYS_VERIFY
    assert r == {"resolved": False, "verified": False, "confidence": 0.0, "element": None,
                 "state": {}, "candidates": []}


def test_verify_text_reports_visibility():
    hidden = txt("Welcome back", visible=False)
    r = S.resolve(step("verify_text_visible", "welcome"), [], [hidden])
    assert list(r) == KEYS_VERIFY
    assert r["resolved"] is True and r["verified"] is False and r["element"] is hidden
    assert r["state"] == {"present": True, "visible": False}
    r = S.resolve(step("verify_text_present", "welcome"), [], [hidden])
    assert r["verified"] is True
    r = S.resolve(step("verify_text_present", "welcome"), [], None)
    assert r["resolved"] is False and r["state"] == {}


def test_verify_methods_refuse_other_actions_once_something_is_found():
    with pytest.raises(KeyError) as err:
        S._resolve_verify("verify_shiny", "Login", [el("Login")])
    assert err.value.args == ("verify_shiny",)
    with pytest.raises(KeyError):
        S._resolve_verify_text("verify_present", "Hi", [txt("Hi")])
    assert S._resolve_verify("verify_shiny", "Nope", [el("Login")])["resolved"] is False


# ---------------------------------------------------------------------------
# Directional text
# ---------------------------------------------------------------------------

def row(anchor_text="Total", anchor_tag="span"):
    """'Total' at x 100..150, y 200..220 with texts to its right, left, above and below."""
    base = "/html[1]/body[1]/div[1]/"
    return {
        "anchor": txt(anchor_text, (100, 200, 50, 20), anchor_tag, base + "span[1]"),
        "near": txt("$29.00", (145, 200, 40, 20), "span", base + "span[2]"),    # centre +40
        "far": txt("USD", (225, 205, 40, 10), "span", base + "span[3]"),        # centre +120
        "high": txt("Tax", (150, 175, 20, 20), "span", base + "span[4]"),        # centre y 185
        "low": txt("Due", (150, 216, 20, 20), "span", base + "span[5]"),         # centre y 226
        "left": txt("Label", (0, 200, 60, 20), "label", base + "label[1]"),
        "under": txt(" Summary  ", (90, 240, 60, 20), "p", base + "p[1]"),
        "button": txt("Pay", (400, 200, 20, 20), "button", base + "button[1]"),
    }


def test_the_nearest_text_in_the_direction_is_chosen():
    r_ = row()
    texts = list(r_.values())
    r = S.resolve(step("verify_spatial_text", "right of Total", value="$29.00"), [], texts)
    assert list(r) == KEYS_VERIFY
    assert r["resolved"] is True and r["verified"] is True and r["element"] is r_["near"]
    assert r["state"] == {"expected": "$29.00", "actual": "$29.00"}
    assert same(r["candidates"], [r_["near"], r_["far"]])  # not above, below, or a button
    r = S._resolve_verify_spatial_text("left of Total", "label", texts)
    assert r["element"] is r_["left"] and r["verified"] is True
    r = S._resolve_verify_spatial_text("under the total", "summary", texts)
    assert r["element"] is r_["under"] and r["state"]["actual"] == "Summary"


@pytest.mark.parametrize("target, state", [
    ("next to the Total", {"expected": "x", "actual": "$29.00"}),
    ("NEXT TO an Total", {"expected": "x", "actual": "$29.00"}),
    ("Total", {"expected": "x"}),
    ("right of   ", {"expected": "x"}),
    ("right ofTotal", {"expected": "x"}),
    ("beside Total", {"expected": "x"}),
    ("above the Totals", {"expected": "x", "actual": "anchor 'Totals' not found"}),
    ("right of the  Total", {"expected": "x", "actual": "anchor ' Total' not found"}),
])
def test_targets_are_read_as_direction_and_anchor(target, state):
    r = S._resolve_verify_spatial_text(target, "x", list(row().values()))
    assert r["state"] == state and r["verified"] is False
    assert r["resolved"] is ("actual" in state and "not found" not in state["actual"])


def test_nothing_in_the_direction_verifies_nothing_but_extracts_nothing_too():
    r_ = row("Price")
    texts = [r_["anchor"], r_["near"]]
    r = S.resolve(step("verify_spatial_text", "under Price", value="1"), [], texts)
    assert r["resolved"] is True and r["verified"] is False and r["element"] is r_["anchor"]
    assert r["state"] == {"expected": "1", "actual": "no element below of 'Price'"}
    assert r["candidates"] == []
    r = S.resolve(step("extract_text_spatial", "below Price"), [], texts)
    assert list(r) == KEYS_EXTRACT
    assert r == {"resolved": False, "confidence": 0.0, "element": None, "extracted": "",
                 "candidates": []}


def test_extraction_returns_the_nearest_text_trimmed():
    r_ = row("Price")
    texts = list(r_.values())
    r = S.resolve(step("extract_text_spatial", "below Price"), [], texts)
    assert list(r) == KEYS_EXTRACT
    assert r["resolved"] is True and r["confidence"] == 1.0
    assert r["element"] is r_["under"] and r["extracted"] == "Summary"
    assert same(r["candidates"], [r_["under"]])


def test_a_repeated_anchor_resolves_to_the_smaller_box():
    big = txt("Total", (0, 0, 400, 100), xpath="/html[1]/body[1]/div[1]/span[1]")
    small = txt("Total", (1000, 500, 50, 20), xpath="/html[1]/body[1]/div[1]/span[2]")
    beside_small = txt("9.99", (1060, 500, 30, 20), xpath="/html[1]/body[1]/div[1]/span[3]")
    beside_big = txt("1.00", (410, 40, 30, 20), xpath="/html[1]/body[1]/div[1]/span[4]")
    r = S._resolve_verify_spatial_text("right of Total", "9.99", [big, beside_big, small,
                                                                   beside_small])
    assert r["element"] is beside_small and r["verified"] is True


def test_the_anchor_is_the_first_line_of_a_text():
    anchor = txt("  Shipping\nFree over $50 ", (0, 0, 100, 40))
    value = txt("$4.99", (120, 10, 30, 20), xpath="/html[1]/body[1]/div[1]/span[2]")
    r = S._resolve_verify_spatial_text("right of shipping", "4.99", [anchor, value])
    assert r["element"] is value and r["verified"] is True


def test_tree_distance_limits_text_anchors_only():
    deep = "/html[1]/body[1]/div[1]" + "/div[1]" * 10 + "/span[1]"   # 12 steps from the anchor
    anchor = txt("Total", (100, 200, 50, 20), xpath="/html[1]/body[1]/div[1]/span[1]")
    value = txt("$5", (200, 200, 20, 20), xpath=deep)
    assert tms._dom_distance(anchor["xpath"], deep) == 12
    r = S._resolve_verify_spatial_text("right of Total", "5", [anchor, value])
    assert r["element"] is anchor and r["state"]["actual"] == "no element right of 'Total'"
    # The same neighbour counts beside an element-record anchor.
    button = el("Total", box=(100, 200, 50, 20), xpath="/html[1]/body[1]/div[9]/button[1]")
    r = S._resolve_verify_spatial_text("right of Total", "5", [value], [button])
    assert r["element"] is value and r["verified"] is True
    value_near = dict(value, xpath="/html[1]/body[1]/div[1]" + "/div[1]" * 8 + "/span[1]")
    r = S._resolve_verify_spatial_text("right of Total", "5", [anchor, value_near])
    assert r["element"] is value_near   # 10 steps is still near


def test_element_anchors_by_text_then_by_aria_label():
    value = txt("42", (200, 200, 20, 20), xpath="/html[1]/body[1]/span[9]")
    by_label = el("", tag="input", box=(100, 200, 50, 20), aria__label=" Quantity ")
    r = S._resolve_verify_spatial_text("right of quantity", "42", [value], [by_label])
    assert r["element"] is value and r["verified"] is True
    r = S._resolve_verify_spatial_text("right of quantity", "42", [], [by_label])
    assert r["element"] is by_label and r["resolved"] is True and r["verified"] is False
    wide = el("", tag="input", box=(0, 100, 500, 200), aria__label="Quantity")
    r = S._resolve_verify_spatial_text("right of quantity", "42", [], [wide, by_label])
    assert r["element"] is by_label   # of two labelled anchors, the smaller box
    text_wins = el("quantity", tag="button", box=(0, 0, 900, 900))
    r = S._resolve_verify_spatial_text("right of quantity", "42", [], [by_label, text_wins])
    assert r["element"] is text_wins  # an element's text is tried before any aria-label
    unplaced = dict(by_label, xpath="")
    r = S._resolve_verify_spatial_text("right of quantity", "42", [value], [unplaced])
    assert r["state"]["actual"] == "anchor 'quantity' not found"


@pytest.mark.parametrize("expected, actual, verified", [
    ("$29.00", "29.00 USD", True),
    ("29.00 USD", "$29.00", True),
    ("$1,299.00", "1299.00", True),
    ("€5", "£5", True),
    ("", "anything", False),
    ("$,", "anything", False),
    ("30.00", "29.00", False),
])
def test_amounts_compare_loosely(expected, actual, verified):
    anchor = txt("Total", (100, 200, 50, 20))
    value = txt(actual, (200, 200, 20, 20), xpath="/html[1]/body[1]/div[1]/span[2]")
    r = S._resolve_verify_spatial_text("right of Total", expected, [anchor, value])
    assert r["verified"] is verified and r["state"]["actual"] == actual


def test_an_anchor_without_a_full_box_raises_key_error():
    anchor = txt("Total")
    del anchor["bounding_box"]["width"]
    with pytest.raises(KeyError) as err:
        S._resolve_verify_spatial_text("right of Total", "1", [anchor])
    assert err.value.args == ("width",)


# ---------------------------------------------------------------------------
# Any record: a result, TypeError or KeyError, never a crash
# ---------------------------------------------------------------------------

scalars = (st.none() | st.booleans() | st.integers() | st.floats()
           | st.text(st.characters(blacklist_categories=())) | st.binary(max_size=4))
values = st.recursive(scalars, lambda inner: st.lists(inner, max_size=3)
                      | st.dictionaries(st.text(max_size=6), inner, max_size=3), max_leaves=8)
box_values = st.one_of(values, st.fixed_dictionaries(
    {}, optional={k: values | st.floats(allow_nan=True) | st.integers()
                  for k in ("x", "y", "width", "height")}))
attributes = st.one_of(values, st.dictionaries(
    st.sampled_from(["aria-label", "_label", "placeholder", "data-testid", "type", "alt", "class",
                     "id", "role", "data-cart-icon", "data-\udc80x", 3]) | st.text(max_size=8),
    st.text(max_size=12) | values, max_size=6))
texts_ = st.text(max_size=12) | st.sampled_from(["Total", "Login", "right of Total", "Über"])
records = st.fixed_dictionaries({}, optional={
    "tag": st.sampled_from(["span", "input", "select", "button", "div"]) | values,
    "text": texts_ | values,
    "attributes": attributes,
    "bounding_box": box_values,
    "is_visible": values, "is_enabled": values, "is_editable_field": values,
    "xpath": st.sampled_from(["/html[1]/body[1]/span[1]", "/html/body/div", ""]) | values,
})
record_lists = st.lists(records | values, max_size=5)
actions = st.sampled_from([
    "click", "type", "select", "hover", "extract_text", "extract_text_spatial", "find_text",
    "find_exact_text", "verify_present", "verify_visible", "verify_enabled", "verify_disabled",
    "verify_text_present", "verify_text_visible", "verify_spatial_text", ""]) | values
targets = st.sampled_from(["Total", "right of Total", "below the Login", "login button", ""]) \
    | st.text(max_size=10) | values
instructions = st.fixed_dictionaries({}, optional={
    "action": actions, "target": targets, "value": targets,
    "ordinal": st.integers() | values})


def _outcome(call):
    try:
        return call()
    except (TypeError, KeyError):
        return None


def _check_result(result, *lists):
    if result is None:
        return
    assert type(result) is dict
    assert list(result) in (KEYS_4, KEYS_VERIFY, KEYS_EXTRACT)
    assert result["confidence"] == (1.0 if result["resolved"] else 0.0)
    pool = [r for lst in lists if isinstance(lst, list) for r in lst]
    if result["element"] is not None:
        assert any(result["element"] is r for r in pool)
    for c in result["candidates"]:
        assert any(c is r for r in pool)


@settings(max_examples=300, deadline=None)
@given(instruction=instructions | values, dom=record_lists | values,
       texts=record_lists | values, target=targets, action=actions, element=records | values,
       label=values)
def test_random_records_never_crash(instruction, dom, texts, target, action, element, label):
    _check_result(_outcome(lambda: S.resolve(instruction, dom, texts)), dom, texts)
    _check_result(_outcome(lambda: S.resolve(instruction, dom)), dom)
    for method in (S._resolve_find_text, S._resolve_find_exact_text):
        _check_result(_outcome(lambda: method(target, texts)), texts)
    for method in (S._resolve_verify, S._resolve_verify_text):
        _check_result(_outcome(lambda: method(action, target, dom)), dom)
    _check_result(_outcome(lambda: S._resolve_verify_spatial_text(target, target, texts, dom)),
                  texts, dom)
    _check_result(_outcome(lambda: S._resolve_extract_spatial_text(target, texts, dom)),
                  texts, dom)
    _outcome(lambda: tms._strip_type_descriptors(target))
    _outcome(lambda: tms._searchable_strings(element, include_label=label))
    _outcome(lambda: tms._matches_element(target, element, label))
    _outcome(lambda: tms._exact_matches_element(target, element, include_label=label))
    _outcome(lambda: tms._dom_distance(target, action))
    _outcome(lambda: tms._filter_by_action(action, dom))


def test_deeply_nested_records_are_read_without_trouble():
    deep = {}
    for _ in range(10_000):
        deep = {"attributes": deep, "text": [deep]}
    page = [deep, {"text": "Go", "is_visible": True, "bounding_box": {"x": math.nan, "y": 1}},
            {"text": "Go now", "is_visible": True, "bounding_box": {"x": 1, "y": math.inf}}]
    r = S.resolve(step("click", "go", ordinal=1), page)
    assert r["element"] is page[1]
    r = S.resolve(step("click", "g", ordinal=1), page)
    assert same(r["candidates"], [page[1], page[2]])
