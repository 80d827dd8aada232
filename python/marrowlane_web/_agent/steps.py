"""One handler per action of the step language, and the loop that lets a page settle.

A step whose target is not on the page yet is tried again on a fresh read of
the page until its time runs out (and at least twice); only then does it
fail, with the message of its last attempt.
"""

import time
from dataclasses import dataclass
from urllib.parse import urljoin, urlparse

from playwright.sync_api import Error as PlaywrightError

from . import messages
from .keys import key_combination

POLL_SECONDS = 0.15
DIALOG_ACTIONS = frozenset({"accept_dialog", "dismiss_dialog", "verify_dialog"})
_DIRECTIONS = ("right of", "next to", "left of", "below", "under", "above")


class StepFailed(Exception):
    """A step did not do what it says; `message` tells the test writer why."""

    def __init__(self, message):
        super().__init__(message)
        self.message = message


@dataclass
class Miss:
    """An attempt that did not succeed (yet)."""

    message: str


@dataclass
class Done:
    value: object = None


@dataclass
class Context:
    page: object
    engine: object
    dialogs: object
    timeout: float


def run_step(ctx, step):
    """Work one step on the page; returns what the step yields (extracted text) or None."""
    try:
        parsed = ctx.engine.parse(step)
    except ValueError as exc:
        raise StepFailed(str(exc)) from None
    action = parsed["action"]
    if action not in DIALOG_ACTIONS:
        ctx.dialogs.begin_step()
    return _HANDLERS[action](ctx, step, parsed)


# -- the settle loop -------------------------------------------------------------------


def _settle(ctx, attempt):
    deadline = time.monotonic() + ctx.timeout
    tries = 0
    while True:
        tries += 1
        try:
            ctx.page.wait_for_load_state("domcontentloaded", timeout=_ms(deadline))
        except PlaywrightError:
            pass
        try:
            elements, texts = ctx.engine.read()
        except PlaywrightError as exc:  # the page navigated while it was read
            outcome = Miss(f"The page could not be read: {_first_line(exc)}")
        else:
            outcome = attempt(elements, texts, deadline)
        if isinstance(outcome, Done):
            return outcome.value
        # A read of a large page can outlast the step's time: a step is tried at
        # least twice, so that it sees the page as it is when its time is up.
        if time.monotonic() >= deadline and tries >= 2:
            raise StepFailed(outcome.message)
        ctx.page.wait_for_timeout(POLL_SECONDS * 1000)


def _ms(deadline, floor=0.5):
    return max(deadline - time.monotonic(), floor) * 1000


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


def _locate(ctx, record):
    return ctx.page.locator("xpath=" + (record.get("xpath") or "/.."))


def _name(record, target):
    """How a message names an element: by the words of the step, else by what it shows."""
    return target or messages.name_of(record)


# -- acting on elements ----------------------------------------------------------------


def _on_element(ctx, step, parsed, act, what="element"):
    """Find the step's element on a settled page and `act` on its locator."""
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        found = ctx.engine.find(parsed, step, elements, texts)
        if found.element is None:
            return Miss(messages.not_found(what, target, elements))
        try:
            return Done(act(_locate(ctx, found.element), found.element, deadline))
        except PlaywrightError as exc:
            verb = parsed["action"]
            return Miss(f"Could not {verb} {_name(found.element, target)!r}: {_why(exc)}.")
        except _Refused as refusal:
            return Miss(str(refusal))

    return _settle(ctx, attempt)


class _Refused(Exception):
    """The element was found but cannot take this action (no such option, not a list)."""


def _click(ctx, step, parsed):
    _on_element(ctx, step, parsed, lambda loc, el, dl: loc.click(timeout=_ms(dl)))


def _hover(ctx, step, parsed):
    _on_element(ctx, step, parsed, lambda loc, el, dl: loc.hover(timeout=_ms(dl)))


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
            ctx.page.keyboard.type(value)

    _on_element(ctx, step, parsed, fill, what="field")


_OPTIONS_JS = "el => el.options ? Array.from(el.options).map(o => [o.label, o.value]) : null"


def _select(ctx, step, parsed):
    value = parsed.get("value") or ""
    target = parsed.get("target") or ""

    def choose(loc, element, deadline):
        options = loc.evaluate(_OPTIONS_JS)
        name = _name(element, target)
        if options is None:
            raise _Refused(f"{name!r} is not a dropdown list, so no option can be selected in it.")
        labels = [label for label, _ in options]
        wanted = value.strip()
        for matches in (
            lambda label, val: label == value,
            lambda label, val: label.strip().casefold() == wanted.casefold(),
            lambda label, val: val == value or val == wanted,
        ):
            for index, (label, val) in enumerate(options):
                if matches(label, val):
                    loc.select_option(index=index, timeout=_ms(deadline))
                    return
        raise _Refused(
            f"{name!r} has no option {value!r}. Options: {messages.listing(labels[:10])}."
        )

    _on_element(ctx, step, parsed, choose, what="dropdown list")


