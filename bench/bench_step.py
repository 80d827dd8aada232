"""Step latency on a large page, with and without reading the names a person reads.

A step reads the page (one page script) and finds its target. "names" is the
engine as it is: the page script also gathers every element's names and the
page's text, and the resolver by names answers first. "records only" is the
same engine reading the element and text records alone and skipping the
resolver by names, as the engine was before it. Both run in turn on the same
generated page (bench_page_scan's rows), each step reading the page anew (as
after an action), and the figures are the median of each step's read and find.

    .venv/bin/python bench/bench_step.py [--sizes 1000] [--runs 15]
"""

import argparse
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))

from playwright.sync_api import sync_playwright  # noqa: E402

from bench_page_scan import CHROMIUM, generate_page  # noqa: E402
from marrowlane_web._agent.engine import ELEMENTS, TEXTS, Engine  # noqa: E402

STEPS = ['click "Action 505"', 'type x into "Field 720"', 'click "Tile 13"', 'click "Link 2"']


def timed_step(engine, step, names):
    engine.forget()  # read anew, as after an action
    start = time.perf_counter()
    parsed = engine.parse(step)
    elements, texts = engine.read(engine.parts_for(parsed, step) if names else ELEMENTS | TEXTS)
    if names:
        found = engine.find(parsed, step, elements, texts)
    else:
        found = Engine.find.__wrapped__(engine, parsed, step, elements, texts)
    assert found.element is not None, step
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="1000")
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    # The engine before: the same find without the resolver by names.
    original = Engine.find_by_name

    def find_without_names(self, parsed, step, elements, texts):
        Engine.find_by_name = lambda *a: None
        try:
            return Engine.find(self, parsed, step, elements, texts)
        finally:
            Engine.find_by_name = original

    Engine.find.__wrapped__ = find_without_names
    with sync_playwright() as p:
        browser = p.chromium.launch(executable_path=CHROMIUM, args=["--disable-gpu"])
        page_a, page_b = browser.new_page(), browser.new_page()
        for n in (int(s) for s in args.sizes.split(",")):
            with tempfile.NamedTemporaryFile("w", suffix=".html", delete=False) as f:
                f.write(generate_page(n))
            page_a.goto("file://" + f.name)
            page_b.goto("file://" + f.name)
            with_names, before = Engine(page_a), Engine(page_b)
            a, b = [], []
            for run in range(args.runs + 1):
                for step in STEPS:
                    ta = timed_step(with_names, step, True)
                    tb = timed_step(before, step, False)
                    if run:  # the first round warms up
                        a.append(ta)
                        b.append(tb)
            ma, mb = statistics.median(a), statistics.median(b)
            print(f"{n:>6} elements: names {ma * 1000:7.1f} ms, records only {mb * 1000:7.1f} ms, "
                  f"ratio {ma / mb:.2f} (median of {len(a)} steps)")
            os.unlink(f.name)
        browser.close()


if __name__ == "__main__":
    main()
