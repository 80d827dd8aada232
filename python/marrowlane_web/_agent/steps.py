"""One handler per action of the step language, and the loop that lets a page settle.

A step whose target is not on the page yet is tried again, each time the page
changes, until its time runs out (and at least twice); only then does it
fail, with the message of its last attempt. A step reads only the part of
the page it needs, and an unchanged page is not read again.
"""

import math
import re
import time
from dataclasses import dataclass, field
from urllib.parse import urljoin, urlparse

from playwright.sync_api import Error as PlaywrightError

from . import messages
from .engine import (ALL, BARE, ELEMENT_ACTIONS, GLANCE, PAGE_TEXT, TEXT_DIRECTIONS, TEXTS,
                     kind_only, split_direction, with_image_names, with_ordinal)
from .gestures import press, split_gesture
from .keys import key_combination
from .reading import Stale
from .watchdog import GRACE_SECONDS, Watchdog

# How long a missed attempt waits for the page to change before it is tried
# again all the same (an action may be refused for reasons no change shows).
RETRY_SECONDS = 0.5
LONGEST_WAIT_MS = 10 * 60 * 1000  # beyond this a wait is a mistake (and beyond the timers)
NAVIGATE_SECONDS = 30.0  # the least time a page is given to load
TYPING_CHUNK = 32  # characters typed between two looks at the clock
DIALOG_ACTIONS = frozenset({"accept_dialog", "dismiss_dialog", "verify_dialog"})


class StepFailed(Exception):
    """A step did not do what it says; `message` tells the test writer why.

    `considered` holds the records the step weighed and did not take, for
    the failure's screenshot to outline.
    """

    def __init__(self, message, considered=()):
        super().__init__(message)
        self.message = message
        self.considered = list(considered)


class Miss:
    """An attempt that did not succeed (yet), and the records it weighed.

    Both may be given as functions, called only for the failure that is
    reported (naming the nearest candidates scores every record); `weighed`
    takes one function that gives both, so that the page is scored once.
    `of_reading`: the miss follows from the reading alone (nothing matched),
    so the same reading gives it again.
    """

    def __init__(self, message, considered=()):
        self._message, self._considered = message, considered
        self._both = None
        self.of_reading = False

    @classmethod
    def weighed(cls, both, of_reading=False):
        """A Miss whose (message, considered records) come from one call of `both`."""
        miss = cls(None)
        miss._both, miss.of_reading = both, of_reading
        return miss

    def _weigh(self):
        if self._both is not None:
            both, self._both = self._both, None
            self._message, considered = both()
            self._considered = tuple(considered)

    @property
    def message(self):
        self._weigh()
        if callable(self._message):
            self._message = self._message()
        return self._message

    @property
    def considered(self):
        self._weigh()
        if callable(self._considered):
            self._considered = tuple(self._considered())
        return self._considered


@dataclass
class Done:
    value: object = None


@dataclass
class Context:
    """What a step works with; `found` is left holding the step's last pick."""

    page: object
    engine: object
    dialogs: object
    timeout: float
    watchdog: object = field(default_factory=lambda: Watchdog(None))  # None: no bound
    found: object = None
    # Called with the pick just before a step acts on it (the debug storyboard).
    on_pick: object = None
    parts: int = ALL  # what the step reads of the page


# Steps that act on the page (mouse, keyboard, address).
ACTING = frozenset({"click", "type", "hover", "select", "press_key", "sendkeys", "navigate"})


def run_step(ctx, step):
    """Work one step on the page; returns what the step yields (extracted text) or None.

    The step ends within its time plus the watchdog's grace whatever the page
    does; past that, the watchdog raises NotResponding.
    """
    step, parsed = _read(ctx, step)
    action = parsed["action"]
    if action not in DIALOG_ACTIONS:
        ctx.dialogs.begin_step()
    ctx.parts = ctx.engine.parts_for(parsed, step)
    try:
        with ctx.watchdog.bound(budget(parsed, ctx.timeout) + GRACE_SECONDS):
            return _HANDLERS[action](ctx, step, parsed)
    finally:
        if action in ACTING:  # the page may differ in ways no page event tells
            ctx.engine.forget()