def _extract_text(ctx, step, parsed):
    def read(loc, element, deadline):
        if element.get("tag") in ("input", "textarea"):
            return loc.input_value(timeout=_ms(deadline))
        if element.get("tag") == "select":
            return loc.evaluate("el => el.selectedOptions.length ? el.selectedOptions[0].label : ''")
        return (element.get("text") or "").strip()

    def attempt(elements, texts, deadline):
        found = ctx.engine.find(parsed, step, elements, texts)
        if found.element is None:
            target = parsed.get("target") or ""
            return Miss(messages.not_found("element or text", target, elements + texts))
        try:
            return Done(read(_locate(ctx, found.element), found.element, deadline))
        except PlaywrightError:  # the field went away: its text as read is the answer
            return Done((found.element.get("text") or "").strip())

    return _settle(ctx, attempt)


# -- verifying -------------------------------------------------------------------------


def _verify_element(ctx, step, parsed):
    target = parsed.get("target") or ""
    wanted = parsed["action"][len("verify_"):]  # present, visible, enabled, disabled

    def attempt(elements, texts, deadline):
        found = ctx.engine.find(parsed, step, elements, texts)
        if found.element is None:
            return Miss(messages.not_found("element", target, elements))
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

    _settle(ctx, attempt)


def _verify_text(ctx, step, parsed):
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("verified"):
            return Done()
        if not result.get("resolved"):
            return Miss(messages.with_candidates(f"No text contains {target!r}.", target, texts))
        return Miss(f"Text {target!r} is present but not visible.")

    _settle(ctx, attempt)


def _split_direction(target):
    low = target.lower()
    for phrase in _DIRECTIONS:
        if low.startswith(phrase + " "):
            return phrase, target[len(phrase) + 1:].strip()
    return None, target


def _direction_miss(result, target, texts):
    """Why a directional text step found nothing: no direction, no anchor, or nothing there."""
    phrase, anchor = _split_direction(target)
    if phrase is None:
        return f"{target!r} does not start with a direction ({', '.join(_DIRECTIONS)})."
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
            return Miss(_direction_miss(result, target, texts))
        phrase, anchor = _split_direction(target)
        actual = (result.get("state") or {}).get("actual", "")
        return Miss(f"The text {phrase} {anchor!r} is {actual!r}, expected {expected!r}.")

    _settle(ctx, attempt)


def _extract_spatial_text(ctx, step, parsed):
    target = parsed.get("target") or ""

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("resolved"):
            return Done(result.get("extracted", ""))
        probe = ctx.engine.text_match._resolve_verify_spatial_text(target, "", texts, elements)
        return Miss(_direction_miss(probe, target, texts))

    return _settle(ctx, attempt)


def _find_text(ctx, step, parsed):
    target = parsed.get("target") or ""
    exact = parsed["action"] == "find_exact_text"

    def attempt(elements, texts, deadline):
        result = ctx.engine.resolve_text(parsed, elements, texts)
        if result.get("resolved"):
            return Done((result["element"].get("text") or "").strip())
        if exact:
            near = result.get("candidates") or []
            return Miss(messages.with_candidates(f"No text equals {target!r}.", target, texts, near))
        return Miss(messages.with_candidates(f"No text contains {target!r}.", target, texts))

    return _settle(ctx, attempt)


# -- the page as a whole: navigation, time, keys, dialogs ------------------------------


def _navigate(ctx, step, parsed):
    target = parsed.get("target") or ""
    current = ctx.page.url
    if urlparse(target).scheme:
        url = target
    elif current and current != "about:blank":
        url = urljoin(current, target)
    else:
        raise StepFailed(f"No page is open to resolve {target!r} against; give a full address.")
    try:
        ctx.page.goto(url, timeout=max(ctx.timeout, 30.0) * 1000)
    except PlaywrightError as exc:
        raise StepFailed(f"Could not open {url!r}: {_first_line(exc)}") from None


def _wait(ctx, step, parsed):
    ms = parsed.get("target") or ""
    if not (ms.isascii() and ms.isdigit()):
        raise StepFailed(f"A wait takes a number of milliseconds, such as 'wait 500'; got {ms!r}.")
    ctx.page.wait_for_timeout(int(ms))


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
        ctx.page.keyboard.type(keys)


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
