"""Reading the page and its frames, and finding again the very element a record came from.

Every document of the page (the page itself and each frame Playwright can
reach) is read by one evaluation of the page script, which also gathers what a
person reads there (the names facts). That script keeps the elements behind
the records it returns until the next reading; a record's entry (its
document, the state the reading returned and its index) leads back to
exactly that element, as long as it is still in the document and still shows
the text that was read. Acting goes through a handle to it, so Playwright's
own checks apply and shadow roots are no obstacle.

A frame's records carry boxes in page coordinates (the frame's place added),
so that relations hold across a frame's border. A frame that cannot be read
(detached, navigating, not rendered) is left out.
"""

from dataclasses import dataclass

from playwright.sync_api import Error as PlaywrightError

from marrowlane_web.engine.browser import page_scanner

# Where a frame's content starts inside its <iframe>, in the parent document's
# coordinates: its border box plus border and padding. None when not rendered.
_CONTENT_ORIGIN_JS = """el => {
  const r = el.getBoundingClientRect();
  if (!(r.width > 0 && r.height > 0)) return null;
  const s = getComputedStyle(el);
  return [r.x + el.clientLeft + (parseFloat(s.paddingLeft) || 0),
          r.y + el.clientTop + (parseFloat(s.paddingTop) || 0)];
}"""


@dataclass(frozen=True)
class Ref:
    """Where a record's element was read: its document, the reading and the index there."""

    target: object  # the Playwright page or frame the element lives in
    state: str  # the page state the reading returned
    index: int


class Stale(Exception):
    """The element that was read has left the page or changed since."""


def _frame_origins(page):
    """(frame, (x, y)) for every child frame that is rendered, parents before children."""
    origins = {page.main_frame: (0.0, 0.0)}
    found = []
    for frame in page.frames:
        if frame is page.main_frame:
            continue
        parent = frame.parent_frame
        if parent not in origins:  # the parent was left out: so is its child
            continue
        try:
            if frame.is_detached():
                continue
            at = frame.frame_element().evaluate(_CONTENT_ORIGIN_JS)
        except PlaywrightError:
            continue
        if not at:
            continue
        base = origins[parent]
        origins[frame] = (base[0] + at[0], base[1] + at[1])
        found.append((frame, origins[frame]))
    return found


def _shifted(records, dx, dy):
    for record in records:
        box = record.get("bounding_box")
        if isinstance(box, dict):
            record["bounding_box"] = {
                "x": box.get("x", 0) + dx,
                "y": box.get("y", 0) + dy,
                "width": box.get("width", 0),
                "height": box.get("height", 0),
            }


def _shifted_facts(facts, dx, dy, prefix):
    """A frame's names facts in page coordinates, its paths told apart from the page's."""
    named = []
    for row in facts.get("named") or ():
        row = list(row)
        row[0] = prefix + (row[0] or "")
        if isinstance(row[8], list) and len(row[8]) == 4:
            row[8] = [row[8][0] + dx, row[8][1] + dy, row[8][2], row[8][3]]
        named.append(row)
    bare = []
    for text, box, shown, path in facts.get("bare") or ():
        if box is not None:
            box = [box[0] + dx, box[1] + dy, box[2], box[3]]
        bare.append([text, box, shown, prefix + (path or "")])
    return {"named": named, "texts": list(facts.get("texts") or ()), "bare": bare}


def _bare_records(bare):
    """Shown text standing bare beside elements, as text element records: anchors only."""
    records = []
    for text, box, shown, path in bare:
        if not shown or box is None:
            continue
        records.append({
            "tag": "#text",
            "text": " ".join(text.split()),
            "has_direct_text": True,
            "attributes": {},
            "bounding_box": {"x": box[0], "y": box[1], "width": box[2], "height": box[3]},
            "is_visible": True,
            "is_enabled": True,
            "xpath": path or "",
        })
    return records