def _read(ctx, step):
    """(step, parsed step), or StepFailed when the step cannot be read or names nothing."""
    step = _blanks_for_tabs(step)
    gesture, plain = split_gesture(step)
    try:
        parsed = ctx.engine.parse(_HOVER_OVER_RE.sub(r"\1 on", plain, count=1))
    except ValueError as exc:
        raise StepFailed(messages.unreadable(step, str(exc))) from None
    if gesture is not None:
        parsed["gesture"] = gesture
        step = plain  # found as the click it is
    nothing = _names_nothing(parsed, step)
    if nothing:
        raise StepFailed(nothing)
    return step, parsed


def budget(parsed, timeout):
    """The seconds a parsed step may take: its timeout, a page load, or the time it waits."""
    if parsed["action"] == "navigate":
        return max(timeout, NAVIGATE_SECONDS)
    if parsed["action"] == "wait":
        return timeout + _wait_ms(parsed) / 1000
    return timeout


def _blanks_for_tabs(step):
    """A tab reads like a blank, except inside a double-quoted name."""
    parts = step.split('"')
    return '"'.join(p.replace("\t", " ") if i % 2 == 0 else p for i, p in enumerate(parts))


_ARTICLES = frozenset({"the", "a", "an"})
# 'hover over X' reads as 'hover on X', which the parser knows.
_HOVER_OVER_RE = re.compile(r"^(\s*hover)\s+over(?=\s+\S)", re.IGNORECASE)


def _names_nothing(parsed, step):
    """The failure message of a step whose target is empty once articles (and, for
    an element, an ordinal) are set aside; None for any other."""
    action = parsed["action"]
    if parsed.get("_literal_target") or action not in messages.TARGET_WHAT:
        return None
    target = parsed.get("target") or ""
    words = [w for w in target.split() if w.lower() not in _ARTICLES]
    if words and action in ELEMENT_ACTIONS:
        # An ordinal alone ('click the first') names nothing; a kind alone ('click the
        # button') names the one of that kind on the page (see `kind_only`).
        words = (with_ordinal(parsed, step)[0].get("target") or "").split()
    return None if words else messages.names_nothing(action, step)


# -- the settle loop -------------------------------------------------------------------


def _settle(ctx, attempt, quick=None):
    """`attempt` on readings of the page until it is Done or the step's time is up.

    `quick`, when given, first has its own look at the settled page on every
    try: Done, a Miss, or None when the look cannot decide.
    """
    deadline = time.monotonic() + ctx.timeout
    tries, last_read, outcome = 0, 0.0, None
    while True:
        tries += 1
        try:
            ctx.page.wait_for_load_state("domcontentloaded", timeout=_ms(deadline))
        except PlaywrightError:
            pass
        if quick is not None:
            outcome = quick(deadline) or outcome
            if isinstance(outcome, Done):
                return outcome.value
        empty = False
        started = time.monotonic()
        if started >= deadline:
            # The last read, made after the step's time is up, may take as long
            # as the one before it: the page is slow, not silent.
            ctx.watchdog.allow(last_read)
        before, outcome = outcome, _look(ctx, ctx.parts)
        last_read = time.monotonic() - started
        if not isinstance(outcome, Miss):
            elements, texts = outcome
            empty = not elements and not texts
            if ctx.engine.unchanged and isinstance(before, Miss) and before.of_reading:
                outcome = before  # the very reading the last attempt missed on
            else:
                outcome = attempt(elements, texts, deadline)
        if isinstance(outcome, Done):
            return outcome.value
        # A read of a large page can outlast the step's time: a step is tried at
        # least twice, so that it sees the page as it is when its time is up.
        left = deadline - time.monotonic()
        if left <= 0 and tries >= 2:
            if empty and ctx.page.url == "about:blank":
                raise StepFailed(messages.BLANK_PAGE)
            raise StepFailed(outcome.message, outcome.considered)
        try:
            ctx.engine.wait_for_change(min(max(left, 0), RETRY_SECONDS))
        except PlaywrightError:  # the page went away while it was watched
            ctx.engine.forget()


