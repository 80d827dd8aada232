"""The machinery behind `marrowlane_web.WebAgent`.

browser   the browser a process shares (or a remote one), a context and page per agent
dialogs   answers alert/confirm/prompt dialogs as they open and remembers them
engine    the engine modules: parse a step, read the page, resolve a target
keys      key names as people write them -> Playwright key names
messages  failure messages with the nearest candidates
steps     one handler per action of the step language, and the settle loop
"""
