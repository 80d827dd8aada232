"""The spatial matrix through its Python face: entries, kinds, order and identity."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from marrowlane_web.engine.spatial import grid_builder
from marrowlane_web.engine.spatial.grid_builder import (
    GridBuilder, _TAG_TO_TYPE, _element_type, _position, _searchable)

ENTRY_KEYS = ["index", "tag", "element_type", "text", "label", "searchable", "is_enabled",
              "is_anchor_only", "order_in_type", "position", "element"]
POSITION_KEYS = ["x", "y", "w", "h", "cx", "cy", "x2", "y2"]


class Record(dict):
    pass


class Items(list):
    pass


def element(tag="button", text="", x=0, y=0, w=10, h=10, **attributes):
    return {"tag": tag, "text": text, "attributes": attributes,
            "bounding_box": {"x": x, "y": y, "width": w, "height": h},
            "is_visible": True, "is_enabled": True, "xpath": f"/html[1]/body[1]/{tag}[1]"}


def text_element(text, x=0, y=0, w=10, h=10):
    return {"tag": "span", "text": text, "has_direct_text": True, "attributes": {},
            "bounding_box": {"x": x, "y": y, "width": w, "height": h},
            "is_visible": True, "is_enabled": False, "xpath": "/html[1]/body[1]/span[1]"}


def test_module_tables_and_docstrings():
    assert grid_builder.__doc__ == (
        "Constructs a spatial matrix of DOM elements sorted in natural reading order.")
    assert list(_TAG_TO_TYPE.items()) == [
        ("a", "link"), ("button", "button"), ("input", "input"), ("select", "select"),
        ("textarea", "input")]
    assert _element_type.__doc__ == (
        "Return a normalised element type from tag, role, and input type attribute.")
    assert _position.__doc__ == "Build the full position dict from a bounding box."
    assert _searchable.__doc__ == (
        "Concatenate all human-readable surfaces into one string for anchor matching.")
    assert GridBuilder.__init__.__doc__ == (
        "Store interactable and optional text elements for matrix construction.")
    for key in ENTRY_KEYS:
        assert key in GridBuilder.build.__doc__


@pytest.mark.parametrize("record, expected", [
    ({"tag": "input", "attributes": {"type": "submit"}}, "button"),
    ({"tag": "input", "attributes": {"type": "button"}}, "button"),
    ({"tag": "input", "attributes": {"type": "reset"}}, "button"),
    ({"tag": "input", "attributes": {"type": "checkbox"}}, "input"),
    ({"tag": "input", "attributes": {"type": "radio", "role": "radio"}}, "input"),
    ({"tag": "textarea"}, "input"),
    ({"tag": "select"}, "select"),
    ({"tag": "a"}, "link"),
    ({"tag": "span"}, "span"),
    ({}, ""),
    ({"tag": "a", "attributes": {"role": "button"}}, "button"),
    ({"tag": "input", "attributes": {"role": "textbox", "type": "submit"}}, "textbox"),
    ({"tag": "div", "attributes": {"role": "combobox"}}, "combobox"),
    ({"tag": "a", "attributes": {"role": "Button"}}, "link"),
    ({"tag": "div", "attributes": {"role": "tab"}}, "div"),
])
def test_element_type(record, expected):
    assert _element_type(record) == expected


@pytest.mark.parametrize("box, expected", [
    ({"x": 10, "y": 20, "width": 5, "height": 4},
     {"x": 10, "y": 20, "w": 5, "h": 4, "cx": 12.5, "cy": 22.0, "x2": 15, "y2": 24}),
    ({"x": 10, "y": 20, "height": 4},
     {"x": 10, "y": 20, "w": 0, "h": 4, "cx": 10.0, "cy": 22.0, "x2": 10, "y2": 24}),
    ({"x": 1.5, "y": 2, "width": 3, "height": 4.25},
     {"x": 1.5, "y": 2, "w": 3, "h": 4.25, "cx": 3.0, "cy": 4.125, "x2": 4.5, "y2": 6.25}),
    ({"width": 7}, {"x": 0, "y": 0, "w": 7, "h": 0, "cx": 3.5, "cy": 0.0, "x2": 7, "y2": 0}),
    ({"x": 2**53 + 1, "y": 0, "width": 2, "height": 0},
     {"x": 2**53 + 1, "y": 0, "w": 2, "h": 0, "cx": (2**53 + 1) + 2 / 2, "cy": 0.0,
      "x2": 2**53 + 3, "y2": 0}),
])
def test_position_keeps_number_kinds(box, expected):
    position = _position(box)
    assert list(position) == POSITION_KEYS
    assert position == expected
    # The kinds matter too: x2/y2 stay int for int inputs, centres are floats.
    assert [type(v) for v in position.values()] == [type(v) for v in expected.values()]


def test_position_passes_coordinates_through():
    x = 10.25
    assert _position({"x": x})["x"] is x
    assert _position({"x": True, "width": 2}) == {
        "x": True, "y": 0, "w": 2, "h": 0, "cx": 2.0, "cy": 0.0, "x2": 3, "y2": 0}


@pytest.mark.parametrize("record, expected", [
    ({"text": "Save", "attributes": {"_label": "Save", "name": "save-btn"}}, "Save Save save-btn"),
    ({"text": "", "attributes": {}}, ""),
    ({}, ""),
    ({"text": " Go ", "attributes": {"aria-label": "Start", "placeholder": "x "}}, "Go  Start x"),
    ({"attributes": {"placeholder": "Email", "name": "email", "id": "e"}}, "Email email"),
])
def test_searchable(record, expected):
    assert _searchable(record) == expected


@pytest.mark.parametrize("call, message", [
    (lambda: _element_type(None), "Argument 'element' has incorrect type (expected dict, got NoneType)"),
    (lambda: _searchable(Record()), "Argument 'element' has incorrect type (expected dict, got Record)"),
    (lambda: _position([1]), "Argument 'bb' has incorrect type (expected dict, got list)"),
    (lambda: GridBuilder(()), "Argument 'dom_elements' has incorrect type (expected list, got tuple)"),
    (lambda: GridBuilder(Items()), "Argument 'dom_elements' has incorrect type (expected list, got Items)"),
    (lambda: GridBuilder([], ()), "Argument 'text_elements' has incorrect type (expected list, got tuple)"),
    # A truthy box that is no record fails where the position is built.
    (lambda: GridBuilder([{"bounding_box": [1, 2]}]).build(),
     "Argument 'bb' has incorrect type (expected dict, got list)"),
])
def test_argument_kinds(call, message):
    with pytest.raises(TypeError) as err:
        call()
    assert str(err.value) == message


def test_non_numbers_in_a_box_are_refused():
    with pytest.raises(TypeError, match="'width'"):
        _position({"x": 1, "width": "10"})
    with pytest.raises(OverflowError):
        _position({"x": 2**70})


def test_constructor_keeps_the_lists():
    dom, texts = [element()], [text_element("Hi")]
    builder = GridBuilder(dom, texts)
    assert builder.dom_elements is dom and builder.text_elements is texts
    for empty in (None, []):
        builder = GridBuilder(dom, empty)
        assert builder.text_elements == [] and builder.text_elements is not empty
    builder = GridBuilder(dom_elements=dom, text_elements=None)
    assert builder.dom_elements is dom


def test_entries_hold_the_callers_records_in_key_order():
    dom = [element("input", "", 0, 50, _label="Email", placeholder="you@x", name="email"),
           element("button", "Go", 100, 50)]
    dom[1]["is_enabled"] = False
    texts = [text_element("Welcome", 0, 0)]
    texts[0]["is_enabled"] = False
    matrix = GridBuilder(dom, texts).build()
    assert [list(e) for e in matrix] == [ENTRY_KEYS] * 3
    assert [e["element"] for e in matrix] == [texts[0], dom[0], dom[1]]
    assert matrix[0]["element"] is texts[0] and matrix[2]["element"] is dom[1]
    welcome, field, go = matrix
    assert welcome == {
        "index": 0, "tag": "span", "element_type": "text", "text": "Welcome", "label": "",
        "searchable": "Welcome", "is_enabled": True, "is_anchor_only": True, "order_in_type": 1,
        "position": {"x": 0, "y": 0, "w": 10, "h": 10, "cx": 5.0, "cy": 5.0, "x2": 10, "y2": 10},
        "element": texts[0]}
    assert (field["element_type"], field["label"], field["searchable"]) == (
        "input", "Email", "Email you@x email")
    assert (go["is_enabled"], go["is_anchor_only"], go["index"]) == (False, False, 2)
    assert list(go["position"]) == POSITION_KEYS
    # Each build makes new entries around the same records.
    again = GridBuilder(dom, texts).build()
    assert again == matrix and again[0] is not matrix[0] and again[0]["element"] is texts[0]


def test_records_without_a_box_are_skipped():
    dom = [{"tag": "button"}, dict(element(), bounding_box=None), dict(element(), bounding_box={}),
           dict(element(), bounding_box=0), element("a", "kept"),
           {"attributes": 5, "bounding_box": None}]  # not read further
    texts = [{"text": "no box"}, dict(text_element("t"), bounding_box={})]
    matrix = GridBuilder(dom, texts).build()
    assert [e["element"] for e in matrix] == [dom[4]]


def test_reading_order_ties_and_ordinals():
    dom = [element("button", "B1", 0, 101),
           element("a", "L", 900, 100.5),
           element("button", "B2", 10, 100),
           element("button", "same-corner", 5, 5),
           element("a", "same-corner-2", 5, 5)]
    texts = [text_element("T", 5, 5), text_element("top", 500, 0)]
    matrix = GridBuilder(dom, texts).build()
    assert [e["text"] for e in matrix] == [
        "top", "same-corner", "same-corner-2", "T", "B2", "L", "B1"]
    assert [e["index"] for e in matrix] == list(range(7))
    assert [(e["element_type"], e["order_in_type"]) for e in matrix] == [
        ("text", 1), ("button", 1), ("link", 1), ("text", 2), ("button", 2), ("link", 2),
        ("button", 3)]


def test_missing_surfaces_read_as_empty_texts():
    dom = [{"bounding_box": {"x": 1, "y": 1}, "attributes": None, "text": None}]
    (entry,) = GridBuilder(dom).build()
    assert (entry["tag"], entry["text"], entry["label"], entry["searchable"]) == ("", "", "", "")
    assert (entry["element_type"], entry["is_enabled"]) == ("", True)


coordinates = st.one_of(st.integers(-500, 500), st.floats(-500, 500, allow_nan=False))
boxes = st.fixed_dictionaries({}, optional={
    "x": coordinates, "y": coordinates, "width": coordinates, "height": coordinates})
records = st.fixed_dictionaries({"bounding_box": st.one_of(st.none(), boxes)}, optional={
    "tag": st.sampled_from(["a", "button", "input", "div", "span"]),
    "text": st.text(max_size=8),
    "attributes": st.dictionaries(st.sampled_from(["role", "type", "_label", "name"]),
                                  st.text(max_size=6), max_size=3),
})


@settings(max_examples=150, deadline=None)
@given(dom=st.lists(records, max_size=12), texts=st.lists(records, max_size=6))
def test_built_matrices_keep_their_invariants(dom, texts):
    matrix = GridBuilder(dom, texts).build()
    boxed = [r for r in dom + texts if r["bounding_box"]]
    assert len(matrix) == len(boxed)
    keys = [(e["position"]["y"], e["position"]["x"]) for e in matrix]
    assert keys == sorted(keys)
    assert [e["index"] for e in matrix] == list(range(len(matrix)))
    counts = {}
    for e in matrix:
        counts[e["element_type"]] = counts.get(e["element_type"], 0) + 1
        assert e["order_in_type"] == counts[e["element_type"]]
        assert any(e["element"] is r for r in boxed)
        assert e["is_anchor_only"] == any(e["element"] is r for r in texts)
        p = e["position"]
        assert isinstance(p["cx"], float) and math.isclose(p["cx"], p["x"] + p["w"] / 2)
        assert p["x2"] == p["x"] + p["w"] and type(p["x2"]) is type(p["x"] + p["w"])
