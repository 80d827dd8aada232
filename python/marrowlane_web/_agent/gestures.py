"""Clicks: the plain click, the double click and the right click.

'double click X' (also 'double-click', 'doubleclick') and 'right click X'
read as 'click X' pressed another way: the target is found exactly as a
click's, and the gesture decides only how the pointer presses it.

The element was read a moment ago. When it is still where it was read,
enabled, and the point at its centre hits it (after scrolling it into view),
it is pressed at once, without the automation's wait for two unchanged
frames: it is as still as that wait would find it. The press is still the
automation's own, so it waits as ever for a navigation it starts. A guard in
the page stands between the check and the press: a press that reaches any
other element (one re-rendered into its place meanwhile) is stopped there
and the element counts as changed. Any other element (one that moved, one
covered, one in a frame, whose points are not the page's) goes through the
automation's checks, waits and refusals.
"""

import re

from playwright.sync_api import Error as PlaywrightError

from .reading import Stale

_GESTURE_RE = re.compile(r"\s*(double|right)[ \t-]?click(?=\s|$)", re.IGNORECASE)

DOUBLE, RIGHT = "double", "right"


def split_gesture(step):
    """(gesture or None, the step written as a plain click)."""
    match = _GESTURE_RE.match(step)
    if match is None:
        return None, step
    return match.group(1).lower(), "click" + step[match.end():]


_GUARD = "Symbol.for('marrowlane.press')"
# The point, in the page's viewport, at the centre of an element that is where
# `box` (its box as read) says, enabled and not covered there; null for any
# other. With a point, a guard is set: the first press the user's pointer
# makes must reach the element, or it and every press after it until the guard
# is lifted are stopped before the page sees them. Only the top document
# answers: a frame's points are its own.
_READY_POINT_JS = """(el, box) => {
  if (window !== window.top || !el.isConnected || !box) return null;
  if (el.matches(':disabled') || el.closest('[aria-disabled=true]')) return null;
  let r = el.getBoundingClientRect();
  if (r.x !== box.x || r.y !== box.y || r.width !== box.width || r.height !== box.height ||
      !(r.width > 0 && r.height > 0)) return null;
  if (r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight) {
    el.scrollIntoView({block: 'center', inline: 'center', behavior: 'instant'});
    r = el.getBoundingClientRect();
  }
  const x = r.left + r.width / 2, y = r.top + r.height / 2;
  let hit = document.elementFromPoint(x, y);
  while (hit && hit.shadowRoot) {
    const inner = hit.shadowRoot.elementFromPoint(x, y);
    if (!inner || inner === hit) break;
    hit = inner;
  }
  let n = hit;
  while (n && n !== el) n = n.parentNode || n.host;
  if (!n) return null;
  // The first press decides: what it opens (a menu) may take the ones after it.
  const guard = {reached: null, types: ['pointerdown', 'mousedown', 'pointerup', 'mouseup', 'click',
    'auxclick', 'contextmenu', 'dblclick']};
  guard.check = e => {
    if (!e.isTrusted) return;
    if (guard.reached === null) guard.reached = e.composedPath().includes(el);
    if (guard.reached) return;
    e.stopImmediatePropagation();
    e.preventDefault();
  };
  for (const type of guard.types) window.addEventListener(type, guard.check, true);
  globalThis[""" + _GUARD + """] = guard;
  return [x, y];
}"""
# Whether the press reached the element alone; the guard is taken away. A
# document without the guard is a new one the press navigated to.
_GUARD_LIFTED_JS = """() => {
  const guard = globalThis[""" + _GUARD + """];
  delete globalThis[""" + _GUARD + """];
  if (!guard) return true;
  for (const type of guard.types) window.removeEventListener(type, guard.check, true);
  return guard.reached === true;
}"""


def _ready_point(locator, record):
    """The point to press for an element as `record` read it, or None when the
    automation's checks must decide (see the module's note)."""
    if not (record.get("is_visible") and record.get("is_enabled")):
        return None
    box = record.get("bounding_box")
    return locator.evaluate(_READY_POINT_JS, box if isinstance(box, dict) else None)


def press(locator, gesture, timeout_ms, record, page):
    """Click `locator` the way `gesture` says (None: a plain left click); at once when
    `record`, as read, says it is ready. Raises Stale when the press met another
    element in its place."""
    ready = _ready_point(locator, record) is not None
    if gesture == DOUBLE:
        locator.dblclick(timeout=timeout_ms, force=ready)
    else:
        locator.click(button="right" if gesture == RIGHT else "left", timeout=timeout_ms,
                      force=ready)
    if ready:
        try:
            reached = page.evaluate(_GUARD_LIFTED_JS)
        except PlaywrightError:  # the press navigated: the old document is gone
            reached = True
        if not reached:
            raise Stale("another element took its place")
