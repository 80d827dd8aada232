"""Failure messages: what was not found or which state differed, and what was there instead."""

from marrowlane_web._core import account
from marrowlane_web._core import nearest as _nearest

_NAME_ATTRIBUTES = ("aria-label", "_label", "placeholder", "title", "alt", "value", "name", "id")
_MAX_NAME = 60


def _clip(text):
    text = " ".join(text.split())
    return text if len(text) <= _MAX_NAME else text[: _MAX_NAME - 1] + "…"


def name_of(record):
    """The name a person would use for a record: its text, else its label or attributes."""
    if not isinstance(record, dict):
        return ""
    names = []
    attributes = record.get("attributes")
    if isinstance(attributes, dict):
        names = [attributes.get(key) for key in _NAME_ATTRIBUTES]
    text = record.get("text")
    if record.get("tag") == "select":  # its text is every option: its label names it better
        names.append(text)
    else:
        names.insert(0, text)
    for name in names:
        if isinstance(name, str) and name.strip():
            return _clip(name.strip().splitlines()[0])
    return ""


def nearest(target, records, limit=3):
    """Names of up to `limit` records that come closest to `target`, best first."""
    return [name_of(record) for record in nearest_records(target, records, limit)]


def nearest_records(target, records, limit=3):
    """Up to `limit` records that come closest to `target`, best first, one per name.

    A record is as close as the best of its text and naming attributes (difflib's
    ratio, plus 0.5 for containment); visible records come before hidden ones,
    then page order decides. The records are the caller's own.
    """
    records = records if isinstance(records, list) else list(records)
    return _nearest.nearest_records(target or "", records, limit)


def listing(names):
    return ", ".join(repr(n) for n in names)


def considered(target, records, first=()):
    """The records a failed step considered: those in `first`, then the nearest, three at most."""
    names, chosen = [], []
    for record in list(first) + nearest_records(target, records):
        name = name_of(record)
        if name and name not in names:
            names.append(name)
            chosen.append(record)
    return chosen[:3]


def with_candidates(message, target, records, first=(), action="", exact=False):
    """`message` followed by the nearest candidates (those in `first` lead the list).

    With the step's `action`, each candidate says why it was not taken
    (hidden, disabled, the wrong kind for the action, a partial match, ...).
    """
    return candidates(message, target, records, first, action, exact)[0]


def candidates(message, target, records, first=(), action="", exact=False):
    """(`with_candidates`' message, the records it names): the page is weighed once for both."""
    chosen = considered(target, records, first)
    if not chosen:
        return f"{message} The page shows nothing like it.", chosen
    shown = []
    for record in chosen:
        name = name_of(record)
        why = account.not_taken(action, target, record, exact) if action else ""
        shown.append(f"{name!r} ({why})" if why else repr(name))
    return f"{message} Nearest candidates: {', '.join(shown)}.", chosen


# -- steps that cannot be worked at all ----------------------------------------------------

_QUOTED_MAX = 200  # a long step is quoted by its beginning

# What a step's target has to name, by action.
TARGET_WHAT = {
    "click": "nothing to click",
    "hover": "nothing to hover over",
    "type": "no field to type into",
    "select": "no dropdown list to select from",
    "extract_text": "nothing to extract text from",
    "verify_present": "nothing to verify",
    "verify_visible": "nothing to verify",
    "verify_enabled": "nothing to verify",
    "verify_disabled": "nothing to verify",
    "verify_text_present": "no text to verify",
    "verify_text_visible": "no text to verify",
    "find_text": "no text to find",
    "find_exact_text": "no text to find",
}

# The forms of the step language, as a person writes them.
STEP_FORMS = (
    "click ...", "type ... into ...", "select ... from ...", "hover ...", "double click ...",
    "right click ...", "press ...", "sendkeys ...", "navigate ...", "wait ...", "verify ... is present|visible|enabled|disabled",
    "verify text ... is present|visible", "verify text next to ... is ...", "find text ...",
    "find exact text ...", "extract text ...", "accept dialog", "dismiss dialog",
    "verify dialog says ...",
)

BLANK_PAGE = (
    "The page is blank: nothing was opened (no URL is configured and no step navigated). "
    "Set URL in marrowlane.web.config.py, or start with a step such as 'navigate \"http://...\"'."
)


def quoted(step):
    """The step as a quoted literal, cut to its first 200 characters when longer."""
    if len(step) <= _QUOTED_MAX:
        return repr(step)
    return f"{step[:_QUOTED_MAX]!r}… ({len(step)} characters)"


def names_nothing(action, step):
    return (
        f"The step {quoted(step)} names {TARGET_WHAT[action]}: name it (\"Log in\", the Login "
        "button) or give its place (the first button, the button next to \"Email\")."
    )


def not_one(kind, count):
    """Why a step that names only a kind ('the dropdown') found no one element of it."""
    words = kind.split()
    words[-1] += "es" if words[-1].endswith(("x", "s")) else "s"
    if not count:
        return f"No {kind} is on the page."
    return (f"{count} {' '.join(words)} are on the page: name the one meant (\"Log in\", the Login "
            f"button) or give its place (the first {kind}, the {kind} next to \"Email\").")


def unreadable(step, parser_message):
    """Why the parser could not read `step`, in the words of the step language."""
    if not step.strip():
        return "The step is empty: write one step per line, such as 'click \"Log in\"'."
    if parser_message.startswith("Unrecognised instruction"):
        return f"Unrecognised step {quoted(step)}. A step reads: {', '.join(STEP_FORMS)}."
    if len(parser_message) > 2 * _QUOTED_MAX:
        return parser_message[: 2 * _QUOTED_MAX] + "…"
    return parser_message
