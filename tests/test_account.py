"""What a step acted on and why, in Chromium: picks on the demo shop and on real
pages say the right thing, `locate` finds without acting, failures outline
what they meant, and the debug switch keeps a picture of every step."""

import base64
import pathlib
import re

import pytest

pytest.importorskip("playwright.sync_api")

from marrowlane_web import WebAgent  # noqa: E402
from marrowlane_web.harness.reporter import MarrowlaneReporter  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[1]
SHOP = ROOT / "examples" / "site"
HELIUM = ROOT.parent / "shared" / "realpages" / "helium"
AGENT_PAGE = ROOT / "tests" / "pages_agent" / "shop.html"


def agent_at(page, path, **options):
    page.goto(path.resolve().as_uri())
    return WebAgent(page=page, timeout=options.pop("timeout", 2), **options)


PICKS = [
    # page, step, the account's name and place, its rule, a runner-up and why it lost
    (SHOP / "products.html", 'hover "Account"',
     'button "Account"', "exact match of its text", None),
    (SHOP / "index.html", 'type standard_user into "Username"',
     'text field "Username"', "exact match of its label", None),
    (SHOP / "index.html", 'type secret into "Password"',
     'password field "Password"', "exact match of its label", "(the wrong kind for typing)"),
    (HELIUM / "test_gui_elements.html", 'click "Span with role"',
     'link "Span with role=link"', "partial match of its text", None),
    (SHOP / "products.html", 'click the button below "Fleece Jacket"',
     'button "Add to cart" in "Fleece Jacket · $49.99"', 'nearest button below "Fleece Jacket"',
     '(farther below "Fleece Jacket")'),
    (HELIUM / "test_gui_elements.html", 'type x into the field right of "Another Text Field:"',
     "text field", 'nearest input right of "Another Text Field:"', None),
    (SHOP / "products.html", 'click the 2nd "Add to cart"',
     'button "Add to cart" in "Bolt T-Shirt · $15.99"', '2nd "Add to cart" in reading order',
     'button "Add to cart" in "Bike Light · $9.99" (earlier in reading order)'),
]


@pytest.mark.parametrize("path, step, name, rule, runner_up", PICKS, ids=[p[1] for p in PICKS])
def test_a_pick_says_what_it_is_and_why(page, path, step, name, rule, runner_up):
    agent = agent_at(page, path)
    pick = agent.locate(step)
    assert pick.account.startswith(name) and f" — {rule}" in pick.account
    assert pick.rule == rule and str(pick) == pick.account
    if runner_up is not None:
        assert runner_up in pick.account
        assert all(record is not pick.element for record, _ in pick.runners_up)
    assert agent._steps == []  # locating is no step


def test_locate_waits_and_then_lists_the_candidates(page):
    agent = agent_at(page, AGENT_PAGE, timeout=0.3)
    with pytest.raises(AssertionError, match=r"No element matches 'Place ordr'\. Nearest candidates: "
                                             r"'Place order' \(disabled, a different name\)"):
        agent.locate('click "Place ordr"')
    with pytest.raises(ValueError, match="does not name an element"):
        agent.locate('verify text "Agent page" is present')
    agent.locate("click the Login button")
    assert page.inner_text("#status") == "Idle"  # found, not clicked


def test_step_records_carry_the_account_and_the_time(page):
    agent = agent_at(page, AGENT_PAGE)
    agent.run('click "Add" below "Alpha"')
    agent.run("wait 50")
    clicked, waited = agent._steps
    assert list(clicked) == ["instruction", "status", "message", "screenshot", "account", "duration_ms"]
    assert clicked["account"].startswith('button "Add" in "Beta" — nearest "Add" below "Alpha"')
    assert waited["account"] == "" and waited["duration_ms"] >= 50


def pixel(page, shot, x, y):
    """The colour of one pixel of a base64 PNG, read by the browser itself."""
    return page.evaluate(
        """async ([src, x, y]) => {
             const img = new Image(); img.src = src; await img.decode();
             const c = document.createElement('canvas'); c.width = img.width; c.height = img.height;
             const g = c.getContext('2d'); g.drawImage(img, 0, 0);
             return Array.from(g.getImageData(x, y, 1, 1).data.slice(0, 3));
           }""", ["data:image/png;base64," + shot, x, y])


def test_a_failed_step_pictures_what_it_meant(page, tmp_path):
    agent = agent_at(page, AGENT_PAGE, timeout=0.3, screenshots=True)
    box = page.locator("#place").bounding_box()
    with pytest.raises(AssertionError, match="it is disabled"):
        agent.run('click "Place order"')
    with pytest.raises(AssertionError, match="Nearest candidates"):
        agent.run('click "Chekout"')
    meant, missing = agent._steps
    assert meant["account"].startswith('button "Place order"')
    # The element meant is outlined in red on the picture, and only there.
    assert pixel(page, meant["screenshot"], int(box["x"]) + 1, int(box["y"] + box["height"] / 2)) == [220, 38, 38]
    assert page.locator(".__marrowlane_outline").count() == 0
    assert base64.b64decode(missing["screenshot"]).startswith(b"\x89PNG")

    # The report shows the step, its account, its time and the picture.
    steps = {"t.py::test_x": agent._steps}
    reporter = MarrowlaneReporter(str(tmp_path / "r.html"), type("C", (), {"_marrowlane_steps": steps}))
    reporter.results.append({"nodeid": "t.py::test_x", "file": "t.py", "test": "test_x",
                             "status": "failed", "duration": 1.0})
    reporter.pytest_sessionfinish(None, 1)
    page.goto((tmp_path / "r.html").as_uri())
    page.click(".expand-btn")
    assert page.locator(".step-account").first.inner_text() == meant["account"]
    assert re.fullmatch(r"\d+ ms|\d+\.\d\d s", page.locator(".step-time").first.inner_text())
    assert page.locator(".step-screenshot img").count() == 2


def test_debug_keeps_a_picture_of_every_step(page):
    agent = agent_at(page, AGENT_PAGE, debug=True)
    agent.run('type x into "Username"')
    agent.run('verify text "Agent page" is present')
    assert all(base64.b64decode(s["screenshot"]).startswith(b"\x89PNG") for s in agent._steps)
    box = page.locator("#user").bounding_box()
    typed = agent._steps[0]["screenshot"]
    assert pixel(page, typed, int(box["x"]) + 1, int(box["y"] + box["height"] / 2)) == [37, 99, 235]
