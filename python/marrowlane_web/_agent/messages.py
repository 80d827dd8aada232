"""Failure messages: what was not found or which state differed, and what was there instead."""

from difflib import SequenceMatcher

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


def _surfaces(record):
    attributes = record.get("attributes") if isinstance(record.get("attributes"), dict) else {}
    values = [record.get("text")] + [attributes.get(key) for key in _NAME_ATTRIBUTES]
    return [v.strip().lower() for v in values if isinstance(v, str) and v.strip()]


def nearest(target, records, limit=3):
    """Names of up to `limit` records that come closest to `target`, best first."""
    want = (target or "").strip().lower()
    scored = []
    for order, record in enumerate(records):
        name = name_of(record)
        surfaces = _surfaces(record) if name else []
        if not surfaces:
            continue
        score = max(
            SequenceMatcher(None, want, s).ratio() + (0.5 if want and (want in s or s in want) else 0)
            for s in surfaces
        )
        visible = 1 if record.get("is_visible") else 0
        scored.append((-score, -visible, order, name))
    names = []
    for *_, name in sorted(scored):
        if name not in names:
            names.append(name)
        if len(names) == limit:
            break
    return names


def listing(names):
    return ", ".join(repr(n) for n in names)


def with_candidates(message, target, records, first=()):
    """`message` followed by the nearest candidates (those in `first` lead the list)."""
    names = []
    for name in [name_of(r) for r in first] + nearest(target, records):
        if name and name not in names:
            names.append(name)
    if names:
        return f"{message} Nearest candidates: {listing(names[:3])}."
    return f"{message} The page shows nothing like it."


def not_found(what, target, records, first=()):
    return with_candidates(f"No {what} matches {target!r}.", target, records, first)
