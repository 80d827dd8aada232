"""The nearest-candidate measure is difflib's, character for character."""

from difflib import SequenceMatcher

from hypothesis import given, settings
from hypothesis import strategies as st

from marrowlane_web._core.nearest import best_closeness

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
