"""Answering the page's dialogs (alert, confirm, prompt).

A dialog stops the page until it is answered, and the action that opened it
(a click, a key press) does not return before then. So the answer has to be
known when the dialog opens:

- 'accept dialog' or 'dismiss dialog' written before the step that opens a
  dialog sets the answer for that next dialog;
- a dialog nobody prepared for is accepted, and 'accept dialog' written right
  after the step that opened it confirms that answer;
- 'dismiss dialog' written after a dialog was already accepted cannot undo it,
  and fails with a message that says where the step belongs.

Every dialog is remembered, so 'verify dialog says ...' can check its message
after it has been answered.
"""

from dataclasses import dataclass


@dataclass
class SeenDialog:
    kind: str  # "alert", "confirm", "prompt" or "beforeunload"
    message: str
    answer: str  # "accept" or "dismiss"
    prepared: bool  # the answer was set by a dialog step before it opened
    confirmed: bool = False  # a dialog step after it has accounted for it


class DialogWatcher:
    def __init__(self, page):
        self._page = page
        self._prepared = None
        self.seen = []
        self._recent = []  # opened during the latest step that was not a dialog step
        self._verified = 0  # dialogs before this index were matched by a verify step
        page.on("dialog", self._on_dialog)

    def _on_dialog(self, dialog):
        answer = self._prepared or "accept"
        seen = SeenDialog(dialog.type, dialog.message, answer, self._prepared is not None)
        self._prepared = None
        self.seen.append(seen)
        self._recent.append(seen)
        try:
            if answer == "accept":
                dialog.accept()
            else:
                dialog.dismiss()
        except Exception:
            pass  # the page went away with its dialog

    def begin_step(self):
        """A step that is not a dialog step starts: older dialogs are no longer 'just opened'."""
        self._recent = []

    def _unaccounted(self):
        return [d for d in self._recent if not d.prepared and not d.confirmed]

    def accept(self):
        """'accept dialog': confirm a dialog that was just accepted, or prepare the next one."""
        just_opened = self._unaccounted()
        for dialog in just_opened:
            dialog.confirmed = True
        if not just_opened:
            self._prepared = "accept"

    def dismiss(self):
        """'dismiss dialog': prepare the next dialog; returns an error text when it is too late."""
        just_opened = [d for d in self._unaccounted() if d.kind != "alert"]
        if just_opened:
            dialog = just_opened[-1]
            dialog.confirmed = True
            return (
                f"The dialog {dialog.message!r} was accepted as it opened, before this step ran. "
                "Put 'dismiss dialog' before the step that opens the dialog."
            )
        for dialog in self._unaccounted():
            dialog.confirmed = True  # an alert has only OK: dismissing it is accepting it
        self._prepared = "dismiss"
        return None

    def match(self, expected):
        """The first dialog not yet verified whose message says `expected`, or None."""
        want = expected.strip().casefold()
        for index in range(self._verified, len(self.seen)):
            if want and want in self.seen[index].message.casefold():
                self._verified = index + 1
                return self.seen[index]
        return None

    def unverified(self):
        return self.seen[self._verified:]

    def detach(self):
        try:
            self._page.remove_listener("dialog", self._on_dialog)
        except Exception:
            pass
