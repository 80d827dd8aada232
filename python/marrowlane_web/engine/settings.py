"""Engine settings, read by the page scanner at every call.

Each setting starts from its environment variable when that is set, else from
its default. Code and tests may assign a new value at any time
(``settings.SAVE_SNAPSHOTS = True``); the next extraction sees it.

- ``SAVE_SNAPSHOTS`` (MARROWLANE_SAVE_SNAPSHOTS, default off): write a JSON
  snapshot of the records after every extraction. "1", "true", "yes" and "on"
  switch it on (any case); any other value leaves it off.
- ``LOG_PATH`` (MARROWLANE_LOG_PATH, default "logs"): the directory that
  receives the snapshot files.
- ``FAST_SCAN`` (MARROWLANE_FAST_SCAN, default on): read a Playwright page in
  one page script instead of element by element (same records, far fewer
  browser round trips). Words as for SAVE_SNAPSHOTS.
"""

import os

_TRUE_WORDS = frozenset({"1", "true", "yes", "on"})


def _flag(name, default):
    value = os.environ.get(name)
    if value is None:
        return default
    return value.strip().lower() in _TRUE_WORDS


SAVE_SNAPSHOTS = _flag("MARROWLANE_SAVE_SNAPSHOTS", False)
LOG_PATH = os.environ.get("MARROWLANE_LOG_PATH", "logs")
FAST_SCAN = _flag("MARROWLANE_FAST_SCAN", True)
