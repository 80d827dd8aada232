"""The engine as the agent uses it: parse a step, read the page, find what a step means.

Targets that name a relation to an anchor ('button next to Email') or a place
in reading order ('second login') are resolved over the spatial matrix; every
other target, and every quoted name, first by the names a person reads (the
resolver of marrowlane_web._core, over the page script's names facts), then,
when no name carries it, by text (Level-1). When the spatial
reading finds nothing, or settles on an element that does not carry the
words the step names, the text reading gets its turn: 'click second login'
never lands on some other second element, and a product called 'Under the
Sea' is still found by its name.
"""

import gc
import re
from dataclasses import dataclass, field

from marrowlane_web._core import account, relation, resolver
from marrowlane_web.engine import settings
from marrowlane_web.engine.agent.step_parser import StepParser
from marrowlane_web.engine.browser.page_scanner import PageScanner
from marrowlane_web.engine.spatial import grid_resolver
from marrowlane_web.engine.spatial.grid_builder import GridBuilder, _searchable
from marrowlane_web.engine.spatial.grid_resolver import GridResolver
from marrowlane_web.engine.strategies.text_match_strategy import _TYPE_DESCRIPTORS as _KIND_WORDS
from marrowlane_web.engine.strategies.text_match_strategy import TextMatchStrategy

from .reading import PageReading

# The ordinal words the step parser takes off a click or extract target.
_PARSER_ORDINALS = {"first": 1, "second": 2, "third": 3, "fourth": 4, "fifth": 5}
_ORDINAL_WORDS = {n: w for w, n in _PARSER_ORDINALS.items()}

# A relation counts only as whole words, so 'Linear' or 'Underwear' stay names.
_RELATION_RE = re.compile(
    r"(?<!\w)(?:"
    + "|".join(re.escape(k) for k in sorted(grid_resolver._RELATIONS, key=len, reverse=True))
    + r")(?!\w)\s*(\S.*)?$",
    re.IGNORECASE | re.DOTALL,
)
_GRID_ORDINALS = frozenset(grid_resolver._ORDINALS)
# Kinds a person names before a relation or with an ordinal that the spatial
# reading does not tell apart from other fields: the pick must be one.
# Images are named so too: the spatial reading knows no kind for them.
_CHOICE_RE = re.compile(
    r"(?<!\w)(?:(check\s*box)|(text\s*area)|radio(?:\s+button)?|(image|img|picture|photo))(?!\w)",
    re.IGNORECASE)
# The ways a person names a text field ('text box', 'input field');
# the spatial reading knows it as a 'field', and would otherwise look for an
# element that carries the word 'text'.
_FIELD_WORDS_RE = re.compile(
    r"(?<!\w)(?:text\s*(?:field|box|input)|input\s+(?:field|box)|edit\s*box)(?!\w)",
    re.IGNORECASE)

# The parts of a reading: element records, text element records, the names a
# person reads, the page's text as a person reads it, bare text (page_script.hpp's
# kElements, kTexts, kNames, kPageText, kBare); GLANCE is the first part of the
# page's text alone, the lines the body shows (kGlance).
ELEMENTS, TEXTS, NAMES, PAGE_TEXT, BARE, GLANCE = 1, 2, 4, 8, 16, 32
ALL = ELEMENTS | TEXTS | NAMES | PAGE_TEXT | BARE

# Steps about text alone: the text element records answer them.
_TEXT_ACTIONS = frozenset({"verify_text_present", "verify_text_visible", "find_text", "find_exact_text"})

# Actions whose target is an element of the page (the others answer about text).
ELEMENT_ACTIONS = frozenset(
    {"click", "hover", "type", "select", "extract_text",
     "verify_present", "verify_visible", "verify_enabled", "verify_disabled"}
)


# Actions whose target the resolver by names decides first (extracting text only
# when the name is a field's, whose value is the text meant).
_NAMED_ACTIONS = ELEMENT_ACTIONS
_TEXT_CHECKS = frozenset({"verify_text_present", "verify_text_visible"})
# Text steps that name a text by its place beside an anchor, and the phrases
# that start their targets (longest first, as the text strategy reads them).
_SPATIAL_TEXT = frozenset({"verify_spatial_text", "extract_text_spatial"})
TEXT_DIRECTIONS = ("right of", "next to", "left of", "below", "under", "above")
# Element checks that the page's text answers when no element carries the name.
_SHOWN_AS_TEXT = frozenset({"verify_present", "verify_visible"})
_RUNNERS_UP = 3
# Steps a look at the named elements alone may decide (see `Engine.quick_find`).
_QUICK_ACTIONS = frozenset({"click", "hover", "type", "select", "verify_present", "verify_visible",
                            "verify_enabled", "verify_disabled"})
