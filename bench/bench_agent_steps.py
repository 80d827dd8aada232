"""Times whole agent steps on a generated page of N interactable elements (no frames).

The page is the one bench_page_scan.py generates. Each step is run `--repeat`
times; the figures are the median and the best time of each, in milliseconds.
Run it with the interpreter of the build to measure (the package as installed
there is what is timed):

    .venv/bin/python bench/bench_agent_steps.py [--size 1000] [--repeat 15]
"""

import argparse
import importlib.util
import os
import statistics
import time

from playwright.sync_api import sync_playwright

from marrowlane_web import WebAgent

CHROMIUM = "/usr/bin/chromium"
STEPS = [
    'click "Action 401"',
    'type hello into "Field 800"',
    "click the button below \"Link 2\"",
    'type hi into the field right of "Field 8"',
    'verify "Tile 605" is visible',
    'verify text "Choice 3" is present',
    'extract text "Pick 7"',
]


def generated_page(size):
    here = os.path.dirname(os.path.abspath(__file__))
    spec = importlib.util.spec_from_file_location("bench_page_scan", os.path.join(here, "bench_page_scan.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.generate_page(size)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=1000)
    parser.add_argument("--repeat", type=int, default=15)
    args = parser.parse_args()
    html = generated_page(args.size)
    with sync_playwright() as playwright:
        browser = playwright.chromium.launch(executable_path=CHROMIUM, args=["--disable-gpu"])
        page = browser.new_page()
        page.set_content(html)
        agent = WebAgent(page=page, timeout=10)
        print(f"{args.size} elements, {args.repeat} runs per step (ms)")
        print(f"{'step':46} {'median':>8} {'best':>8}")
        for step in STEPS:
            times = []
            for _ in range(args.repeat):
                start = time.perf_counter()
                agent.run(step)
                times.append((time.perf_counter() - start) * 1000)
            print(f"{step:46} {statistics.median(times):8.1f} {min(times):8.1f}")
        agent.close()
        browser.close()


if __name__ == "__main__":
    main()