def _look(ctx, parts):
    """(elements, texts) read of the page, or the Miss of a page that could not be read."""
    try:
        return ctx.engine.read(parts)
    except PlaywrightError as exc:  # the page navigated while it was read
        ctx.engine.forget()
        return Miss(f"The page could not be read: {_first_line(exc)}")


def _ms(deadline, floor=0.5):
    """The time left until `deadline` as whole milliseconds, as Playwright shows them."""
    return math.ceil(max(deadline - time.monotonic(), floor) * 1000)


def _first_line(exc):
    lines = str(exc).strip().splitlines()
    return lines[0] if lines else type(exc).__name__


def _why(exc):
    """Playwright's reason for refusing an action, in words."""
    text = str(exc)
    if "not visible" in text:
        return "it is not visible"
    if "not enabled" in text or "disabled" in text:
        return "it is disabled"
    if "intercepts pointer events" in text:
        return "another element covers it"
    if "not editable" in text:
        return "it is not editable"
    return _first_line(exc)


def _changed(record, target):
    return Miss(f"{_name(record, target)!r} changed or left the page before it could be used.")


def _name(record, target):
    """How a message names an element: by the words of the step, else by what it shows."""
    return target or messages.name_of(record)


# -- acting on elements ----------------------------------------------------------------


def _missing(ctx, what, step, parsed, records):
    """The Miss of a step whose target matched nothing, with the nearest records; of
    one that names only a kind, how many of that kind there are."""
    target = parsed.get("target") or ""
    kind = kind_only(parsed, step)
    if kind and ctx.found is not None:
        return Miss(messages.not_one(kind, len(ctx.found.result.get("candidates") or ())))
    return Miss.weighed(lambda: messages.candidates(
        f"No {what} matches {target!r}.", target, records, action=parsed["action"]), True)


def _find(ctx, step, parsed, elements, texts):
    ctx.found = found = ctx.engine.find(parsed, step, elements, texts)
    return found


def locate(ctx, step):
    """The pick of an element step on a settled page, without acting on it."""
    step, parsed = _read(ctx, step)
    if parsed["action"] not in ELEMENT_ACTIONS:
        raise ValueError(
            f"{step!r} does not name an element to act on (its action is {parsed['action']}); "
            "locate takes click, type, select, hover, extract text and verify-element steps.")

    def attempt(elements, texts, deadline):
        found = _find(ctx, step, parsed, elements, texts)
        if found.element is None:
            return _missing(ctx, "element", step, parsed, elements)
        return Done(found)

    with ctx.watchdog.bound(budget(parsed, ctx.timeout) + GRACE_SECONDS):
        return _settle(ctx, attempt, _quickly(ctx, step, parsed, lambda found, deadline: Done(found)))


def _quickly(ctx, step, parsed, then):
    """The quick try of `_settle` for an element step: `then(found, deadline)` on the
    pick of a quick look at the page (`Engine.quick_find`), None when it cannot decide."""

    def quick(deadline):
        try:
            found = ctx.engine.quick_find(parsed, step)
        except PlaywrightError:  # the page navigated while it was looked at
            found = None
        if found is None:
            return None
        ctx.found = found
        return then(found, deadline)

    return quick


def _on_element(ctx, step, parsed, act, what="element"):
    """Find the step's element on a settled page and `act` on its locator."""
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        found = _find(ctx, step, parsed, elements, texts)
        if found.element is None:
            return _missing(ctx, what, step, parsed, elements)
        return act_on(found, deadline)

    def act_on(found, deadline):
        if ctx.on_pick is not None:
            ctx.on_pick(found)
        try:
            return Done(act(ctx.engine.element(found.element), found.element, deadline))
        except Stale:
            ctx.engine.forget()
            return _changed(found.element, target)
        except PlaywrightError as exc:
            ctx.engine.forget()  # a refused action may have done part of its work
            if "not attached to the DOM" in str(exc):  # re-rendered since it was found
                return _changed(found.element, target)
            verb = parsed["action"]
            return Miss(f"Could not {verb} {_name(found.element, target)!r}: {_why(exc)}.")
        except _Refused as refusal:
            return Miss(str(refusal))

    return _settle(ctx, attempt, _quickly(ctx, step, parsed, act_on))


class _Refused(Exception):
    """The element was found but cannot take this action (no such option, not a list)."""


