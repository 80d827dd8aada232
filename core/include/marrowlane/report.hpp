// The HTML test report: how pytest's phase reports become one result per test,
// and how the results and their recorded steps become one self-contained page.
//
// Everything here works on plain values; the binding reads pytest's objects and
// the step lists into them. Every text that comes from a test run (node ids,
// file paths, step texts, messages, screenshot data) is HTML-escaped on its way
// into the page, so a step about "<b>" shows as text and markup in a failure
// message cannot run as script.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace marrowlane::report {

// Step keywords that the steps table shows in the keyword style. The first one
// a step starts with wins, so "verify text" comes before "verify".
inline constexpr std::array<std::string_view, 11> kKeywords = {
    "verify text", "verify", "extract text", "type", "click",    "select",
    "hover",       "press",  "navigate",     "wait", "find text"};

// ---------------------------------------------------------------------------
// Collection
// ---------------------------------------------------------------------------

// A node id "tests/test_a.py::TestX::test_y" names the file before the first
// "::" and the test after it ("TestX::test_y"); without "::" the test is empty.
struct NodeId {
  std::string_view file;
  std::string_view test;
};
NodeId split_nodeid(std::string_view nodeid);

// What one phase report does to the results. The call phase makes a test's
// result, and so does a failed setup (a test that fails in setup has no call).
// A failed teardown turns the test's result into a failure (or adds one when
// the test has none yet), so a broken teardown never passes silently.
enum class Phase { Ignore, Result, TeardownFailure };
Phase classify(std::string_view when, bool failed);
// The same, where a skipped setup (a skip marker, pytest.skip() in a fixture)
// also makes the test's result: every test pytest reports is in the report.
Phase classify(std::string_view when, bool failed, bool skipped);

// The result status of an accepted report: "passed", "failed" or "skipped".
std::string_view status_of(bool passed, bool failed);
// The same for a test marked as expected to fail: "xfailed" when it failed as
// expected (pytest reports it skipped), "xpassed" when it passed all the same.
std::string_view status_of(bool passed, bool failed, bool expected_to_fail);

// A failed teardown fails a test whose result says otherwise; a result that is
// already a failure keeps its first (and usually more telling) message.
bool teardown_overrides(std::string_view status);

// The failure message of a long representation without a crash entry: the last
// line of the stripped text.
std::string_view last_line(std::string_view text);

// ---------------------------------------------------------------------------
// Rendering
// ---------------------------------------------------------------------------

struct Step {
  std::string instruction;
  std::string status;         // "passed" is success, anything else a failure
  std::string message;        // shown when non-empty
  std::string screenshot;     // base64 PNG data, shown when non-empty
  std::string account{};      // what the step acted on and why, shown when non-empty
  double duration_ms = -1.0;  // shown when not negative
};

struct Result {
  std::string file;
  std::string test;
  std::string status;
  double duration = 0.0;
  std::vector<Step> steps;
  std::string reason = {};   // why it failed or was skipped, one line; shown when non-empty
  std::string details = {};  // the whole account (a traceback), shown on demand when non-empty
};

struct Run {
  std::vector<Result> results;
  double elapsed = 0.0;  // wall-clock seconds from the reporter's start to rendering
  // Non-empty when the run did not go to its end (Ctrl-C, a collection error,
  // -x): the header says "Interrupted" and why, instead of "Run complete".
  std::string interrupted = {};
};

// Messages longer than this many characters are shown cut, the whole text on demand.
inline constexpr std::size_t kShownChars = 600;

// `text` made safe as HTML text (& < >), or also inside a quoted attribute
// value (" and ' as well). A lone surrogate, which UTF-8 cannot carry, becomes
// U+FFFD, so the page always encodes.
std::string escape(std::string_view text, bool attribute = false);

// The step as HTML: its leading keyword (case as typed) in the kw style, the
// first double-quoted span in the str style and every later one in the sel
// style; all of it escaped.
std::string highlight(std::string_view instruction);

// The title of a file group: the directory part dimmed, then the file name;
// backslashes read as "/". A bare file name is shown as it is.
std::string file_label(std::string_view file_path);

// Python's round(value, 2) and repr() of a float, for the run duration.
double round2(double value);
std::string float_repr(double value);
// Python's format(value, ".2f").
std::string fixed2(double value);

// A step's duration as it reads: "12 ms", "1.25 s"; "" when negative or not
// a number.
std::string step_time(double ms);

// Whole percent of `passed` in `total`, half to even; 0 for an empty run.
long long pass_rate(std::size_t passed, std::size_t total);

// The whole page.
std::string render(const Run& run);

}  // namespace marrowlane::report
