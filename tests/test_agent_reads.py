"""The agent reads an unchanged page once, and never hands out a stale reading.

Each case changes the page between two readings in one way (the page's own
script, a scroll, a resize, a navigation, an action of the agent) and checks
that the second reading equals a fresh reading of the page.
"""

import pytest

pytest.importorskip("playwright.sync_api")

from marrowlane_web import WebAgent  # noqa: E402
from marrowlane_web._agent.engine import ALL, BARE, ELEMENTS, GLANCE, NAMES, TEXTS  # noqa: E402
from marrowlane_web.engine.browser.page_scanner import PageScanner  # noqa: E402

PAGE = """<!doctype html><meta charset=utf-8>
<style>
  .menu { display: none } .wrap:hover .menu { display: block }
  @media (max-width: 500px) { #wide { display: none } }
  #pad { height: 3000px }
  .hint { display: none } form:focus-within .hint { display: inline }
</style>
<p id=note>Old note</p>
<button id=wide>Wide only</button>
<div class=wrap><button>Account</button><div class=menu><a href=#>Log out</a></div></div>
<form><input id=field placeholder=Name><span class=hint>Hint text</span></form>
<div id=pad></div>"""


@pytest.fixture
def agent(page):
    page.set_viewport_size({"width": 800, "height": 600})
    page.set_content(PAGE)
    agent = WebAgent(page=page, timeout=2)
    yield agent
    agent.close()


def fresh(page):
    elements, texts = PageScanner(page).extract_interactable_elements()
    return list(elements), list(texts)


CHANGES = {
    "the page's script": lambda a: a.page.evaluate("document.getElementById('note').textContent = 'New'"),
    "a style sheet": lambda a: a.page.add_style_tag(content="#note { display: none }"),
    "a scroll": lambda a: a.page.evaluate("window.scrollTo(0, 400)"),
    "a resize": lambda a: a.page.set_viewport_size({"width": 400, "height": 600}),
    "a navigation": lambda a: a.page.goto("data:text/html,<button>Elsewhere</button><p>There</p>"),
    "a focus by the page": lambda a: a.page.evaluate("document.getElementById('field').focus()"),
    "the agent's hover": lambda a: a.run('hover "Account"'),
    "the agent's typing": lambda a: a.run('type Ada into "Name"'),
}


@pytest.mark.parametrize("change", CHANGES, ids=list(CHANGES))
def test_a_changed_page_is_read_again(agent, change):
    before = agent._engine.read(ALL)
    CHANGES[change](agent)
    after = agent._engine.read(ALL)
    assert after == fresh(agent.page)
    assert after != before


def test_an_unchanged_page_is_read_once(agent):
    elements, texts = agent._engine.read(ALL)
    again = agent._engine.read(TEXTS)  # a part of what is held: no new reading
    assert [id(r) for r in again[1]] == [id(r) for r in texts]
    assert again[0] == elements
    assert agent._engine.read(ELEMENTS)[1] == texts


@pytest.mark.parametrize("step, parts", [
    ('verify text "Old note" is present', GLANCE),
    ('find text "Old"', TEXTS),
    ('click "Account"', ELEMENTS | TEXTS | NAMES),
    ('verify "Old note" is present', ALL),
    ('click the second button', ELEMENTS | TEXTS),
    ('click the button below "Old note"', ELEMENTS | TEXTS | BARE),  # bare text anchors
    ('verify text right of "Old" is note', ELEMENTS | TEXTS),
])
def test_a_step_reads_what_it_needs(agent, step, parts):
    assert agent._engine.parts_for(agent._engine.parse(step), step) == parts




# Two labels of one input, a label whose id finds a div first, a wrapping
# label, a hidden input's label and a shadow root's label beside one outside.
LABELS = """<!doctype html><meta charset=utf-8>
<label for=a>First</label><label>Second <input id=a></label>
<label for=b>Not b</label><div id=b></div><input id=b placeholder=B>
<label>Wraps <button>Go</button></label>
<label for=h>Hidden</label><input type=hidden id=h>
<label for=s>Outer</label><div id=host></div>
<script>
  const root = document.getElementById('host').attachShadow({mode: 'open'});
  root.innerHTML = '<label for=s>Inner</label><input id=s>';
</script>"""


def test_a_controls_labels_are_the_browsers_also_after_its_tree_changed(page):
    page.set_content(LABELS)
    agent = WebAgent(page=page, timeout=2)
    try:
        for change in (None, "document.body.append(document.createElement('p'))"):
            if change:
                page.evaluate(change)
            agent._engine.read(ELEMENTS | NAMES)
            labels = {row[0]: [text for source, text in zip(row[9][::2], row[9][1::2]) if source == "label"]
                      for row in agent._engine.facts["named"]}
            assert labels == {"/html[1]/body[1]/label[2]/input[1]": ["First", "Second"],
                              "/html[1]/body[1]/input[1]": [],
                              "/html[1]/body[1]/label[4]/button[1]": ["Wraps"],
                              "/input[1]": ["Inner"]}
    finally:
        agent.close()
