"""The nearest candidates: difflib's measure, character for character, and the names they go by."""

from difflib import SequenceMatcher

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from marrowlane_web._agent.messages import name_of, nearest_records
from marrowlane_web._core.nearest import best_closeness
from marrowlane_web._core.nearest import name_of as core_name_of

# Few letters, so that matches, repeats and (past 200 characters) popular
# letters are common; one letter outside the BMP and one non-ASCII.
TEXT = st.text(alphabet="abc é\U0001F600", max_size=30) | st.text(alphabet="ab x", min_size=200,
                                                                      max_size=400)


def difflib_closeness(want, names):
    return max((SequenceMatcher(None, want, s).ratio() + (0.5 if want and (want in s or s in want) else 0)
                for s in names), default=-1.0)


@settings(max_examples=300, deadline=None)
@given(TEXT, st.lists(TEXT, max_size=4))
def test_closeness_is_difflibs(want, names):
    assert best_closeness(want, names) == difflib_closeness(want, names)


# Records whose names are easy to get wrong: not a record, a dropdown, blank or
# multi-line text, a long text, non-ASCII, values that are not text.
TRICKY = [
    "not a record", None,
    {"tag": "select", "text": "One\nTwo", "attributes": {"_label": "Size"}},
    {"text": " \t ", "attributes": {"id": "go"}},
    {"text": "  Log \t in\u2028later"},
    {"text": "abcd" + " abcde" * 11},
    {"text": "Crème brûlée", "is_visible": True},
    {"text": 5, "attributes": {"title": "Five", "value": None}},
    {"text": "\ud800 lone", "attributes": "not attributes"},
]


@pytest.mark.parametrize("record", TRICKY)
def test_the_core_names_a_record_as_messages_do(record):
    assert core_name_of(record) == name_of(record)


@pytest.mark.parametrize("want, limit, expected", [
    ("LOG IN", 3, ["Log in", "\ud800 lone", "Size"]),
    ("crème", 1, ["Crème brûlée"]),
    ("five", 0, ["Five", "Size", "Log in", "\ud800 lone", "Crème brûlée",
                 "abcd abcde abcde abcde abcde abcde abcde abcde abcde abcde …", "go"]),
])
def test_nearest_records_are_the_callers_own_best_first(want, limit, expected):
    chosen = nearest_records(want, TRICKY, limit)
    assert [name_of(r) for r in chosen] == expected
    assert all(any(r is t for t in TRICKY) for r in chosen)
