"""Clicks other than the plain left click: the double click and the right click.

'double click X' (also 'double-click', 'doubleclick') and 'right click X'
read as 'click X' pressed another way: the target is found exactly as a
click's, and the gesture decides only how the pointer presses it.
"""

import re

_GESTURE_RE = re.compile(r"\s*(double|right)[ \t-]?click(?=\s|$)", re.IGNORECASE)

DOUBLE, RIGHT = "double", "right"


def split_gesture(step):
    """(gesture or None, the step written as a plain click)."""
    match = _GESTURE_RE.match(step)
    if match is None:
        return None, step
    return match.group(1).lower(), "click" + step[match.end():]


def press(locator, gesture, timeout_ms):
    """Click `locator` the way `gesture` says (None: a plain left click)."""
    if gesture == DOUBLE:
        locator.dblclick(timeout=timeout_ms)
    elif gesture == RIGHT:
        locator.click(button="right", timeout=timeout_ms)
    else:
        locator.click(timeout=timeout_ms)
