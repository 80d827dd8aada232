"""Time Level-1 resolution of click, type and verify steps on large pages.

The agent resolves after every page read, so a step over a page of thousands of
records must stay well below the time a browser round trip takes. Records are
shaped as the page scanner writes them; the step's target sits near the end of
the page so that every record is looked at.

Times are CPU time (time.process_time), steadier than wall time on a busy machine.

    PYTHONPATH=python .venv/bin/python bench/bench_text_match.py
"""

import random
import time

from marrowlane_web.engine.strategies.text_match_strategy import TextMatchStrategy

WORDS = ["account", "settings", "profile", "orders", "history", "shipping", "billing", "details",
         "save", "cancel", "continue", "search", "filter", "sort", "price", "quantity", "remove"]


def element(rng, i, tag, text, attributes):
    x, y = rng.randint(0, 1200), 40 * i
    return {
        "tag": tag,
        "text": text,
        "attributes": attributes,
        "bounding_box": {"x": float(x), "y": float(y), "width": 120.0, "height": 32.0},
        "is_visible": rng.random() > 0.1,
        "is_enabled": True,
        "xpath": f"/html[1]/body[1]/div[{i // 20 + 1}]/div[{i % 20 + 1}]/{tag}[1]",
    }


def page(size, seed=7):
    rng = random.Random(seed)
    elements, texts = [], []
    for i in range(size):
        words = " ".join(rng.sample(WORDS, 2))
        kind = i % 4
        if kind == 0:
            el = element(rng, i, "button", words.title(), {"class": f"btn btn-{i} action_button",
                                                           "data-track-id": str(i)})
        elif kind == 1:
            el = element(rng, i, "a", words, {"href": f"/p/{i}", "class": "nav-link"})
        elif kind == 2:
            el = element(rng, i, "input", "", {"type": "text", "placeholder": words,
                                               "id": f"field_{i}", "_label": words.title()})
        else:
            el = element(rng, i, "div", words.capitalize(), {"role": "button",
                                                             "aria-label": words})
        elements.append(el)
        texts.append({"tag": "span", "text": words.capitalize(), "has_direct_text": True,
                      "attributes": {"class": "caption"}, "bounding_box": el["bounding_box"],
                      "is_visible": True, "is_enabled": True, "xpath": el["xpath"] + "/span[1]"})
    # The targets, near the end.
    at = size - 3
    elements[at] = element(rng, at, "button", "Login", {"id": "login-button"})
    elements[at + 1] = element(rng, at + 1, "input", "", {"type": "text", "_label": "Username"})
    texts[at + 2]["text"] = "Products"
    return elements, texts


STEPS = [
    ("click", {"action": "click", "target": "Login button", "value": None, "ordinal": 1,
               "_literal_target": False}),
    ("type", {"action": "type", "target": "Username", "value": "standard_user",
              "_literal_target": True}),
    ("verify", {"action": "verify_enabled", "target": "Login button", "value": None,
                "_literal_target": True}),
    ("verify text", {"action": "verify_text_present", "target": "Products", "value": None,
                     "_literal_target": True}),
    ("verify next", {"action": "verify_spatial_text", "target": "next to Products",
                     "value": "$29.00", "_literal_target": False}),
]


def per_call(fn, budget=1.0):
    fn()
    runs, start = 0, time.process_time()
    while True:
        fn()
        runs += 1
        spent = time.process_time() - start
        if spent >= budget or runs >= 2000:
            return spent / runs


def main():
    strategy = TextMatchStrategy()
    for size in (1_000, 10_000):
        elements, texts = page(size)
        for name, step in STEPS:
            result = strategy.resolve(step, elements, texts)
            t = per_call(lambda: strategy.resolve(step, elements, texts))
            print(f"{size:>6} records  {name:<12} {t * 1e3:8.3f} ms/call"
                  f"  (resolved={result['resolved']})")


if __name__ == "__main__":
    main()