def _click(ctx, step, parsed):
    gesture = parsed.get("gesture")
    _on_element(ctx, step, parsed, lambda loc, el, dl: press(loc, gesture, _ms(dl), el, ctx.page))


def _hover(ctx, step, parsed):
    _on_element(ctx, step, parsed, lambda loc, el, dl: loc.hover(timeout=_ms(dl)))


# Inputs whose value the browser drops when it does not fit the
# type (a date 'tomorrow' reads as '').
_CHECKED_TYPES = frozenset({"date", "time", "datetime-local", "month", "week"})


def _type(ctx, step, parsed):
    value = parsed.get("value") or ""

    def fill(loc, element, deadline):
        try:
            loc.fill(value, timeout=_ms(deadline))
        except PlaywrightError as exc:
            if "not an <input>" not in str(exc):
                raise
            # A custom field that is neither an input nor editable text: type into it.
            loc.click(timeout=_ms(deadline))
            _type_keys(ctx, value, deadline)
            return
        kind = str((element.get("attributes") or {}).get("type") or "").lower()
        if element.get("tag") == "input" and kind in _CHECKED_TYPES:
            shown = loc.evaluate("el => el.value")
            if shown != value.strip():
                raise _Refused(f"{_name(element, parsed.get('target') or '')!r} is a {kind} field "
                               f"and does not take {value!r}: it shows {shown!r}.")

    _on_element(ctx, step, parsed, fill, what="field")


_OPTIONS_JS = "el => el.options ? Array.from(el.options).map(o => [o.label, o.value, o.disabled]) : null"


def _select(ctx, step, parsed):
    value = parsed.get("value") or ""
    target = parsed.get("target") or ""

    def choose(loc, element, deadline):
        options = loc.evaluate(_OPTIONS_JS)
        name = _name(element, target)
        if options is None:
            raise _Refused(f"{name!r} is not a dropdown list, so no option can be selected in it.")
        labels = [label for label, _, _ in options]
        wanted = value.strip()
        for matches in (
            lambda label, val: label == value,
            lambda label, val: label.strip().casefold() == wanted.casefold(),
            lambda label, val: val == value or val == wanted,
        ):
            for index, (label, val, disabled) in enumerate(options):
                if matches(label, val):
                    if disabled:
                        raise _Refused(f"{name!r} has the option {label!r}, but it is disabled.")
                    loc.select_option(index=index, timeout=_ms(deadline))
                    return
        raise _Refused(
            f"{name!r} has no option {value!r}. Options: {messages.listing(labels[:10])}."
        )

    _on_element(ctx, step, parsed, choose, what="dropdown list")


def _extract_text(ctx, step, parsed):
    def read(element, deadline):
        if element.get("tag") in ("input", "textarea"):
            return ctx.engine.element(element).input_value(timeout=_ms(deadline))
        if element.get("tag") == "select":
            return ctx.engine.element(element).evaluate(
                "el => el.selectedOptions.length ? el.selectedOptions[0].label : ''")
        return (element.get("text") or "").strip()

    def attempt(elements, texts, deadline):
        found = _find(ctx, step, parsed, elements, texts)
        if found.element is None:
            ctx.parts |= BARE  # the text may stand bare beside elements: read that too
            return _missing(ctx, "element or text", step, parsed, elements + texts)
        if ctx.on_pick is not None:
            ctx.on_pick(found)
        try:
            return Done(read(found.element, deadline))
        except Stale:
            return _changed(found.element, parsed.get("target") or "")
        except PlaywrightError:  # the field went away: its text as read is the answer
            return Done((found.element.get("text") or "").strip())

    return _settle(ctx, attempt)


# -- verifying -------------------------------------------------------------------------