# The least elements the part of the page read around a quick pick holds.
_AROUND = 300
_WRONG_KIND = {"type": "the wrong kind for typing", "select": "not a dropdown list"}

# Resolves when the page's watch (kept by the page script) leaves `state`, or
# after `ms`; it looks once a frame. Without a watch (a page not yet read, or
# read element by element) it simply waits, at most 100 ms.
_WAIT_FOR_CHANGE_JS = """async ([state, ms]) => {
  const watch = globalThis[Symbol.for('marrowlane.watch')];
  const frame = () => new Promise(resolve => {
    requestAnimationFrame(resolve);
    setTimeout(resolve, 50);
  });
  const until = performance.now() + ms;
  if (!watch || state === null) {
    await new Promise(resolve => setTimeout(resolve, Math.min(ms, 100)));
    return;
  }
  while (watch.state() === state && performance.now() < until) await frame();
}"""


@dataclass
class Found:
    """What a target resolved to, and why.

    `element` is the record picked (None when nothing was), `result` the
    resolver's own answer, `rule` the rule that chose the element in words and
    `runners_up` the candidates that lost, as (record, why) pairs, best first
    (at most three). `name`, `where` and `account` put the pick into words:
    `button "Add to cart"`, `in "Bike Light · $9.99"`, and the one line that
    says it all; str() of a pick is its account.
    """

    element: object
    result: dict
    spatial: bool = False
    rule: str = ""
    runners_up: list = field(default_factory=list)
    page: tuple = field(default=((), ()), repr=False, compare=False)
    exact: bool = False  # a name the resolver by names matched exactly

    @property
    def name(self):
        return account.person_name(self.element) if self.element is not None else ""

    @property
    def where(self):
        return self._places([self.element])[0] if self.element is not None else ""

    def _places(self, records):
        elements, texts = self.page
        return account.places(records, list(elements) + list(texts))

    @property
    def account(self):
        """One line: the element, where it is, the rule that chose it, and who lost why."""
        if self.element is None:
            return ""
        name = self.name
        names = [account.person_name(record) for record, _ in self.runners_up]
        # Runners-up named like another are told apart by their place.
        alike = [r for (r, _), n in zip(self.runners_up, names) if n == name or names.count(n) > 1]
        where, *places = self._places([self.element] + alike)
        place_of = dict(zip(map(id, alike), places))
        runners = [
            (f"{n} {place_of[id(r)]}".rstrip() if id(r) in place_of else n, why)
            for (r, why), n in zip(self.runners_up, names)
        ]
        return account.line(name, where, self.rule, runners)

    def __str__(self):
        return self.account


def _ordinal_written(step, action):
    """True when the step itself names an ordinal word that the parser took off its target."""
    low = step.strip().lower()
    prefixes = ("click ",) if action == "click" else ("extract text ", "extract_text ")
    for prefix in prefixes:
        if low.startswith(prefix):
            rest = low[len(prefix):]
            if action == "extract_text" and rest.startswith("from "):
                rest = rest[5:]
            words = rest.split(None, 1)
            return bool(words) and words[0] in _PARSER_ORDINALS
    return False


def with_ordinal(parsed, step):
    """(instruction, ordinal word or None): the step's ordinal, wherever it was written.

    The parser takes an ordinal word off the front of a click or extract
    target, but not one behind an article ('extract text from the first
    price'); that one is lifted into `ordinal` here, so both read alike.
    """
    if "ordinal" not in parsed or parsed.get("_literal_target"):
        return parsed, None
    if _ordinal_written(step, parsed["action"]):
        return parsed, _ORDINAL_WORDS.get(parsed["ordinal"])
    words = (parsed.get("target") or "").split(None, 1)
    if words and words[0].lower() in _PARSER_ORDINALS:
        lifted = dict(parsed)
        lifted["target"] = words[1] if len(words) > 1 else ""
        lifted["ordinal"] = _PARSER_ORDINALS[words[0].lower()]
        return lifted, words[0].lower()
    return parsed, None


