"""Serves the demo shop (site/) on a loopback port for the length of the run."""

import functools
import http.server
import os
import pathlib
import threading

SITE = pathlib.Path(__file__).parent / "site"


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


def pytest_configure(config):
    handler = functools.partial(_QuietHandler, directory=str(SITE))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    config._demo_shop = server
    os.environ["MARROWLANE_DEMO_URL"] = f"http://127.0.0.1:{server.server_port}/"


def pytest_unconfigure(config):
    server = getattr(config, "_demo_shop", None)
    if server is not None:
        server.shutdown()
        server.server_close()
