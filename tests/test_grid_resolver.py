"""Spatial resolution through its Python face: parsing, anchors, geometry, result shapes."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from marrowlane_web.engine.spatial import grid_resolver
from marrowlane_web.engine.spatial.grid_builder import GridBuilder
from marrowlane_web.engine.spatial.grid_resolver import (
    GridResolver, NEAR_MAX_DOM_STEPS, NEAR_MAX_PIXELS, SPATIAL_TOLERANCE, _ORDINALS, _RELATIONS,
    _TYPE_KEYWORDS, _centre_distance, _dom_distance, _normalize, _overlaps_horizontally,
    _overlaps_vertically, _parse_target)

FAILURE = {"resolved": False, "confidence": 0.0, "element": None, "candidates": []}
RELATION_KEYS = ["resolved", "confidence", "element", "anchor_text", "ordinal", "type_relaxed",
                 "actual_type", "candidates"]
ORDINAL_KEYS = ["resolved", "confidence", "element", "candidates"]


class Record(dict):
    pass


def element(tag, text, x, y, w=80, h=20, xpath=None, **attributes):
    return {"tag": tag, "text": text, "attributes": attributes,
            "bounding_box": {"x": x, "y": y, "width": w, "height": h}, "is_visible": True,
            "is_enabled": True, "xpath": xpath or f"/html[1]/body[1]/form[1]/{tag}[{x // 10}]"}


def label(text, x, y, w=80, h=20):
    return {"tag": "label", "text": text, "has_direct_text": True, "attributes": {},
            "bounding_box": {"x": x, "y": y, "width": w, "height": h}, "is_visible": True,
            "is_enabled": True, "xpath": f"/html[1]/body[1]/form[1]/label[{y // 10}]"}


def resolver(dom, texts=()):
    return GridResolver(GridBuilder(dom, list(texts)).build())


def test_module_tables_constants_and_docstrings():
    assert grid_resolver.__doc__ == "Resolves relational instructions against the spatial matrix."
    assert list(_RELATIONS.items()) == [
        ("next to", "next_to"), ("below", "below"), ("under", "below"), ("above", "above"),
        ("left of", "left"), ("right of", "right"), ("near", "near")]
    assert list(_ORDINALS.items()) == [
        ("first", 1), ("second", 2), ("third", 3), ("fourth", 4), ("fifth", 5),
        ("1st", 1), ("2nd", 2), ("3rd", 3), ("4th", 4), ("5th", 5)]
    assert list(_TYPE_KEYWORDS.items()) == [
        ("button", "button"), ("btn", "button"), ("link", "link"), ("anchor", "link"),
        ("input", "input"), ("field", "input"), ("textbox", "input"), ("select", "select"),
        ("dropdown", "select")]
    assert (SPATIAL_TOLERANCE, NEAR_MAX_PIXELS, NEAR_MAX_DOM_STEPS) == (40, 300, 10)
    assert GridResolver.__doc__ == (
        "Finds elements using spatial relationships \u2014 proximity, direction, ordinal.")
    assert GridResolver.__init__.__doc__ == "Store the pre-built spatial matrix."
    assert GridResolver._rank.__doc__ == (
        "Filter candidates by geometric rule and sort by closeness to anchor.")
    assert GridResolver._find_anchor.__doc__.startswith(
        "Find the matrix entry whose text exactly matches the anchor (case-insensitive).")
    assert _parse_target.__doc__.startswith(
        "Break a relational target into (anchor, relation, type_filter, ordinal, search_text, "
        "target_text).")
    assert _normalize.__doc__ == (
        "Lowercase and remove spaces for fuzzy matching \u2014 'login' matches 'Log in'.")
    assert _centre_distance.__doc__ == (
        "Euclidean distance between the centres of two matrix entries.")
    assert _overlaps_vertically.__doc__ == (
        "Return True if the Y extents of two entries overlap within SPATIAL_TOLERANCE.")
    assert _overlaps_horizontally.__doc__ == (
        "Return True if the X extents of two entries overlap within SPATIAL_TOLERANCE.")


@pytest.mark.parametrize("target, expected", [
    ("button next to login", ("login", "next_to", "button", None, None, None)),
    ("second login", (None, None, None, 2, "login", None)),
    ("first input", (None, None, "input", 1, None, None)),
    ("Add to cart near Blue Backpack", ("blue backpack", "near", None, None, None, "add to cart")),
    ("2nd button next to Email", ("email", "next_to", "button", 2, None, None)),
    ("link under the header image", ("header image", "below", "link", None, None, None)),
    ("the field below the login button",
     ("login button", "below", "button", None, None, "the field")),
    ("2nd login button", (None, None, "button", 2, "login", None)),
    ("nearby button", ("by button", "near", "button", None, None, None)),
    ("button near", ("", "near", "button", None, None, None)),
    ("first button near", ("", "near", "button", 1, None, None)),
    ("third", (None, None, None, 3, None, None)),
    ("sixth button", (None, None, "button", None, None, None)),
    # Longer keywords win; keywords match inside words; two spaces break one.
    ("link right of next to x", ("next to x", "right", "link", None, None, None)),
    ("aboveground link", ("ground link", "above", "link", None, None, None)),
    ("button next  to save", (None, None, "button", None, None, None)),
    ("SECOND Save\u00a0Button", (None, None, "button", 2, "save", None)),
    # Articles leave the anchor once each, in the order the, a, an.
    ("x above the a y", ("y", "above", None, None, None, "x")),
    ("x above a the y", ("the y", "above", None, None, None, "x")),
    ("x above them", ("them", "above", None, None, None, "x")),
    ("", (None, None, None, None, None, None)),
])
def test_parse_target(target, expected):
    assert _parse_target(target) == expected
    assert type(_parse_target(target)) is tuple


@pytest.mark.parametrize("text, expected", [
    ("Log In", "login"), ("log-in", "login"), ("LOGIN", "login"),
    ("e-mail address", "emailaddress"), ("tab\there", "tab\there"), ("", "")])
def test_normalize(text, expected):
    assert _normalize(text) == expected


def entry(x, y, w, h, **extra):
    position = {"x": x, "y": y, "w": w, "h": h, "cx": x + w / 2, "cy": y + h / 2,
                "x2": x + w, "y2": y + h}
    return {"index": 0, "element_type": "button", "text": "", "searchable": "",
            "position": position, **extra}


def test_geometry():
    a = entry(0, 100, 50, 20)
    assert _overlaps_vertically(a, entry(0, 150, 50, 20)) is True
    assert _overlaps_vertically(a, entry(0, 160, 50, 20)) is False
    assert _overlaps_vertically(entry(0, 160, 50, 20), a) is False
    side = entry(150, 100, 50, 20)
    assert (_overlaps_vertically(a, side), _overlaps_horizontally(a, side)) == (True, False)
    assert _overlaps_horizontally(a, entry(89, 0, 10, 10)) is True
    distance = _centre_distance(entry(-1, -1, 2, 2), entry(2, 3, 2, 2))
    assert distance == 5.0 and type(distance) is float
    # Integer centres of hand-made entries work as well.
    assert _centre_distance({"position": {"cx": 0, "cy": 0}},
                            {"position": {"cx": 3, "cy": 4}}) == 5.0


@pytest.mark.parametrize("a, b, expected", [
    ("/html/body/div/a", "/html/body/div/button", 2),
    ("/html/body/div", "/html/body/div", 0),
    ("", "", 0),
    ("", "/html/body", 3),
    ("/html/body/div[1]/span", "/html/body/div[2]/span", 2),
])
def test_dom_distance(a, b, expected):
    assert _dom_distance(a, b) == expected


def test_find_anchor_prefers_text_then_attributes_then_prefixes():
    login_text = label("Login", 0, 0)
    login_button = element("button", "Login", 0, 40)
    email = element("input", "", 0, 80, placeholder="Email")
    r = resolver([login_button, email], [login_text])
    assert r._find_anchor("login")["element"] is login_button
    assert r._find_anchor("email")["element"] is email
    assert r._find_anchor("nothing") is None
    # The text match wins over the placeholder match.
    heading = label("Email", 0, 200)
    assert resolver([email], [heading])._find_anchor("email")["element"] is heading

    save_changes, save = element("button", "Save changes", 0, 0), element("button", "Save", 0, 40)
    assert resolver([save_changes, save])._find_anchor("save")["element"] is save
    big = element("button", "Save changes", 0, 0, w=100)
    small = element("button", "Save copy", 0, 40, w=50)
    assert resolver([big, small])._find_anchor("save")["element"] is small
    copy = element("button", "Save copy", 0, 40)
    assert resolver([save_changes, copy])._find_anchor("save")["element"] is save_changes
    total = label("total(3)", 0, 0)
    assert resolver([element("a", "Totals", 0, 40)], [total])._find_anchor("total")[
        "element"] is total


@pytest.fixture
def form():
    """A row with the Email label, its field and two buttons; a far button; a name row."""
    email_label = label("Email", 0, 100)
    email = element("input", "", 100, 100, w=200, placeholder="you@example.com")
    check = element("button", "Check", 320, 100)
    clear = element("button", "Clear", 420, 105)
    far = element("button", "Far away", 900, 300)
    name_label = label("Name", 0, 400)
    submit = element("button", "Submit", 0, 460)
    dom = [email, check, clear, far, submit]
    texts = [email_label, name_label]
    return {"dom": dom, "texts": texts, "email": email, "check": check, "clear": clear,
            "far": far, "submit": submit, "matrix": GridBuilder(dom, texts).build()}


def test_relation_result_shape_and_identity(form):
    r = GridResolver(form["matrix"])
    assert r.matrix is form["matrix"]
    result = r.resolve({"action": "click", "target": "button next to Email"})
    assert list(result) == RELATION_KEYS
    assert result == {"resolved": True, "confidence": 1.0, "element": form["check"],
                      "anchor_text": "Email", "ordinal": 1, "type_relaxed": False,
                      "actual_type": "button", "candidates": [form["check"]]}
    assert result["element"] is form["check"] and result["candidates"][0] is form["check"]

    second = r.resolve({"target": "2nd button next to Email"})
    assert second["element"] is form["clear"] and second["candidates"] == [form["clear"]]
    assert second["ordinal"] == 2
    # Two buttons stand in the row: the third is found only once the type is
    # dropped, counting the field as well.
    third = r.resolve({"target": "3rd button next to Email"})
    assert (third["element"], third["type_relaxed"], third["actual_type"]) == (
        form["clear"], True, "button")
    assert r.resolve({"target": "4th button next to Email"}) == FAILURE


def test_type_relaxed_when_the_type_stands_nowhere(form):
    result = GridResolver(form["matrix"]).resolve({"target": "field below Name"})
    assert (result["element"], result["type_relaxed"], result["actual_type"]) == (
        form["submit"], True, "button")
    untyped = GridResolver(form["matrix"]).resolve({"target": "below Name"})
    assert (untyped["type_relaxed"], untyped["actual_type"]) == (False, None)


def test_text_entries_are_anchors_never_answers():
    heading = label("Welcome", 0, 0)
    note = label("note", 200, 0)
    r = resolver([element("button", "Go", 0, 300)], [heading, note])
    assert r.resolve({"target": "next to Welcome"}) == FAILURE
    result = r.resolve({"target": "button below welcome"})
    assert result["element"]["text"] == "Go"


def test_ordinal_shape_and_exact_preference():
    login1 = element("button", "Login", 0, 0)
    google = element("button", "Login with Google", 0, 40)
    login2 = element("button", "Login", 0, 80)
    link = element("a", "Log-in help", 0, 120)
    r = resolver([login1, google, login2, link], [label("Login", 300, 0)])
    second = r.resolve({"target": "second login"})
    assert list(second) == ORDINAL_KEYS
    assert second["element"] is login2 and second["candidates"] == [login1, login2]
    third = r.resolve({"target": "third login"})
    assert third["element"] is login2
    assert [c["text"] for c in third["candidates"]] == [
        "Login", "Login with Google", "Login", "Log-in help"]
    assert r.resolve({"target": "first link"})["element"] is link
    assert r.resolve({"target": "first button near"})["element"] is login1
    for target in ["login", "sixth button", "fifth login", ""]:
        assert r.resolve({"target": target}) == FAILURE, target
    # Only the ordinal word inside the target counts, not the instruction's own key.
    assert r.resolve({"target": "login", "ordinal": 2}) == FAILURE
    assert r.resolve({}) == FAILURE
    assert r._resolve_ordinal(2, "button")["element"] is google
    assert r._resolve_ordinal(1, None, "google")["element"] is google


@pytest.mark.parametrize("ordinal", [0, -1, -10**30, 10**30])
def test_ordinals_out_of_range_find_nothing(ordinal):
    r = resolver([element("button", "A", 0, 0), element("button", "B", 0, 40)])
    assert r._resolve_ordinal(ordinal, None) == FAILURE
    candidates = r.matrix[1:]
    assert r._rank(candidates, r.matrix[0], "below", ordinal) == []


def test_near_ranks_by_distance_within_both_limits():
    blue = label("Blue Backpack", 0, 0, w=100)
    near_cart = element("button", "Add to cart", 0, 40, xpath="/html/body/div[1]/button")
    other_cart = element("button", "Add to cart", 250, 0, xpath="/html/body/div[2]/button")
    wishlist = element("button", "Wishlist", 0, 30, xpath="/html/body/div[1]/a")
    far_cart = element("button", "Add to cart", 0, 400)
    r = resolver([near_cart, other_cart, wishlist, far_cart], [blue])
    result = r.resolve({"target": "Add to cart near Blue Backpack"})
    assert result["element"] is near_cart
    assert result["candidates"] == [near_cart, other_cart]
    # The words before the relation are ignored when they match nothing.
    result = r.resolve({"target": "nothing like this near blue backpack"})
    assert result["candidates"] == [wishlist, near_cart, other_cart]


def test_rank_and_anchor_return_the_callers_entries(form):
    r = GridResolver(form["matrix"])
    anchor = r._find_anchor("email")
    assert anchor is form["matrix"][0]
    ranked = r._rank(form["matrix"], anchor, "right", None)
    assert [e["element"] for e in ranked] == [form["email"], form["check"], form["clear"]]
    assert ranked[1] is form["matrix"][2]
    assert r._rank(form["matrix"], anchor, "diagonal", None) == []
    assert r._rank([], anchor, None, 1) == []


@pytest.mark.parametrize("call, message", [
    (lambda r: GridResolver(()), "Argument 'matrix' has incorrect type (expected list, got tuple)"),
    (lambda r: r.resolve(Record()),
     "Argument 'parsed_instruction' has incorrect type (expected dict, got Record)"),
    (lambda r: r.resolve({"target": None}),
     "Argument 'target' has incorrect type (expected str, got NoneType)"),
    (lambda r: r.resolve({"target": 5}),
     "Argument 'target' has incorrect type (expected str, got int)"),
    (lambda r: r._find_anchor(None),
     "Argument 'anchor_text' has incorrect type (expected str, got NoneType)"),
    (lambda r: r._rank((), {}, None, None),
     "Argument 'candidates' has incorrect type (expected list, got tuple)"),
    (lambda r: r._rank([], [], None, None),
     "Argument 'anchor' has incorrect type (expected dict, got list)"),
    (lambda r: r._rank([], {}, 1, None),
     "Argument 'strategy' has incorrect type (expected str, got int)"),
    (lambda r: r._rank([], {}, None, True),
     "Argument 'ordinal' has incorrect type (expected int, got bool)"),
    (lambda r: r._resolve_ordinal(None, None),
     "Argument 'ordinal' has incorrect type (expected int, got NoneType)"),
    (lambda r: r._resolve_ordinal(1, b"button"),
     "Argument 'type_filter' has incorrect type (expected str, got bytes)"),
    (lambda r: r._resolve_ordinal(1, None, 3),
     "Argument 'search_text' has incorrect type (expected str, got int)"),
    (lambda r: _parse_target(None), "Argument 'target' has incorrect type (expected str, got NoneType)"),
    (lambda r: _normalize(b"x"), "Argument 'text' has incorrect type (expected str, got bytes)"),
    (lambda r: _centre_distance({}, None), "Argument 'b' has incorrect type (expected dict, got NoneType)"),
    (lambda r: _overlaps_vertically([], {}), "Argument 'a' has incorrect type (expected dict, got list)"),
    (lambda r: _overlaps_horizontally({}, 1), "Argument 'b' has incorrect type (expected dict, got int)"),
    (lambda r: _dom_distance("/a", None),
     "Argument 'xpath_b' has incorrect type (expected str, got NoneType)"),
])
def test_argument_kinds(call, message):
    with pytest.raises(TypeError) as err:
        call(GridResolver([]))
    assert str(err.value) == message


def test_missing_entry_keys_raise_key_errors():
    with pytest.raises(KeyError, match="position"):
        _centre_distance({}, {})
    with pytest.raises(KeyError, match="y2"):
        _overlaps_vertically(entry(0, 0, 1, 1), {"position": {"y": 0}})
    matrix = GridBuilder([element("button", "Go", 0, 0), element("a", "Help", 0, 40)]).build()
    del matrix[1]["index"]
    with pytest.raises(KeyError, match="index"):
        GridResolver(matrix).resolve({"target": "link below go"})
    del matrix[0]["text"]
    with pytest.raises(KeyError, match="text"):
        GridResolver(matrix).resolve({"target": "second help"})


words = st.sampled_from(["button", "link", "field", "near", "next to", "below", "under",
                         "above", "left of", "right of", "first", "2nd", "third", "the", "a",
                         "login", "Email", "Name", "Save", "go", "nearby", "  ", "(", "-"])
targets = st.lists(words, max_size=6).map(" ".join) | st.text(max_size=20)
coordinates = st.integers(-50, 600) | st.floats(-50, 600, allow_nan=False)
records = st.builds(
    lambda tag, text, x, y, w, h, placeholder: {
        "tag": tag, "text": text, "attributes": {"placeholder": placeholder},
        "bounding_box": {"x": x, "y": y, "width": w, "height": h},
        "xpath": f"/html/body/div[{int(abs(x)) % 3}]/{tag}"},
    st.sampled_from(["a", "button", "input", "select", "label"]),
    st.sampled_from(["", "Login", "login here", "Email", "Save", "Name", "Go"]),
    coordinates, coordinates, coordinates, coordinates,
    st.sampled_from(["", "Email", "Name"]))


@settings(max_examples=300, deadline=None)
@given(dom=st.lists(records, max_size=10), texts=st.lists(records, max_size=4), target=targets)
def test_any_target_over_any_matrix_answers(dom, texts, target):
    matrix = GridBuilder(dom, texts).build()
    result = GridResolver(matrix).resolve({"target": target})
    if not result["resolved"]:
        assert result == FAILURE
        return
    assert list(result) in (RELATION_KEYS, ORDINAL_KEYS)
    assert any(result["element"] is r for r in dom)
    assert all(any(c is r for r in dom) for c in result["candidates"])


entries = st.fixed_dictionaries({}, optional={
    "index": st.integers(0, 3) | st.none(), "element_type": st.sampled_from(["button", "text"]),
    "text": st.sampled_from(["Go", "go on", ""]), "searchable": st.just("Go"),
    "is_anchor_only": st.booleans(),
    "position": st.fixed_dictionaries({}, optional={
        k: coordinates for k in ["x", "y", "w", "h", "cx", "cy", "x2", "y2"]}),
    "element": st.just({"xpath": "/html/body"})})


@settings(max_examples=300, deadline=None)
@given(matrix=st.lists(entries, max_size=6), target=targets)
def test_hand_made_entries_answer_or_name_the_missing_key(matrix, target):
    try:
        result = GridResolver(matrix).resolve({"target": target})
    except KeyError:
        return
    assert result["resolved"] in (True, False)
