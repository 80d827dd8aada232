"""Times a full PageScanner.extract_interactable_elements on generated pages.

Each page holds N interactable elements (labelled inputs, buttons, links and
role=button tiles in turn, with their labels and a heading every 50 rows).
Every page operation the scanner makes goes through a counting proxy, so the
figures show both the time and the number of browser round trips.

    .venv/bin/python bench/bench_page_scanner.py [--sizes 100,1000,5000]
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))

from playwright.sync_api import sync_playwright  # noqa: E402

from marrowlane_web.engine.browser.page_scanner import PageScanner  # noqa: E402

CHROMIUM = "/usr/bin/chromium"


def generate_page(n):
    rows = []
    for i in range(n):
        if i % 50 == 0:
            rows.append(f"<h2>Section {i // 50}</h2>")
        kind = i % 4
        if kind == 0:
            rows.append(f'<div class="row"><label for="f{i}">Field {i}</label>'
                        f'<input id="f{i}" name="f{i}"></div>')
        elif kind == 1:
            rows.append(f'<div class="row"><button type="button">Action {i}</button></div>')
        elif kind == 2:
            rows.append(f'<div class="row"><a href="#r{i}">Link {i}</a></div>')
        else:
            rows.append(f'<div class="row"><div role="button" tabindex="0" '
                        f'style="cursor: pointer">Tile {i}</div></div>')
    return ("<!doctype html><html><head><meta charset='utf-8'></head><body>"
            + "".join(rows) + "</body></html>")


class Calls:
    count = 0


class CountingHandle:
    """An element handle that counts each operation the scanner uses."""

    def __init__(self, handle):
        self._h = handle

    def _call(self, name, *args):
        Calls.count += 1
        return getattr(self._h, name)(*args)

    def is_visible(self):
        return self._call("is_visible")

    def is_enabled(self):
        return self._call("is_enabled")

    def evaluate(self, script):
        return self._call("evaluate", script)

    def inner_text(self):
        return self._call("inner_text")

    def get_attribute(self, name):
        return self._call("get_attribute", name)

    def bounding_box(self):
        return self._call("bounding_box")


class CountingPage:
    def __init__(self, page):
        self._p = page

    def query_selector_all(self, selector):
        Calls.count += 1
        return [CountingHandle(h) for h in self._p.query_selector_all(selector)]

    def query_selector(self, selector):
        Calls.count += 1
        found = self._p.query_selector(selector)
        return CountingHandle(found) if found is not None else None

    def evaluate(self, script):
        Calls.count += 1
        return self._p.evaluate(script)

    @property
    def url(self):
        Calls.count += 1
        return self._p.url


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="100,1000,5000",
                        help="comma-separated element counts (default: 100,1000,5000)")
    sizes = [int(s) for s in parser.parse_args().sizes.split(",")]

    with sync_playwright() as p:
        managed = p.chromium.executable_path
        exe = None if managed and os.path.exists(managed) else CHROMIUM
        browser = p.chromium.launch(executable_path=exe, args=["--disable-gpu"])
        page = browser.new_page()
        print(f"{'elements':>8} {'records':>8} {'texts':>7} {'seconds':>9} {'page calls':>11} "
              f"{'ms/call':>8}")
        for n in sizes:
            page.set_content(generate_page(n))
            scanner = PageScanner(CountingPage(page))
            Calls.count = 0
            start = time.perf_counter()
            elements, texts = scanner.extract_interactable_elements()
            seconds = time.perf_counter() - start
            print(f"{n:>8} {len(elements):>8} {len(texts):>7} {seconds:>9.2f} {Calls.count:>11} "
                  f"{1000 * seconds / max(Calls.count, 1):>8.2f}", flush=True)
        browser.close()


if __name__ == "__main__":
    main()
