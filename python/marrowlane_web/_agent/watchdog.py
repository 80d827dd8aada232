"""A bound on how long a step may keep the agent waiting on the browser.

Playwright answers most calls only when the page's main thread is free: a page
whose script loops forever, or blocks for a minute, holds an evaluation or a
key press for as long as it likes, and the sync API waits with it. A timer
thread ends such a wait from outside. When a step outlives its bound, the
timer hands a callback to the event loop through its thread-safe entry (the
one thing another thread may touch); the loop runs it while the main thread
waits in its Playwright call, the callback cancels that call (the client then
aborts it in the driver), and the call raises in the main thread, which turns
it into NotResponding. The connection, the browser and every other page stay
as they were; only the page that did not answer is given up.
"""

import asyncio
import threading
import time
from contextlib import contextmanager

# What a step may take beyond its own time before its page counts as not
# responding: room for one slow read of a large page on a busy machine.
GRACE_SECONDS = 5.0

# How soon a call made after the bound ran out is ended in its turn.
_AGAIN_SECONDS = 1.0

# The marks the sync API leaves on the task of each call it waits for.
_CALL_MARKS = ("__pw_caller_frame__", "__pw_stack__")


class NotResponding(Exception):
    """The page held a call past its bound."""


class Watchdog:
    """Bounds the Playwright calls made inside `bound(seconds)` on one page's connection."""

    def __init__(self, page):
        self._loop = getattr(page, "_loop", None)
        self._armed = None  # the token of the bound in force
        self._fired = None  # the token of the bound that ran out
        self._timer = None
        self._ends = 0.0  # when the bound in force runs out (time.monotonic())

    @contextmanager
    def bound(self, seconds):
        if self._loop is None:  # not a Playwright page: nothing to bound
            yield
            return
        token = object()
        self._armed = token
        self._start(token, time.monotonic() + seconds)
        try:
            yield
        except asyncio.CancelledError:
            if self._fired is token:
                raise NotResponding() from None
            raise
        finally:
            self._timer.cancel()
            self._armed = None
        if self._fired is token:  # it rang after the last call: the step still ran over
            raise NotResponding()

    def allow(self, seconds):
        """Move the bound in force `seconds` later: the page answered a call
        that took them (a slow read of a large page is no silence)."""
        token = self._armed
        if token is None or self._fired is token:
            return
        self._timer.cancel()
        self._start(token, self._ends + seconds)

    def _start(self, token, ends):
        self._ends = ends
        self._timer = threading.Timer(max(ends - time.monotonic(), 0.0), self._ring, args=(token,))
        self._timer.daemon = True
        self._timer.start()

    def _ring(self, token):
        # The timer's thread: hand the work to the loop, never touch it.
        try:
            self._loop.call_soon_threadsafe(self._cancel_calls, token)
        except RuntimeError:  # the loop is closed: nothing waits on it any more
            pass

    def _cancel_calls(self, token):
        # The loop's own thread, while a sync call waits. A bound that has
        # ended meanwhile is left alone: its step finished in time.
        if self._armed is not token:
            return
        self._fired = token
        for task in asyncio.all_tasks(self._loop):
            if not task.done() and any(hasattr(task, mark) for mark in _CALL_MARKS):
                task.cancel()
        # Code that goes on releasing what it can (closing a page, then its
        # browser) may meet the same silence again: keep ending calls while the
        # bound lasts.
        self._loop.call_later(_AGAIN_SECONDS, self._cancel_calls, token)
