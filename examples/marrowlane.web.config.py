# Settings of the demo suite, read by the marrowlane pytest plugin.
#
# URL is where every test starts. conftest.py serves site/ on a free loopback
# port and puts the address in MARROWLANE_DEMO_URL; point URL at your own
# application in a real project.
import os

URL = os.environ.get("MARROWLANE_DEMO_URL", "http://127.0.0.1:8000/")

# The report goes to <this directory>/test_report/report.html.
RESULT_DIR = "test_report"

# A failing step keeps a screenshot of the page in the report.
SCREENSHOTS_ON_FAILURE = True
