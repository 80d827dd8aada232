"""Web UI tests written as plain-English steps, on a deterministic engine."""

__all__ = ["WebAgent"]


def __getattr__(name):
    # The agent pulls in Playwright; load it only when it is asked for, so the
    # engine modules import without a browser stack.
    if name == "WebAgent":
        from .web_agent import WebAgent

        return WebAgent
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