def spatial_target(parsed, ordinal_word):
    """The target to hand to the spatial resolver, or None when the step is for text matching.

    A quoted name is taken as a name. An ordinal the parser took off the
    target is put back in front, since the spatial resolver reads it there.
    """
    if parsed.get("_literal_target") or parsed.get("action") not in ELEMENT_ACTIONS:
        return None
    target = parsed.get("target") or ""
    relation = _RELATION_RE.search(target)
    if ordinal_word:
        target = f"{ordinal_word} {target}".strip()
    elif not (relation and relation.group(1)) and not any(
            word in _GRID_ORDINALS for word in target.lower().split()):
        return None
    head = _head_end(target)
    return _FIELD_WORDS_RE.sub("field", target[:head]) + target[head:]


def _article_kept(target):
    """A directional text target whose anchor starts with an article of its own ('below
    A paragraph'), put so that the text strategy keeps it; None for any other.

    The strategy cuts a leading 'the ', 'a ' and 'an ' off an anchor, each once and
    in that order ('below the Total' looks for 'Total'); behind an 'an ' the
    anchor's own article is left alone. Asked only when the anchor as cut is not
    on the page.
    """
    phrase, anchor = split_direction(target)
    if phrase is None or not anchor.lower().startswith(("the ", "a ", "an ")):
        return None
    return f"{phrase} an {anchor}"


def split_direction(target):
    """(direction phrase, anchor) of a directional text target; (None, target) without one."""
    low = target.lower()
    for phrase in TEXT_DIRECTIONS:
        if low.startswith(phrase + " "):
            return phrase, target[len(phrase) + 1:].strip()
    return None, target


def _head_end(target):
    """Where the words before a target's relation end: the kind is named there, and
    the anchor after it keeps its own words."""
    relation = _RELATION_RE.search(target)
    return relation.start() if relation else len(target)


def _kind_named(target):
    """(target, kind): a checkbox, radio button or text area named before any relation,
    put to the spatial reading as a field (it tells them from no other field), or an
    image, put to it as any element; kind is "checkbox", "radio", "textarea", "img"
    or None."""
    choice = _CHOICE_RE.search(target, 0, _head_end(target))
    if not choice:
        return target, None
    if choice.group(3):
        return target[:choice.start()] + target[choice.end():], "img"
    kind = "checkbox" if choice.group(1) else "textarea" if choice.group(2) else "radio"
    return target[:choice.start()] + "field" + target[choice.end():], kind


def _narrows(kind, action):
    """Whether a spatial pick is counted among a kind: one the step names, or the fields
    that take text when it types."""
    return kind is not None or action == "type"


def _counted(records, kind, action, target, last=False):
    """(element, kept): of `records` in the spatial reading's order, those of the kind
    named that the action can work (a field that takes text, for typing), and the one
    the target's ordinal counts to among them (None past their end). The count
    stops where the account's runners-up are known.

    With `last`, every record (of the kind, when one is counted) that carries the
    target's words is kept, and the pick is the last of them.
    """
    ordinal = relation.parse_target(target)[3] or 1
    kept = []
    for r in records:
        if not last and len(kept) == ordinal + _RUNNERS_UP:
            break
        if _narrows(kind, action) and not (resolver.fits(action, r) and (kind is None or kind in (
                r.get("tag"), str((r.get("attributes") or {}).get("type") or "").lower(),
                (r.get("attributes") or {}).get("role")))):
            continue
        if not last or _carries_words(target, r):
            kept.append(r)
    if last:
        return (kept[-1] if kept else None), kept
    return (kept[ordinal - 1] if len(kept) >= ordinal else None), kept


def _value_named(target, named, elements, texts):
    """The resolver's ranking for extracting text when a field or a list carries the
    target as its exact name (what it holds is its value, not its label); else None,
    and the text strategy reads the texts as they stand."""
    for kind in ("type", "select"):
        ranked = resolver.rank(kind, target, named, elements, texts)
        if ranked and ranked[0][3] and ranked[0][4]:
            return ranked
    return None


