"""The agent on real layouts: it acts on the very element it read, inside shadow roots and
frames, and reads relations as a person does (same line or column first, then nearer)."""

import pathlib

import pytest

pytest.importorskip("playwright.sync_api")

from marrowlane_web import WebAgent  # noqa: E402

PAGES = pathlib.Path(__file__).parent / "pages_layout"


def url(name):
    return (PAGES / name).resolve().as_uri()


@pytest.fixture
def agent(page):
    agent = WebAgent(page=page, timeout=5)
    yield agent
    agent.close()


# -- acting on the element that was read ----------------------------------------------------

# What happens between reading the page and acting: the list is rebuilt with new nodes, its
# nodes are relabelled in place, or the page goes elsewhere. A path would now lead to
# "Delete everything"; the step must read again and click "Login", or fail.
DISRUPTIONS = [
    ("rebuilt", "page.evaluate('rotate()')", ["Login"]),
    ("relabelled", "page.evaluate('relabel()')", ["Login"]),
    ("navigated", "page.goto(url('elsewhere.html'))", None),
]


@pytest.mark.parametrize("how, disrupt, clicked", DISRUPTIONS, ids=[d[0] for d in DISRUPTIONS])
def test_a_step_never_acts_on_an_element_it_did_not_read(agent, monkeypatch, how, disrupt, clicked):
    page = agent.page
    page.goto(url("rerender.html"))
    done = []

    def then_disrupt(find):
        def find_then_disrupt(*args):
            found = find(*args)
            if not done and found is not None:
                done.append(eval(disrupt, {"page": page, "url": url}))
            return found
        return find_then_disrupt

    for way in ("find", "quick_find"):  # a pick from the whole page, or from a quick look
        monkeypatch.setattr(agent._engine, way, then_disrupt(getattr(agent._engine, way)))
    if clicked is None:
        with pytest.raises(AssertionError, match="Login"):
            agent.run('click "Login"')
        assert page.evaluate("clicked") == []
    else:
        agent.run('click "Login"')
        assert page.evaluate("clicked") == clicked


def test_a_list_re_rendered_every_150_ms_never_gets_a_strangers_click(agent):
    agent.page.goto(url("rerender.html") + "#live")
    for _ in range(5):
        try:
            agent.run('click "Login"')
        except AssertionError as failure:  # a slow machine may never catch it in time
            assert "changed or left the page" in str(failure)
    assert set(agent.page.evaluate("clicked")) <= {"Login"}


# -- a page of our own: rows 18 px apart, a shadow root in a shadow root, a frame in a frame --

def status(page):
    return page.inner_text("#status")


def shadow_value(page, host_path, field):
    return page.evaluate(
        "([path, id]) => path.reduce((root, tag) => root.querySelector(tag).shadowRoot, document)"
        ".getElementById(id).value", [host_path, field])


def outer(page):
    return page.frame_locator("iframe")


OWN_PAGE = [
    # step, what to read afterwards, what it must say
    ('click the button right of "Erin"', status, "Edit Erin"),
    ('click the 2nd button right of "Erin"', status, "Delete Erin"),
    ('click "Delete" right of "Carol"', status, "Delete Carol"),
    ('click the 3rd button below "Remove"', status, "Delete Carol"),
    ('click "Deep button"', status, "Deep clicked"),
    ('type Zed into the field right of "Nick:"', lambda p: shadow_value(p, ["x-card"], "nick"), "Zed"),
    ('type 42 into the field right of "Code:"',
     lambda p: shadow_value(p, ["x-card", "x-inner"], "code"), "42"),
    ('verify text "Deep text" is visible', status, "Idle"),
    ('click "Outer button"', lambda p: outer(p).locator("#said").inner_text(), "Outer clicked"),
    ('click "Inner button"',
     lambda p: outer(p).frame_locator("iframe").locator("#said").inner_text(), "Inner clicked"),
    ('type Paris into the field right of "City:"',
     lambda p: outer(p).locator("#city").input_value(), "Paris"),
    ('click the button below "Frame section"',
     lambda p: outer(p).locator("#said").inner_text(), "Outer clicked"),
    ('verify text "Inner frame text" is present', status, "Idle"),
]


