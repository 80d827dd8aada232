"""The pytest plugin through which a test suite uses marrowlane_web.

It adds the ``--marrowlane-report`` option, reads the project configuration file
``marrowlane.web.config.py`` (the nearest one at or above the working
directory), registers the HTML reporter, and offers the ``agent`` fixture: a
fresh ``WebAgent`` per test, whose recorded steps are filed for the report when
the test is over. Through steps_collect it also collects ``.steps`` files,
whose tests run with the same fixture.

pytest finds the plugin through the package's ``pytest11`` entry point, so an
installed package works in any project without a conftest.py.
"""

import os
import tempfile
import traceback

import pytest

from marrowlane_web import WebAgent
from marrowlane_web._agent import browser as _browsers
from marrowlane_web.harness import agents as _agents
from marrowlane_web.harness import workers as _workers
from marrowlane_web.harness.reporter import MarrowlaneReporter

# Tests written as .steps files are collected by a plugin of their own.
pytest_plugins = ["marrowlane_web.harness.steps_collect"]

_CONFIG_FILE = "marrowlane.web.config.py"
_REPORTER_NAME = "marrowlane_reporter"
_WORKER_STEPS_NAME = "marrowlane_worker_steps"
_AGENT_STEPS_NAME = "marrowlane_agent_steps"


def pytest_addoption(parser):
    """Add --marrowlane-report, the path of the HTML report, and --marrowlane-debug."""
    group = parser.getgroup("marrowlane")
    group.addoption(
        "--marrowlane-report",
        action="store",
        default=None,
        help="Path to marrowlane HTML report output file",
    )
    group.addoption(
        "--marrowlane-debug",
        action="store_true",
        default=False,
        help="Keep a screenshot of every step, the element it acted on outlined "
        "(also MARROWLANE_DEBUG=1)",
    )


def pytest_configure(config):
    """Decide where the report goes and register the reporter that writes it.

    The report goes to the path given with --marrowlane-report, unchanged, or
    else to RESULT_DIR/report.html beside the configuration file (the working
    directory when there is none); RESULT_DIR defaults to "test_report".

    The configuration file is executed here, once for the run; an error in it,
    or a report destination that cannot take a file, stops the run before any
    test with one line that says what to mend.
    """
    try:
        cfg, config_dir = _find_config()
    except Exception as exc:
        raise pytest.UsageError(_config_error(exc)) from None
    result_dir = cfg.get("RESULT_DIR", "test_report")
    report_path = config.getoption("--marrowlane-report", default=None)
    if report_path is None:
        if not isinstance(result_dir, (str, os.PathLike)):
            raise pytest.UsageError(
                f"RESULT_DIR in {os.path.join(config_dir, _CONFIG_FILE)} is "
                f"{result_dir!r}; it must name a directory, such as \"test_report\"."
            )
        report_path = os.path.join(config_dir, result_dir, "report.html")
    _check_destination(report_path)
    config._marrowlane_result_dir = result_dir
    config._marrowlane_config = cfg
    if _workers.is_worker(config):
        # An xdist worker sends its results to the controller, which writes the report.
        config.pluginmanager.register(_workers.WorkerSteps(config), _WORKER_STEPS_NAME)
    else:
        reporter = MarrowlaneReporter(report_path, config)
        config.pluginmanager.register(reporter, _REPORTER_NAME)
        config.pluginmanager.register(_workers.ControllerSteps(config, reporter), _WORKER_STEPS_NAME)
    config.pluginmanager.register(_agents.AgentSteps(config), _AGENT_STEPS_NAME)
    # Browsers already running belong to whoever started them (a run inside
    # another, as pytester makes); those this run starts end with it.
    config._marrowlane_browsers_kept = _browsers.live_browsers()


@pytest.hookimpl(trylast=True)
def pytest_unconfigure(config):
    """Close the browser the run's agents shared, once every test is done."""
    kept = getattr(config, "_marrowlane_browsers_kept", None)
    if kept is not None:
        _browsers.shutdown(keep=kept)