def kind_only(parsed, step):
    """The kind an element step's target names and nothing else ('the dropdown',
    with no ordinal), or None."""
    if parsed.get("_literal_target") or parsed.get("action") not in ELEMENT_ACTIONS:
        return None
    lifted, ordinal_word = with_ordinal(parsed, step)
    words = (lifted.get("target") or "").split()
    if ordinal_word is None and words and all(w.lower() in _KIND_WORDS for w in words):
        return " ".join(words)
    return None


def _last_written(parsed):
    """The target of 'the last Delete' put as 'first Delete', or None for any other
    step (one with a relation too); the last of what that counts is the pick (see
    `Engine.find`)."""
    words = (parsed.get("target") or "").split(None, 1)
    if (parsed.get("_literal_target") or parsed.get("action") not in ELEMENT_ACTIONS
            or len(words) < 2 or words[0].lower() != "last" or _names_relation(words[1])):
        return None
    return "first " + words[1]


def _names_relation(target):
    """Whether the target names a relation (as whole words) and an anchor after it."""
    found = _RELATION_RE.search(target)
    return bool(found and found.group(1))


def _carries_words(target, element):
    """Whether the element carries the words the target names besides anchor, ordinal and type.

    The spatial resolver drops such words when no element carries them, and
    would then answer with whatever stands in the place; that is no answer.
    """
    _, _, _, _, search_text, target_text = relation.parse_target(target)
    words = search_text or target_text
    # A kind word left over ('field' when the anchor holds 'input') names no words.
    if not words or all(word in _KIND_WORDS for word in words.lower().split()):
        return True
    return grid_resolver._normalize(words) in grid_resolver._normalize(
        " ".join([_searchable(element), *_image_names(element)]))


def _image_names(record):
    """The names an image shows a person in place of text: its alt text and title."""
    attributes = record.get("attributes") or {}
    return [str(attributes[key]) for key in ("alt", "title") if attributes.get(key)]


def _editable_regions(named, elements):
    """Records for the editable regions of the names facts that no element record stands
    for (an empty contenteditable block), so that typing by place finds them."""
    known = {record.get("xpath") for record in elements}
    regions = []
    for row in named or ():
        box = row[8]
        if not row[4] or row[0] in known or not (isinstance(box, list) and len(box) == 4):
            continue
        regions.append({
            "tag": row[1], "text": "", "attributes": {},
            "bounding_box": {"x": box[0], "y": box[1], "width": box[2], "height": box[3]},
            "is_visible": bool(row[6]), "is_enabled": bool(row[7]), "is_editable_field": True,
            "xpath": row[0],
        })
    return regions


def with_image_names(elements):
    """`elements` and, after them, an anchor record for each name an image shows (see
    `_image_anchors`): a text may be placed beside an image ('below "avatar"')."""
    return elements + [anchor for anchor, _ in _image_anchors(elements).values()]


def _image_anchors(elements):
    """Anchor records for the images of `elements`, one per name they show (see
    `_image_names`): a relation may start at an image ('right of "avatar"'). Each
    maps back to its image."""
    anchors = {}
    for record in elements:
        if record.get("tag") == "img" and record.get("bounding_box") and not record.get("text"):
            for name in _image_names(record):
                anchor = {"tag": "img", "text": name, "attributes": {},
                          "bounding_box": record["bounding_box"], "is_visible": record.get("is_visible"),
                          "is_enabled": True, "xpath": record.get("xpath") or ""}
                anchors[id(anchor)] = (anchor, record)
    return anchors


@dataclass
class _Reading:
    parts: int
    state: str  # the page's state when it was read
    elements: list
    texts: list
    facts: object