def _verify_element(ctx, step, parsed):
    target = parsed.get("target") or ""
    wanted = parsed["action"][len("verify_"):]  # present, visible, enabled, disabled

    def attempt(elements, texts, deadline):
        found = _find(ctx, step, parsed, elements, texts)
        if found.element is None:
            # No element carries the name: the page's text may (present even when hidden).
            shown = None if wanted in ("enabled", "disabled") else ctx.engine.shown_as_text(parsed, step)
            if shown is None:
                return _missing(ctx, "element", step, parsed, elements)
            if shown or wanted == "present":
                return Done()
            return Miss(f"{target!r} is present but not visible.")
        return judge(found)

    def judge(found):
        element = found.element
        if found.spatial:
            visible, enabled = bool(element.get("is_visible")), bool(element.get("is_enabled"))
            holds = {"present": True, "visible": visible, "enabled": enabled,
                     "disabled": not enabled}[wanted]
        else:
            state = found.result.get("state") or {}
            visible, enabled = bool(state.get("visible")), bool(state.get("enabled"))
            holds = bool(found.result.get("verified"))
        if holds:
            return Done()
        name = messages.name_of(element) or target
        also = "" if name.casefold() == target.casefold() else f" (the element found: {name!r})"
        if wanted == "visible":
            return Miss(f"{target!r} is present but not visible{also}.")
        actual = "enabled" if enabled else "disabled"
        return Miss(f"{target!r} is {actual}, expected {wanted}{also}.")

    _settle(ctx, attempt, _quickly(ctx, step, parsed, lambda found, deadline: judge(found)))


# What a text check reads next when what it read does not pass.
_WIDER_TEXT_READ = {GLANCE: PAGE_TEXT, PAGE_TEXT: TEXTS | PAGE_TEXT}


def _verify_text(ctx, step, parsed):
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        # A check that the page's text as a person reads it passes needs no
        # text records: the step first glances at the lines the page shows,
        # then at all of its text (hidden text, the values fields show), and
        # only then reads the text records. A page read whole already holds them.
        while not ctx.engine.sees_text(parsed):
            if ctx.parts not in _WIDER_TEXT_READ:
                break
            ctx.parts = _WIDER_TEXT_READ[ctx.parts]
            if not elements and not texts:
                looked = _look(ctx, ctx.parts)
                if isinstance(looked, Miss):
                    return looked
                elements, texts = looked
        else:
            return Done()
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("verified"):
            return Done()
        if not result.get("resolved"):
            return _no_text_contains(target, texts)
        return Miss(f"Text {target!r} is present but not visible.", (result["element"],))

    _settle(ctx, attempt)


def _no_text_contains(target, texts):
    return Miss.weighed(
        lambda: messages.candidates(f"No text contains {target!r}.", target, texts))


def _direction_miss(result, target, texts):
    """Why a directional text step found nothing: no direction, no anchor, or nothing there."""
    phrase, anchor = split_direction(target)
    if phrase is None:
        return f"{target!r} does not start with a direction ({', '.join(TEXT_DIRECTIONS)})."
    if not result.get("resolved"):
        return messages.with_candidates(f"No text {anchor!r} to look {phrase}.", anchor, texts)
    return f"Nothing is {phrase} {anchor!r}."


def _verify_spatial_text(ctx, step, parsed):
    target, expected = parsed.get("target") or "", parsed.get("value") or ""

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("verified"):
            return Done()
        if not result.get("resolved") or not result.get("candidates"):
            return Miss(lambda: _direction_miss(result, target, texts))
        phrase, anchor = split_direction(target)
        actual = (result.get("state") or {}).get("actual", "")
        return Miss(f"The text {phrase} {anchor!r} is {actual!r}, expected {expected!r}.")

    _settle(ctx, attempt)


def _extract_spatial_text(ctx, step, parsed):
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("resolved"):
            return Done(result.get("extracted", ""))
        def message():
            probe = ctx.engine.text_match._resolve_verify_spatial_text(
                target, "", texts, with_image_names(elements))
            return _direction_miss(probe, target, texts)

        return Miss(message)

    return _settle(ctx, attempt)


def _find_text(ctx, step, parsed):
    target = parsed.get("target") or ""
    exact = parsed["action"] == "find_exact_text"

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("resolved"):
            return Done((result["element"].get("text") or "").strip())
        ctx.parts |= PAGE_TEXT  # the text may stand bare beside elements: read that too
        if exact:
            near = result.get("candidates") or []
            return Miss.weighed(lambda: messages.candidates(
                f"No text equals {target!r}.", target, texts, near, parsed["action"], exact=True))
        return _no_text_contains(target, texts)

    return _settle(ctx, attempt)


