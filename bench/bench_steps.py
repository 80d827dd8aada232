"""One step of ours against the same step written with Playwright's own locators.

Both run on the same generated page (bench_page_scan.generate_page) in one
Chromium, each in a context of its own, in interleaved runs; the figures are
medians in milliseconds.

- click: a button in the middle of the page; text: a text check on it;
  element check: a check that the button is visible. Before every run a small
  change is made to the page, so no side reads a page it has read before.
- miss: a step whose target is not there, with a 1 s timeout; the figure is
  the time until it fails.
- appear: the target is added 0.7 s into the step; the figure is the time from
  its appearance to the click landing (in the page's own clock).
- read: one full reading of a page of 20,000 elements.

    .venv/bin/python bench/bench_steps.py [--sizes 100,1000,5000] [--runs 7]
"""

import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))
sys.path.insert(0, os.path.dirname(__file__))

from playwright.sync_api import Error as PlaywrightError  # noqa: E402
from playwright.sync_api import expect, sync_playwright  # noqa: E402

from bench_page_scan import CHROMIUM, generate_page  # noqa: E402
from marrowlane_web import WebAgent  # noqa: E402

TOUCH = "document.body.setAttribute('data-run', String(Math.random()))"
# A button that appears after `ms` and notes, in the page's clock, when it
# appeared and when it was clicked.
APPEAR = """ms => setTimeout(() => {
  const b = document.createElement('button');
  b.textContent = 'Late arrival';
  b.onclick = () => { window.clickedAt = performance.now(); };
  document.body.prepend(b);
  window.appearedAt = performance.now();
}, ms)"""
LATENCY = "() => window.clickedAt - window.appearedAt"
GONE = "() => { for (const b of document.querySelectorAll('button')) if (b.textContent === 'Late arrival') b.remove(); window.clickedAt = NaN; }"


def middle(n, kind):
    """The index of an element of the given kind (ROWS order) near the middle."""
    return (n // 2) // 8 * 8 + kind


def timed(run):
    start = time.perf_counter()
    run()
    return (time.perf_counter() - start) * 1000


def fails(run):
    try:
        run()
    except (AssertionError, PlaywrightError):
        return
    raise RuntimeError("the step was meant to fail")


def median_pair(runs, ours, theirs):
    a, b = [], []
    for _ in range(runs):
        a.append(ours())
        b.append(theirs())
    return statistics.median(a), statistics.median(b)


def report(name, ours, theirs):
    ratio = f"{ours / theirs:6.1f}x" if theirs > 0 else "      "
    print(f"{name:<28} {ours:>9.0f} {theirs:>9.0f} {ratio}", flush=True)


def bench_size(agent, page, n, runs):
    html = generate_page(n)
    agent.page.set_content(html)
    page.set_content(html)
    button = f"Action {middle(n, 1)}"
    heading = f"Section {n // 100}"

    def ours_click():
        agent.page.evaluate(TOUCH)
        return timed(lambda: agent.run(f'click "{button}"'))

    def theirs_click():
        page.evaluate(TOUCH)
        return timed(lambda: page.get_by_role("button", name=button, exact=True).click())

    def ours_text():
        agent.page.evaluate(TOUCH)
        return timed(lambda: agent.run(f'verify text "{heading}" is visible'))

    def theirs_text():
        page.evaluate(TOUCH)
        return timed(lambda: expect(page.get_by_text(heading, exact=True)).to_be_visible())

    def ours_check():
        agent.page.evaluate(TOUCH)
        return timed(lambda: agent.run(f'verify "{button}" is visible'))

    def theirs_check():
        page.evaluate(TOUCH)
        return timed(lambda: expect(page.get_by_role("button", name=button, exact=True)).to_be_visible())

    report(f"click, {n} elements", *median_pair(runs, ours_click, theirs_click))
    report(f"text check, {n} elements", *median_pair(runs, ours_text, theirs_text))
    report(f"element check, {n} elements", *median_pair(runs, ours_check, theirs_check))


def bench_miss(agent, page, n, runs):
    html = generate_page(n)
    agent.page.set_content(html)
    page.set_content(html)
    agent.timeout = 1.0
    ours = lambda: timed(lambda: fails(lambda: agent.run('click "Nowhere to be found"')))  # noqa: E731
    theirs = lambda: timed(lambda: fails(  # noqa: E731
        lambda: page.get_by_role("button", name="Nowhere to be found").click(timeout=1000)))
    report(f"failing step (1 s), {n}", *median_pair(max(3, runs // 2), ours, theirs))
    agent.timeout = 5.0


def bench_appear(agent, page, n, runs):
    html = generate_page(n)
    agent.page.set_content(html)
    page.set_content(html)

    def ours():
        agent.page.evaluate(GONE)
        agent.page.evaluate(APPEAR, 700)
        agent.run('click "Late arrival"')
        return agent.page.evaluate(LATENCY)

    def theirs():
        page.evaluate(GONE)
        page.evaluate(APPEAR, 700)
        page.get_by_role("button", name="Late arrival").click()
        return page.evaluate(LATENCY)

    report(f"appear-to-click, {n}", *median_pair(max(3, runs // 2), ours, theirs))


def bench_read(agent, n, runs):
    agent.page.set_content(generate_page(n))
    agent._engine.read()  # warm up layout and styles

    def once():
        agent.page.evaluate(TOUCH)
        return timed(agent._engine.read)

    figures = [once() for _ in range(max(3, runs // 2))]
    print(f"{'page read, ' + str(n):<28} {statistics.median(figures):>9.0f}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="100,1000,5000")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--read", type=int, default=20000, help="elements of the page read")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",") if s.strip()]

    with sync_playwright() as p:
        browser = p.chromium.launch(executable_path=CHROMIUM, args=["--disable-gpu"])
        agent = WebAgent(page=browser.new_context().new_page())
        page = browser.new_context().new_page()
        print(f"{'ms (median)':<28} {'ours':>9} {'playwright':>9} {'ratio':>7}")
        for n in sizes:
            bench_size(agent, page, n, args.runs)
        biggest = max(sizes)
        bench_miss(agent, page, biggest, args.runs)
        bench_appear(agent, page, biggest, args.runs)
        if args.read:
            bench_read(agent, args.read, args.runs)
        agent.close()
        browser.close()


if __name__ == "__main__":
    main()