class PageReading:
    """Reads a page with its frames and answers, for a record it returned, the live element.

    `facts` holds what a person reads on the page and in its frames (names,
    page text, bare text) for the resolver by names, None when the page was
    read element by element; `bare_texts` the bare text as anchor records.
    A frame's records and facts carry paths that start with "frame N:", so
    that no element of a frame is mistaken for the page's own.
    """

    def __init__(self, scanner):
        self.scanner = scanner
        self._sources = []  # (records, entries, target, state) of each list read
        self._named = []  # (named rows, target, state) of each document read
        self.facts = None
        self.bare_texts = []

    def read(self, parts, known=None):
        """(element records, text element records, page state) of the page and its frames,
        the `parts` asked for; None when the page is still in the state `known`.

        A page with frames has no state (its frames change unseen): it is read
        anew every time, and so is a page read element by element.
        """
        page = self.scanner.page
        frames = _frame_origins(page) if len(page.frames) > 1 else ()
        got = self.scanner._read_parts(parts, None if frames else known)
        if got is None:
            return None
        elements, texts, state = list(got[0]), list(got[1]), got[2]
        facts = getattr(self.scanner, "_page_facts", None)
        facts = facts if isinstance(facts, dict) else None
        sources, named = [], []
        if got[3] is not None:
            self._note(sources, named, got, facts, page, state)
        for number, (frame, (dx, dy)) in enumerate(frames, 1):
            try:
                inner = self.scanner._read_parts(parts, None, frame)
            except PlaywrightError:
                continue
            if inner is None:
                continue
            prefix = f"frame {number}:"
            for records in (inner[0], inner[1]):
                _shifted(records, dx, dy)
                for record in records:
                    record["xpath"] = prefix + (record.get("xpath") or "")
            inner_facts = getattr(self.scanner, "_page_facts", None)
            inner_facts = (_shifted_facts(inner_facts, dx, dy, prefix)
                           if isinstance(inner_facts, dict) else None)
            self._note(sources, named, inner, inner_facts, frame, inner[2])
            elements.extend(inner[0])
            texts.extend(inner[1])
            if facts is not None and inner_facts is not None:
                for key in ("named", "texts", "bare"):
                    facts[key] = list(facts.get(key) or ()) + inner_facts[key]
        self._sources, self._named, self.facts = sources, named, facts
        self.bare_texts = _bare_records((facts or {}).get("bare") or ())
        self.scanner._page_facts = facts
        return elements, texts, (None if frames else state)

    def look(self, parts, words, known=None):
        """(named rows, contested, state): a look at the page itself (its frames left
        out) that reads the named rows whose names may hold every one of `words`,
        and whether an element outside them carries the words in an aria-label,
        title or placeholder; None when the page cannot be looked at so (read
        element by element), or is still in the state `known`.

        Acting on a row's element then finds it as it finds any named element.
        """
        got = self.scanner._read_parts(parts, known, None, words)
        facts = getattr(self.scanner, "_page_facts", None)
        if got is None or got[2] is None or not isinstance(facts, dict):
            return None
        named = facts.get("named") or []
        self._sources, self._named = [], [(named, self.scanner.page, got[2])]
        self.facts, self.bare_texts = None, []
        return named, bool(facts.get("contested")), got[2]

    def around(self, parts, state, index, least):
        """(element records, text element records, path of the part read) of the part of
        the page around named row `index` of the look that returned `state`: the
        nearest ancestor holding `least` elements, or the child of <body> holding
        it. None when that look was replaced or the element left the page."""
        got = self.scanner._read_parts(parts, None, None, None, [state, index, least])
        facts = getattr(self.scanner, "_page_facts", None)
        if got is None or not isinstance(facts, dict):
            return None
        return list(got[0]), list(got[1]), facts.get("top") or ""

    @staticmethod
    def _note(sources, named, got, facts, target, state):
        sources.append((got[0], got[3], target, state))
        sources.append((got[1], got[4], target, state))
        named.append(((facts or {}).get("named") or (), target, state))

    def ref(self, record):
        """The entry of a record from the last reading, or None.

        Looked up when a step acts, by a scan of the lists read: cheaper than
        an index of every record built for every reading.
        """
        for records, entries, target, state in self._sources:
            for position, candidate in enumerate(records):
                if candidate is record:
                    if entries[position] is not None:
                        return Ref(target, state, entries[position])
                    break
        # Named elements no record stands for are found again by their path.
        path = record.get("xpath") if isinstance(record, dict) else None
        if not path:
            return None
        for rows, target, state in self._named:
            for position, row in enumerate(rows):
                if row[0] == path:
                    return Ref(target, state, -position - 1)
        return None

    def element(self, record):
        """A handle to the very element `record` was read from, or a locator by its path
        when the page was read without the page script. Raises Stale when it is gone."""
        ref = self.ref(record)
        if ref is None:
            return self.scanner.page.locator("xpath=" + (record.get("xpath") or "/.."))
        try:
            handle = ref.target.evaluate_handle(
                page_scanner._READ_ELEMENT_JS, [ref.state, ref.index])
        except PlaywrightError as exc:  # the document went away
            raise Stale(str(exc)) from None
        element = handle.as_element()
        if element is None:
            raise Stale("the element left the page or changed")
        return element