def _config_error(exc):
    """One line for an error raised by the configuration file: where, and what."""
    where = getattr(exc, "filename", None) if isinstance(exc, SyntaxError) else None
    line = getattr(exc, "lineno", None) if where else None
    if where is None:
        frames = [f for f in traceback.extract_tb(exc.__traceback__)
                  if os.path.basename(f.filename) == _CONFIG_FILE]
        where, line = (frames[-1].filename, frames[-1].lineno) if frames else (_CONFIG_FILE, None)
    reason = exc.msg if isinstance(exc, SyntaxError) else str(exc)
    place = f"{where}, line {line}" if line else where
    return f"{place}: {type(exc).__name__}: {reason}"


def _check_destination(report_path):
    """Make sure the report can be written at `report_path`: its directory exists
    (or is made now) and takes a new file, and the path is no directory."""
    directory = os.path.dirname(report_path) or "."
    problem = None
    if os.path.isdir(report_path):
        problem = "it is a directory"
    else:
        try:
            os.makedirs(directory, exist_ok=True)
            handle, probe = tempfile.mkstemp(dir=directory, prefix=".marrowlane-", suffix=".tmp")
            os.close(handle)
            os.remove(probe)
        except OSError as exc:
            problem = exc.strerror or str(exc)
    if problem:
        raise pytest.UsageError(
            f"The marrowlane report cannot be written to {report_path}: {problem}. "
            "Give another path with --marrowlane-report or RESULT_DIR."
        )


@pytest.fixture
def agent(request):
    """A WebAgent for this test, opened at the configured URL.

    The agent is built from marrowlane.web.config.py (URL, SCREENSHOTS_ON_FAILURE
    for screenshots of failing steps, and BROWSER_WS or CDP_URL for a remote
    browser) and closed when the test is over; the steps it ran go into the
    HTML report.
    """
    cfg = getattr(request.config, "_marrowlane_config", None)
    if cfg is None:  # the plugin was not configured for this run: read the file now
        cfg = _load_project_config()
    # The debug switch goes to the agent only when it is on; off, the agent
    # follows MARROWLANE_DEBUG.
    debug = {"debug": True} if request.config.getoption("--marrowlane-debug", False) else {}
    a = WebAgent(url=cfg.get("URL"), screenshots=cfg.get("SCREENSHOTS_ON_FAILURE", False),
                 **debug, **_remote_browser(cfg))
    yield a
    try:
        a.close()
    finally:
        # The steps are filed even when closing fails, so the report still shows
        # what the test did; the error from close goes on to pytest.
        config = request.config
        if not hasattr(config, "_marrowlane_steps"):
            config._marrowlane_steps = {}
        config._marrowlane_steps[request.node.nodeid] = a._steps


def _remote_browser(cfg):
    """The configured remote browser, as WebAgent's keyword arguments. The
    environment (MARROWLANE_BROWSER_WS, MARROWLANE_CDP_URL) wins over the
    configuration file, and the agent reads it itself."""
    if os.environ.get(_browsers.BROWSER_WS_ENV, "").strip() or os.environ.get(
            _browsers.CDP_URL_ENV, "").strip():
        return {}
    if cfg.get("BROWSER_WS"):
        return {"browser_ws": cfg["BROWSER_WS"]}
    if cfg.get("CDP_URL"):
        return {"cdp_url": cfg["CDP_URL"]}
    return {}


def _find_config():
    """(configuration, its directory): the nearest marrowlane.web.config.py at or
    above the working directory, executed with a fresh namespace; ({}, the
    working directory) when there is none."""
    cwd = os.getcwd()
    d = cwd
    while True:
        candidate = os.path.join(d, _CONFIG_FILE)
        if os.path.exists(candidate):
            cfg = {}
            # Read as Python reads a source file (UTF-8 unless the file declares
            # another coding), whatever the platform's default encoding.
            with open(candidate, "rb") as f:
                source = f.read()
            exec(compile(source, candidate, "exec"), cfg)
            return cfg, d
        parent = os.path.dirname(d)
        if parent == d:
            return {}, cwd
        d = parent


def _load_project_config():
    """The project configuration alone (see _find_config)."""
    cfg, _ = _find_config()
    return cfg
