"""Relational and ordinal targets end to end: a form in Chromium, read by the page
scanner, built into the spatial matrix and resolved."""

import pytest

page_scanner = pytest.importorskip("marrowlane_web.engine.browser.page_scanner")

from marrowlane_web.engine.spatial.grid_builder import GridBuilder  # noqa: E402
from marrowlane_web.engine.spatial.grid_resolver import GridResolver  # noqa: E402

FORM = """<!doctype html>
<html><head><style>
  body { margin: 0; font: 16px sans-serif; }
  .row { display: flex; align-items: center; gap: 16px; height: 40px; margin: 30px 10px; }
  label { width: 80px; }
  input { width: 200px; }
  button { width: 100px; }
  .cards { display: flex; gap: 200px; margin: 40px 10px; }
  .card { width: 220px; }
</style></head>
<body>
  <form>
    <div class="row">
      <label for="email">Email</label>
      <input id="email" name="email" placeholder="you@example.com">
      <button type="button" id="verify">Verify</button>
      <button type="button" id="clear">Clear</button>
    </div>
    <div class="row">
      <label for="name">Name</label>
      <input id="name" name="name">
    </div>
    <div class="row"><button type="button" id="continue">Continue</button></div>
  </form>
  <div class="cards">
    <div class="card"><h3>Blue Backpack</h3><p>$29.99</p>
      <button id="cart-blue">Add to cart</button></div>
    <div class="card"><h3>Red Shirt</h3><p>$15.99</p>
      <button id="cart-red">Add to cart</button></div>
  </div>
  <div class="row">
    <button id="login-1">Login</button>
    <button id="login-google">Login with Google</button>
    <button id="login-2">Login</button>
  </div>
</body></html>
"""


@pytest.fixture(scope="module")
def resolve(browser):
    """Reads the form once; every test resolves its targets over the same matrix."""
    context = browser.new_context()
    try:
        page = context.new_page()
        page.set_content(FORM)
        elements, texts = page_scanner.PageScanner(page).extract_interactable_elements()
    finally:
        context.close()
    resolver = GridResolver(GridBuilder(elements, texts).build())

    def resolve_(target):
        result = resolver.resolve({"action": "click", "target": target})
        if result["resolved"]:
            # The resolver hands back the scanner's own records.
            assert any(result["element"] is e for e in elements)
        return result

    return resolve_


def element_id(result):
    assert result["resolved"], result
    return result["element"]["attributes"].get("id")


@pytest.mark.parametrize("target, expected_id", [
    ("button next to Email", "verify"),
    ("2nd button next to Email", "clear"),
    ("field next to Name", "name"),
    ("Add to cart near Blue Backpack", "cart-blue"),
    ("Add to cart near red shirt", "cart-red"),
    ("second login", "login-2"),
    ("third login", "login-2"),
    ("first button", "verify"),
])
def test_targets_resolve_to_the_expected_element(resolve, target, expected_id):
    assert element_id(resolve(target)) == expected_id


def test_a_missing_type_is_relaxed(resolve):
    result = resolve("field below Name")
    assert element_id(result) == "continue"
    assert (result["type_relaxed"], result["actual_type"]) == (True, "button")


def test_targets_that_name_nothing_fail_quietly(resolve):
    for target in ["button next to Nowhere", "sixth button", "login", "fourth login"]:
        assert resolve(target) == {
            "resolved": False, "confidence": 0.0, "element": None, "candidates": []}, target