# -- the page as a whole: navigation, time, keys, dialogs ------------------------------


def _navigate(ctx, step, parsed):
    target = parsed.get("target") or ""
    current = ctx.page.url
    try:
        if urlparse(target).scheme:
            url = target
        elif current and current != "about:blank":
            url = urljoin(current, target)
        else:
            raise StepFailed(f"No page is open to resolve {target!r} against; give a full address.")
    except ValueError as exc:  # such as an IPv6 host without its closing bracket
        raise StepFailed(f"{target!r} is not an address that can be opened: {exc}.") from None
    try:
        ctx.page.goto(url, timeout=math.ceil(budget(parsed, ctx.timeout) * 1000))
    except PlaywrightError as exc:
        raise StepFailed(f"Could not open {url!r}: {_first_line(exc)}") from None


def _wait_ms(parsed):
    ms = parsed.get("target") or ""
    if not (ms.isascii() and ms.isdigit()):
        raise StepFailed(f"A wait takes a number of milliseconds, such as 'wait 500'; got {ms!r}.")
    if int(ms) > LONGEST_WAIT_MS:
        raise StepFailed(
            f"A wait of {int(ms)} ms is longer than 10 minutes ({LONGEST_WAIT_MS} ms), "
            "the longest a step may wait."
        )
    return int(ms)


def _wait(ctx, step, parsed):
    ctx.page.wait_for_timeout(_wait_ms(parsed))


def _press(ctx, key):
    try:
        ctx.page.keyboard.press(key)
    except PlaywrightError as exc:
        raise StepFailed(f"Could not press {key!r}: {_first_line(exc)}") from None


def _press_key(ctx, step, parsed):
    target = parsed.get("target") or ""
    _press(ctx, key_combination(target) or target)


def _sendkeys(ctx, step, parsed):
    """A key name or combination is pressed; any other text is typed where the focus is."""
    keys = parsed.get("value") or parsed.get("target") or ""
    combination = key_combination(keys)
    if combination and len(keys.strip()) > 1:
        _press(ctx, combination)
    else:
        _type_keys(ctx, keys, time.monotonic() + ctx.timeout)


def _type_keys(ctx, text, deadline):
    """Type `text` key by key where the focus is, within the step's time."""
    for start in range(0, len(text), TYPING_CHUNK):
        if start and time.monotonic() >= deadline:
            raise StepFailed(
                f"Typing took longer than the step's {ctx.timeout:g} s: {start} of "
                f"{len(text)} characters were typed."
            )
        ctx.page.keyboard.type(text[start:start + TYPING_CHUNK])


def _accept_dialog(ctx, step, parsed):
    ctx.dialogs.accept()


def _dismiss_dialog(ctx, step, parsed):
    problem = ctx.dialogs.dismiss()
    if problem:
        raise StepFailed(problem)


def _verify_dialog(ctx, step, parsed):
    expected = parsed.get("value") or ""
    deadline = time.monotonic() + ctx.timeout
    while ctx.dialogs.match(expected) is None:
        if time.monotonic() >= deadline:
            others = ctx.dialogs.unverified()
            if others:
                raise StepFailed(f"The dialog says {others[-1].message!r}, expected {expected!r}.")
            raise StepFailed(f"No dialog opened; expected one that says {expected!r}.")
        ctx.page.wait_for_timeout(100)


_HANDLERS = {
    "click": _click,
    "type": _type,
    "hover": _hover,
    "select": _select,
    "press_key": _press_key,
    "sendkeys": _sendkeys,
    "extract_text": _extract_text,
    "extract_text_spatial": _extract_spatial_text,
    "find_text": _find_text,
    "find_exact_text": _find_text,
    "verify_present": _verify_element,
    "verify_visible": _verify_element,
    "verify_enabled": _verify_element,
    "verify_disabled": _verify_element,
    "verify_text_present": _verify_text,
    "verify_text_visible": _verify_text,
    "verify_spatial_text": _verify_spatial_text,
    "accept_dialog": _accept_dialog,
    "dismiss_dialog": _dismiss_dialog,
    "verify_dialog": _verify_dialog,
    "navigate": _navigate,
    "wait": _wait,
}