class Engine:
    def __init__(self, page):
        self.parser = StepParser()
        self.scanner = PageScanner(page)
        self.reading = PageReading(self.scanner)
        self.text_match = TextMatchStrategy()
        self.facts = None
        self._last = None  # the latest reading, while the page may still be as it was
        self.unchanged = False  # whether the latest read gave the reading before it again

    def parse(self, step):
        return self.parser.parse(step)

    def parts_for(self, parsed, step):
        """What a step reads of the page.

        A text check first glances at the lines the page shows, then reads the
        page's text as a person reads it (see `sees_text`), any other text step
        the text records; an element step the element and
        text records (its account places the pick among both), and the names
        a person reads when the resolver by names decides it (a presence or
        visibility check the page's text as well); a relation reads the bare
        text too, since it may be its anchor.
        """
        action = parsed.get("action")
        if action in _TEXT_CHECKS:
            return GLANCE
        if action in _TEXT_ACTIONS:
            return TEXTS
        lifted, ordinal_word = with_ordinal(parsed, step)
        target = spatial_target(lifted, ordinal_word)
        if target is None and self._by_name(lifted):
            # A name no element carries may be the page's text (`shown_as_text`).
            return ALL if action in _SHOWN_AS_TEXT else ELEMENTS | TEXTS | NAMES
        # Typing by place reads the names too: editable regions are found there.
        typing = NAMES if target is not None and action == "type" else 0
        if target is not None and _names_relation(target):
            return ELEMENTS | TEXTS | BARE | typing
        return ELEMENTS | TEXTS | typing

    def read(self, parts=ALL):
        """A view of the page and its frames: (element records, text element records).

        Only `parts` are sure to be read (the other list may be empty). What a
        person reads beside them (names and their sources, the page's text,
        bare text) is kept in `facts` for the resolver by names; None where
        the page was read element by element. The latest reading comes back
        again while the page has not changed since: no mutation, scroll,
        resize, navigation, focus change, input, running animation or action
        of the agent (see `forget`). A page with frames is read anew each time.
        """
        last = self._last
        # The page's text holds the lines a glance reads.
        held = 0 if last is None else last.parts | (GLANCE if last.parts & PAGE_TEXT else 0)
        known = last.state if last is not None and held & parts == parts else None
        # The records are thousands of new containers without a cycle among
        # them: the collector's passes while they are built would find nothing.
        collecting = gc.isenabled()
        gc.disable()
        try:
            answer = self.reading.read(parts, known)
        finally:
            if collecting:
                gc.enable()
        self.unchanged = answer is None
        if answer is None:
            self.facts = last.facts
            return list(last.elements), list(last.texts)
        elements, texts, state = answer
        self.facts = self.reading.facts
        self._last = (_Reading(parts, state, elements, texts, self.facts)
                      if state is not None else None)
        return list(elements), list(texts)

    def element(self, record):
        """What to act on for a record of the last read: a handle to the element it was
        read from (reading.Stale when that is gone or changed)."""
        return self.reading.element(record)

    def forget(self):
        """The agent acted on the page: the next reading reads it anew."""
        self._last = None

    def wait_for_change(self, seconds):
        """Wait until the page moves on from the latest reading, for `seconds` at most."""
        state = self._last.state if self._last is not None else None
        self.scanner.page.evaluate(_WAIT_FOR_CHANGE_JS, [state, max(seconds, 0) * 1000])

    def resolve_text(self, parsed, elements, texts):
        """Level-1: the strategy's own answer (find, verify, directional text, elements).

        A text check the strategy does not verify is asked again of the
        page's text as a person reads it: hidden text counts as present, the
        values fields and input buttons show count, and any run of blanks
        reads as one. A text that no text element holds may still stand bare
        on the page (right in <body>, or between links): a search for a text
        gets that second chance, and a text beside an image may be placed by
        the image's name.
        """
        result = self.text_match.resolve(parsed, elements, texts)
        if not result.get("resolved") and parsed.get("action") in _SPATIAL_TEXT:
            kept = _article_kept(parsed.get("target") or "")
            if kept is not None:
                again = self.text_match.resolve(dict(parsed, target=kept), elements, texts)
                result = again if again.get("resolved") else result
        if not result.get("resolved") and parsed.get("action") in _SPATIAL_TEXT:
            named = with_image_names(elements)
            if len(named) > len(elements):
                again = self.text_match.resolve(parsed, named, texts)
                result = again if again.get("resolved") else result
        if parsed.get("action") in _SPATIAL_TEXT and not result.get("candidates"):
            result = self._text_beside(parsed, elements, texts) or result
        bare = self.reading.bare_texts
        if not result.get("resolved") and bare and parsed.get("action") in _TEXT_ACTIONS:
            again = self.text_match.resolve(parsed, elements, texts + bare)
            if again.get("resolved"):
                result = again
        if parsed.get("action") not in _TEXT_CHECKS or result.get("verified"):
            return result
        present, visible, text = self._page_text_check(parsed)
        if not present:
            return result
        wanted_visible = parsed["action"] == "verify_text_visible"
        return {
            "resolved": True,
            "verified": visible or not wanted_visible,
            "confidence": 1.0,
            "element": {"tag": "", "text": text, "is_visible": visible},
            "state": {"visible": visible},
            "candidates": [],
        }

    def _text_beside(self, parsed, elements, texts):
        """The answer of a directional text step read as a relation is (relation.hpp), or None.

        Asked when the text strategy finds no text there: its column holds only
        texts whose middle lies within the anchor's width, so a paragraph below
        a narrow button is not below it, and its anchor must read as written,
        so a label shown as 'Password *' is no anchor 'Password'. Only texts
        are candidates; elements and bare text may be the anchor. Text in a box
        a pixel across (visually hidden, for screen readers) is no anchor here.
        """
        phrase, anchor = split_direction(parsed.get("target") or "")
        if phrase is None or not anchor:
            return None
        shown = [t for t in texts + self.reading.bare_texts if _readable(t)]
        matrix = GridBuilder(shown, elements).build()
        pick = relation.resolve(matrix, f"{phrase} {anchor}")
        if pick is None or not pick["in_band"]:
            return None  # a text further off is no answer: the one meant may be on its way
        ranked = [entry["element"] for entry in pick["ranked"][:pick["in_band"]]]
        actual = (ranked[0].get("text") or "").strip()
        if parsed["action"] == "extract_text_spatial":
            return {"resolved": True, "confidence": 1.0, "element": ranked[0], "extracted": actual,
                    "candidates": ranked}
        expected = parsed.get("value") or ""
        return {"resolved": True, "verified": resolver.agrees(expected, actual), "confidence": 1.0,
                "element": ranked[0], "state": {"expected": expected, "actual": actual},
                "candidates": ranked}

    def _page_text_check(self, parsed):
        """(present, visible, text) of a text check over the page's text as a person reads it."""
        page_texts = (self.facts or {}).get("texts")
        if not page_texts:
            return False, False, None
        return resolver.check_text(parsed.get("target") or "", page_texts)

    def sees_text(self, parsed):
        """Whether the latest reading's page text, as a person reads it, passes a text check.

        Such a check passes whatever the text records say (see `resolve_text`).
        """
        present, visible, _ = self._page_text_check(parsed)
        return present and (visible or parsed.get("action") != "verify_text_visible")

    @staticmethod
    def _by_name(parsed):
        """Whether the resolver by names is asked for this (non-spatial) element step."""
        return (parsed.get("action") in _NAMED_ACTIONS and bool((parsed.get("target") or "").strip())
                and parsed.get("ordinal", 1) == 1)

    def shown_as_text(self, parsed, step):
        """Whether a plain name is on the page as text a person reads: None when
        it is not (or the step names a kind, a place or an ordinal, which only
        an element answers), else whether it is visible.

        `verify "X" is present` reads text outside any element record this way:
        a caption, bare text in the body, a paragraph hidden with display:none.
        """
        target = parsed.get("target") or ""
        if not target.strip() or "ordinal" in parsed:
            return None
        if not parsed.get("_literal_target"):
            words = target.lower().split()
            if spatial_target(parsed, None) is not None or any(w in _KIND_WORDS for w in words):
                return None
        present, visible, _ = self._page_text_check(parsed)
        return bool(visible) if present else None

    def find_by_name(self, parsed, elements, texts):
        """The resolver by names' pick for an element step, or None when no name carries it."""
        action = parsed.get("action")
        target = parsed.get("target") or ""
        if not self._by_name(parsed):
            return None
        named = (self.facts or {}).get("named")
        if action == "extract_text":
            ranked = _value_named(target, named, elements, texts)
        else:
            ranked = resolver.rank(action, target, named, elements, texts)
        return _named_pick(action, ranked, (elements, texts))

    def quick_find(self, parsed, step):
        """The pick of a step that names an element to act on or check, from a look at only the
        elements whose names may hold that name, when no element the look left
        out could change it (`resolver.sure_first`); None otherwise, and the step
        reads the page as usual.

        The pick's place in its account is read from the part of the page around
        it, and only where that part holds all that `where` would ever look at:
        the child of <body> it sits in, or more texts than a row holds.
        """
        action, target = parsed.get("action"), parsed.get("target") or ""
        lifted, ordinal_word = with_ordinal(parsed, step)
        if (action not in _QUICK_ACTIONS or not self._by_name(lifted)
                or spatial_target(lifted, ordinal_word) is not None or kind_only(parsed, step)
                or _last_written(parsed) is not None or settings.SAVE_SNAPSHOTS
                or len(self.scanner.page.frames) > 1):
            return None
        words = resolver.words(target)
        if words is None:
            return None
        # A page still as the latest reading found it holds no pick that reading missed.
        looked = self.reading.look(NAMES, words, self._last.state if self._last else None)
        if looked is None:
            return None
        named, contested, state = looked
        index = resolver.sure_first(action, target, named, contested)
        if index is None or not str(named[index][0]).startswith("/html[1]/body[1]/"):
            return None
        around = self.reading.around(ELEMENTS | TEXTS, state, index, _AROUND)
        if around is None:
            return None
        elements, texts, part = around
        # Records of the part read stand for their elements, as in a whole reading.
        ranked = resolver.rank(action, target, named, elements, texts)
        if not account.settled(ranked[0][0], part, elements + texts):
            return None
        self._last, self.facts = None, None
        return _named_pick(action, ranked, (elements, texts))

    def find(self, parsed, step, elements, texts):
        """The element a step's target means: spatially when it reads so, else by text.

        'the last Delete' means the last of the elements 'the first Delete' counts
        among, unless an element carries the name 'last Delete' exactly ('Last name'
        stays a name).
        """
        kind = kind_only(parsed, step)
        if kind:
            return self._only(kind, parsed, step, elements, texts)
        found = self._find(parsed, step, elements, texts)
        first = _last_written(parsed)
        if first is None or found.exact:
            return found
        last = self._find(dict(parsed, target=first), step, elements, texts, last=True)
        return last if last.element is not None else found

    def _only(self, kind, parsed, step, elements, texts):
        """'the dropdown': the one element of that `kind` on the page; none when there
        are several or none (its candidates are all of them)."""
        every = self._find(dict(parsed, target="first " + kind), step, elements, texts, last=True)
        if len(every.result.get("candidates") or ()) != 1:
            return Found(None, every.result, page=every.page)
        every.rule, every.runners_up = f"the only {kind} on the page", []
        return every

    def _find(self, parsed, step, elements, texts, last=False):
        parsed, ordinal_word = with_ordinal(parsed, step)
        target = spatial_target(parsed, ordinal_word)
        page = (elements, texts)
        if target is not None:
            action = parsed["action"]
            target, kind = _kind_named(target)
            if action == "type":
                elements = elements + _editable_regions((self.facts or {}).get("named"), elements)
            if _names_relation(target):
                found = self._related(target, action, kind, elements, texts, page)
                if found is not None:
                    return found
            else:
                matrix = GridBuilder(elements, texts).build()
                result = GridResolver(matrix).resolve({"action": action, "target": target})
                if _narrows(kind, action) or last:
                    element, kept = _counted(result.get("candidates") or [], kind, action, target, last)
                    result = dict(result, resolved=element is not None, element=element, candidates=kept)
                if result.get("resolved") and _carries_words(target, result["element"]):
                    rule, runners_up = _spatial_reasons(target, result, last)
                    return Found(result["element"], result, True, rule, runners_up, page)
        else:
            found = self.find_by_name(parsed, elements, texts)
            if found is not None:
                return found
        if last:  # counted as 'first' says, or not at all
            return Found(None, {"resolved": False, "candidates": []}, page=page)
        result = self.text_match.resolve(parsed, elements, texts)
        bare = self.reading.bare_texts
        if not result.get("resolved") and bare and parsed.get("action") == "extract_text":
            # A text no element holds may stand bare on the page (right in <body>).
            result = self.text_match.resolve(parsed, elements, texts + bare)
        if not result.get("resolved"):
            return Found(None, result, page=page)
        rule, runners_up = _text_reasons(parsed, result, elements)
        return Found(result["element"], result, False, rule, runners_up, page)

    def _related(self, target, action, kind, elements, texts, page):
        """A relational target read as a person reads the page (same line or column first,
        then nearer); bare text beside elements counts as an anchor. None when nothing
        stands there that carries the target's words.

        A kind named (see `_kind_named`), or typing, counts among the entries of that
        kind the action can work (see `_counted`).
        """
        images = _image_anchors(elements)
        extra = [anchor for anchor, _ in images.values()]
        matrix = GridBuilder(elements, texts + self.reading.bare_texts + extra).build()
        pick = relation.resolve(matrix, target)
        if pick is None:
            return None
        # A text that stands in for an element may be an image's name: the image is meant.
        ranked = [images.get(id(entry["element"]), (None, entry["element"]))[1]
                  for entry in pick["ranked"]]
        element = images.get(id(pick["entry"]["element"]), (None, pick["entry"]["element"]))[1]
        if _narrows(kind, action):
            element, ranked = _counted(ranked, kind, action, target)
        if element is None or not _carries_words(target, element):
            return None
        result = {
            "resolved": True,
            "confidence": 1.0,
            "element": element,
            "anchor_text": pick["anchor"].get("searchable"),
            "type_relaxed": pick["type_relaxed"],
            "candidates": ranked,
        }
        rule, runners_up = _spatial_reasons(target, result)
        return Found(element, result, True, rule, runners_up, page)


