"""Compares the two ways of reading a page: element by element, and in one
page script.

Each generated page holds N interactable elements (labelled inputs, buttons,
links, selects, text areas, role=button tiles, custom inputs and clickable
list rows in turn, with a heading every 50 rows). Both ways read the same
page; the records must be equal, and the figures show the time of each and
their ratio.

    .venv/bin/python bench/bench_page_scan.py [--sizes 100,1000,5000]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))

from playwright.sync_api import sync_playwright  # noqa: E402

from marrowlane_web.engine import settings  # noqa: E402
from marrowlane_web.engine.browser.page_scanner import PageScanner  # noqa: E402

CHROMIUM = "/usr/bin/chromium"

ROWS = [
    '<div class="row"><label for="f{i}">Field {i}</label><input id="f{i}" name="f{i}"></div>',
    '<div class="row"><button type="button" data-testid="b{i}">Action {i}</button></div>',
    '<div class="row"><a href="#r{i}">Link {i}</a></div>',
    '<div class="row"><span>Choice {i}</span><select name="s{i}"><option>One</option></select></div>',
    '<div class="row"><textarea placeholder="Note {i}"></textarea></div>',
    '<div class="row"><div role="button" tabindex="0">Tile {i}</div></div>',
    '<div class="row"><span class="rich-editable">Custom {i}</span></div>',
    '<ul><li style="cursor: pointer">Pick {i}</li></ul>',
]


def generate_page(n):
    parts = []
    for i in range(n):
        if i % 50 == 0:
            parts.append(f"<h2>Section {i // 50}</h2>")
        parts.append(ROWS[i % len(ROWS)].format(i=i))
    return ("<!doctype html><html><head><meta charset='utf-8'></head><body>"
            + "".join(parts) + "</body></html>")


def timed_read(scanner, fast):
    settings.FAST_SCAN = fast
    start = time.perf_counter()
    records = scanner.extract_interactable_elements()
    return time.perf_counter() - start, records


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="100,1000,5000",
                        help="comma-separated element counts (default 100,1000,5000)")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",") if s.strip()]

    with sync_playwright() as p:
        browser = p.chromium.launch(executable_path=CHROMIUM, args=["--disable-gpu"])
        page = browser.new_page()
        scanner = PageScanner(page)
        print(f"{'elements':>8} {'records':>8} {'one by one':>12} {'one script':>12} {'ratio':>8}")
        for n in sizes:
            page.set_content(generate_page(n))
            timed_read(scanner, True)  # warm up layout and styles
            fast_time, fast = timed_read(scanner, True)
            slow_time, slow = timed_read(scanner, False)
            status = "" if fast == slow else "  RECORDS DIFFER"
            print(f"{n:>8} {len(fast[0]):>8} {slow_time:>11.2f}s {fast_time:>11.3f}s "
                  f"{slow_time / fast_time:>7.0f}x{status}", flush=True)
        browser.close()


if __name__ == "__main__":
    main()
