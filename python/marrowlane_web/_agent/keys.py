"""Key names as test writers type them ('enter', 'ctrl+a') -> Playwright's ('Enter', 'Control+a')."""

_NAMES = {
    "enter": "Enter",
    "return": "Enter",
    "tab": "Tab",
    "escape": "Escape",
    "esc": "Escape",
    "space": "Space",
    "backspace": "Backspace",
    "delete": "Delete",
    "del": "Delete",
    "insert": "Insert",
    "home": "Home",
    "end": "End",
    "pageup": "PageUp",
    "pagedown": "PageDown",
    "up": "ArrowUp",
    "down": "ArrowDown",
    "left": "ArrowLeft",
    "right": "ArrowRight",
    "arrowup": "ArrowUp",
    "arrowdown": "ArrowDown",
    "arrowleft": "ArrowLeft",
    "arrowright": "ArrowRight",
    "ctrl": "Control",
    "control": "Control",
    "shift": "Shift",
    "alt": "Alt",
    "option": "Alt",
    "meta": "Meta",
    "cmd": "Meta",
    "command": "Meta",
    "controlormeta": "ControlOrMeta",
}
_NAMES.update({f"f{n}": f"F{n}" for n in range(1, 13)})


def _part(word):
    """One key of a combination: a known name, or a single character; None otherwise."""
    name = _NAMES.get(word.strip().lower().replace(" ", ""))
    if name:
        return name
    return word if len(word) == 1 else None


def key_combination(text):
    """'ctrl + a' -> 'Control+a'; None when the text is not a key or a key combination."""
    text = text.strip()
    if not text:
        return None
    if len(text) == 1:
        return text
    words = text.split("+")
    keys = [_part(w) if w.strip() else None for w in words]
    if any(k is None for k in keys):
        return None
    return "+".join(keys)