def _named_pick(action, ranked, page):
    """The Found of the resolver by names' ranking (best first), or None when it is empty."""
    if not ranked:
        return None
    record, rule, _, fits, exact = ranked[0]
    runners_up = [(rec, why if fit or action != "extract_text" else "no field, so no value")
                  for rec, _, why, fit, _ in ranked[1:1 + _RUNNERS_UP]]
    if not fits:
        return Found(None, {"resolved": False, "candidates": []}, rule=rule,
                     runners_up=[(record, _WRONG_KIND[action])] + runners_up[:2], page=page)
    visible, enabled = bool(record.get("is_visible")), bool(record.get("is_enabled"))
    verified = {"verify_present": True, "verify_visible": visible,
                "verify_enabled": enabled, "verify_disabled": not enabled}.get(action)
    result = {"resolved": True, "confidence": 1.0, "element": record,
              "candidates": [record] + [rec for rec, _ in runners_up]}
    if verified is not None:
        result["verified"] = verified
        result["state"] = {"visible": visible, "enabled": enabled}
    return Found(record, result, rule=rule, runners_up=runners_up, page=page, exact=exact)


def _readable(record):
    """Whether a record's box is large enough to show its text to a person."""
    box = record.get("bounding_box") or {}
    return (box.get("width") or 0) > 1 and (box.get("height") or 0) > 1


