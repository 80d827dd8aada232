"""Times the reporter on a large run: collecting phase reports and rendering.

Each run has N tests in files of 25, every test with 10 recorded steps (one in
ten failing, with a message), each step with its account and duration, so the
figures cover the whole page.

    .venv/bin/python bench/bench_report.py [--sizes 1000,2000,10000]
"""

import argparse
import os
import sys
import time
from types import SimpleNamespace

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "python"))

from marrowlane_web.harness.reporter import MarrowlaneReporter  # noqa: E402


# What each step acted on and why, as the agent records it.
ACCOUNT = ('text field "Username" in "Sign in · Password" — exact match of its label; '
           'runner-up: button "Login" (the wrong kind for typing)')


def run(n):
    steps = {}
    reports = []
    for i in range(n):
        nodeid = f"tests/area_{i // 250}/test_file_{i // 25}.py::TestGroup::test_case_{i}"
        failed = i % 10 == 0
        reports.append(SimpleNamespace(
            nodeid=nodeid, when="call", passed=not failed, failed=failed, duration=0.01 * i,
            longrepr=SimpleNamespace(reprcrash=SimpleNamespace(message="AssertionError: no"))
            if failed else None))
        steps[nodeid] = [
            {"instruction": f'type "user {j}" into "Username"', "status": "passed",
             "message": "", "screenshot": "", "account": ACCOUNT, "duration_ms": 40 + j}
            for j in range(9)
        ] + [{"instruction": 'verify "Welcome <user>" is present',
              "status": "failed" if failed else "passed",
              "message": "Text not found on the page" if failed else "", "screenshot": "",
              "account": ACCOUNT, "duration_ms": 1250}]
    reporter = MarrowlaneReporter("unused.html", SimpleNamespace(_marrowlane_steps=steps))

    start = time.perf_counter()
    for report in reports:
        reporter.pytest_runtest_logreport(report)
    collected = time.perf_counter()
    page = reporter._render()
    rendered = time.perf_counter()
    print(f"{n:>7} tests: collect {1e3 * (collected - start):8.1f} ms, "
          f"render {1e3 * (rendered - collected):8.1f} ms, page {len(page) / 1e6:6.1f} MB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", default="1000,2000,10000")
    for n in parser.parse_args().sizes.split(","):
        run(int(n))


if __name__ == "__main__":
    main()
