"""Wall time of the demo suite (examples/), serially and over pytest-xdist workers.

Runs alternate between the modes (so a change in the machine's load touches
both alike) and the median of each is printed:

    .venv/bin/python bench/bench_suite.py [--runs 3] [--workers 2]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")


def run_suite(extra, report):
    start = time.perf_counter()
    done = subprocess.run(
        [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
         f"--marrowlane-report={report}", *extra],
        cwd=EXAMPLES, capture_output=True, text=True)
    elapsed = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"the demo suite failed ({' '.join(extra) or 'serial'}):\n{done.stdout[-2000:]}")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--workers", type=int, default=2)
    args = parser.parse_args()
    modes = {"serial": [], f"-n {args.workers}": ["-n", str(args.workers)]}
    times = {name: [] for name in modes}
    with tempfile.TemporaryDirectory() as out:
        for _ in range(args.runs):
            for name, extra in modes.items():
                times[name].append(run_suite(extra, os.path.join(out, "report.html")))
    print(f"demo suite, wall time, median of {args.runs} interleaved runs (cpus: {os.cpu_count()})")
    for name, values in times.items():
        print(f"  {name:>8}: {statistics.median(values):6.2f} s   ({', '.join(f'{v:.2f}' for v in values)})")


if __name__ == "__main__":
    main()