def _spatial_reasons(target, result, last=False):
    """The rule and the runners-up of a spatial pick, from the resolver's own reading;
    the last of the candidates is counted as their number."""
    anchor, side, type_filter, ordinal, search_text, target_text = relation.parse_target(target)
    if last:
        ordinal = len(result.get("candidates") or ())
    if not anchor:
        anchor = side = None
    words = search_text if not anchor else target_text
    anchor, words = _as_written(target, anchor), _as_written(target, words)
    rule = account.spatial_rule(side, anchor, ordinal, type_filter, words or None,
                                bool(result.get("type_relaxed")))
    candidates = list(result.get("candidates") or [])
    return rule, account.spatial_runners_up(side, anchor, ordinal, candidates, result["element"])


def _as_written(target, part):
    """A part of the target as the step wrote it (the resolver lower-cases it), unquoted."""
    if not part:
        return None
    at = target.lower().find(part)
    if at >= 0 and len(target.lower()) == len(target):
        part = target[at:at + len(part)]
    return part.strip('"') or None


def _text_reasons(parsed, result, elements):
    """The rule and the runners-up of a pick by text, from the strategy's own answer."""
    action, target = parsed.get("action") or "", parsed.get("target") or ""
    element, candidates = result["element"], list(result.get("candidates") or [])
    position = next((i for i, c in enumerate(candidates) if c is element), 0) + 1
    rule = account.text_rule(target, element, action, position, len(candidates))
    return rule, account.text_runners_up(action, target, elements, element, candidates)
