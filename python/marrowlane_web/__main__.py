"""``python -m marrowlane_web check PATH...``: checks steps without a browser.

Reads .steps files and the literal steps of Python test files (directories are
searched for both), prints ``path:line: message`` for every mistake and exits
with 1 when there is one, 0 when all is clean and 2 when it was called wrongly
(an unknown command, a path that does not exist or is neither a
.steps nor a Python file). Fit for pre-commit and CI.
"""

import argparse
import os
import sys


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m marrowlane_web")
    commands = parser.add_subparsers(dest="command", required=True, metavar="command")
    check = commands.add_parser(
        "check",
        help="check the steps of .steps files and Python test files",
        description="Check every step of .steps files and the literal steps that Python "
        "test files hand to agent.run(...). Directories are searched for .steps, "
        "test_*.py and *_test.py files.",
    )
    check.add_argument("paths", nargs="+", metavar="PATH", help="a file or a directory")
    args = parser.parse_args(argv)

    from marrowlane_web.harness.steps_check import STEPS_SUFFIX, check_paths

    for path in args.paths:
        if not os.path.exists(path):
            check.error(f"no such file or directory: {path}")
        if not os.path.isdir(path) and not path.endswith((STEPS_SUFFIX, ".py")):
            check.error(f"not a .steps or Python file: {path}")

    problems = check_paths(args.paths)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