@pytest.mark.parametrize("step, probe, wanted", OWN_PAGE, ids=[c[0] for c in OWN_PAGE])
def test_steps_land_where_a_person_points(agent, step, probe, wanted):
    agent.page.goto(url("layout.html"))
    agent.run(step)
    assert probe(agent.page) == wanted


# -- the peers' pages ------------------------------------------------------------------------

REAL_PAGES = pathlib.Path(__file__).resolve().parent.parent.parent / "shared" / "realpages"

# Remembers the element a click reached (inside shadow roots too); links stay put.
_WATCH_CLICKS = """() => {
  window.__hit = null;
  document.addEventListener('click', e => {
    window.__hit = e.composedPath()[0];
    if (window.__hit.closest && window.__hit.closest('a')) e.preventDefault();
  }, true);
}"""
_ROW_BUTTON = ("`${__hit.closest('tr').cells[0].textContent.trim()} "
               "${[...__hit.closest('tr').querySelectorAll('button')].indexOf(__hit) + 1}`")

REAL = [
    # page, step, JavaScript that reads the outcome, wanted; why a person expects it
    ("helium/test_write.html", 'type hi into field right of "Normal text field:"',
     "document.getElementById('normal').value", "hi"),  # the field on the label's own row
    ("helium/test_gui_elements.html", 'click button right of "Row 2:"', _ROW_BUTTON, "Row 2: 1"),
    ("helium/test_gui_elements.html", 'click the second button right of "Row 1:"',
     _ROW_BUTTON, "Row 1: 2"),  # nested tables of Duplicate Buttons, rows close together
    ("helium/test_point.html", 'click button below "Button 2"', "__hit.textContent", "Button 4"),
    ("taiko/functional/HTMLElements.html", 'type Ann into field near "First name:"',
     "document.querySelector('[name=fname]').value", "Ann"),
    ("taiko/unit/textMatch.html", 'type Bob into field right of "User name:"',
     "document.querySelector('[name=uname]').value", "Bob"),  # a bare text node before its field
    ("taiko/unit/link.html", 'click link right of "Click"', "__hit.textContent", "here"),
    ("taiko/unit/button.html", 'click "Shadow Click"', "__hit.value", "Shadow Click"),
    ("taiko/unit/button.html", 'click "Shadow Nested Click"', "__hit.value", "Shadow Nested Click"),
    ("helium/test_iframe/main.html", 'verify text "This text is inside a nested iframe." is present',
     "1", 1),
    ("helium/test_iframe/main.html", 'find text "inside an iframe"', "1", 1),
    # taiko's HTMLElements form inside a frame (its probes read the frame).
    ("taiko/functional/IFrameElements.html", 'type Ann into field near "First name:"',
     "document.querySelector('[name=fname]').value", "Ann"),
    ("taiko/functional/IFrameElements.html", 'type Lee into "Last name:"',
     "document.querySelector('[name=lname]').value", "Lee"),
    ("taiko/functional/IFrameElements.html", 'click the input left of "I have a Bus"',
     "document.querySelector('[name=vehicle1]').checked", True),
]


@pytest.mark.skipif(not REAL_PAGES.is_dir(), reason="the peers' pages are not beside the checkout")
@pytest.mark.parametrize("name, step, probe, wanted", REAL, ids=[f"{c[0]}: {c[1]}" for c in REAL])
def test_the_peers_pages(agent, name, step, probe, wanted):
    agent.page.goto((REAL_PAGES / name).as_uri())
    agent.page.evaluate(_WATCH_CLICKS)
    agent.run(step)
    where = agent.page.frames[-1] if "IFrame" in name else agent.page
    assert where.evaluate(probe) == wanted
