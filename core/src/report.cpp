#include "marrowlane/report.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <unordered_map>

#include "marrowlane/text.hpp"

namespace marrowlane::report {

// ---------------------------------------------------------------------------
// Collection
// ---------------------------------------------------------------------------

NodeId split_nodeid(std::string_view nodeid) {
  std::size_t sep = nodeid.find("::");
  if (sep == std::string_view::npos) return {nodeid, {}};
  return {nodeid.substr(0, sep), nodeid.substr(sep + 2)};
}

Phase classify(std::string_view when, bool failed) { return classify(when, failed, false); }

Phase classify(std::string_view when, bool failed, bool skipped) {
  if (when == "call") return Phase::Result;
  if (when == "setup" && (failed || skipped)) return Phase::Result;
  if (when == "teardown" && failed) return Phase::TeardownFailure;
  return Phase::Ignore;
}

std::string_view status_of(bool passed, bool failed) {
  if (passed) return "passed";
  if (failed) return "failed";
  return "skipped";
}

std::string_view status_of(bool passed, bool failed, bool expected_to_fail) {
  if (!expected_to_fail || failed) return status_of(passed, failed);
  return passed ? "xpassed" : "xfailed";
}

bool teardown_overrides(std::string_view status) { return status != "failed"; }

std::string_view last_line(std::string_view text) {
  std::string_view stripped = text::strip(text);
  std::size_t nl = stripped.rfind('\n');
  return nl == std::string_view::npos ? stripped : stripped.substr(nl + 1);
}

// ---------------------------------------------------------------------------
// Escaping and the small pieces
// ---------------------------------------------------------------------------

std::string escape(std::string_view s, bool attribute) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"': out += attribute ? "&quot;" : "\""; continue;
      case '\'': out += attribute ? "&#x27;" : "'"; continue;
      default: break;
    }
    // A surrogate code point arrives as ED A0..BF xx; UTF-8 proper has none.
    if (static_cast<unsigned char>(c) == 0xED && i + 2 < s.size() &&
        (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0xA0) {
      out += "\xEF\xBF\xBD";
      i += 2;
      continue;
    }
    out += c;
  }
  return out;
}

std::string highlight(std::string_view instruction) {
  std::string_view kw;
  std::string_view rest = instruction;
  std::string lowered = text::lower(instruction);
  for (std::string_view keyword : kKeywords) {
    if (std::string_view(lowered).starts_with(keyword)) {
      // The keyword's length counted in characters of the step as typed.
      kw = text::first_chars(instruction, keyword.size());
      rest = instruction.substr(kw.size());
      break;
    }
  }

  std::string out;
  if (!kw.empty()) out += "<span class=\"kw\">" + escape(kw) + "</span>";
  // Every double-quoted span, quotes included: the first is the value or the
  // target (str), every later one a selector such as the field typed into (sel).
  std::size_t pos = 0;
  int quote_idx = 0;
  while (pos < rest.size()) {
    std::size_t open = rest.find('"', pos);
    if (open == std::string_view::npos) break;
    std::size_t close = rest.find('"', open + 1);
    if (close == std::string_view::npos) break;
    out += escape(rest.substr(pos, open - pos));
    out += quote_idx == 0 ? "<span class=\"str\">" : "<span class=\"sel\">";
    out += escape(rest.substr(open, close + 1 - open));
    out += "</span>";
    ++quote_idx;
    pos = close + 1;
  }
  out += escape(rest.substr(pos));
  return out;
}

std::string file_label(std::string_view file_path) {
  std::string path(file_path);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return escape(file_path);
  return "<span class=\"dim\">" + escape(std::string_view(path).substr(0, slash)) + " / </span>" +
         escape(std::string_view(path).substr(slash + 1));
}

// ---------------------------------------------------------------------------
// Numbers as Python prints them
// ---------------------------------------------------------------------------

double round2(double value) {
  if (!std::isfinite(value)) return value;
  // Correctly rounded to two decimals, then read back: what round(value, 2) does.
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (ec != std::errc()) return value;
  double out = value;
  std::from_chars(buf, end, out);
  return out;
}

std::string float_repr(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // The shortest digits that read back as `value`, laid out as repr() does:
  // positional for exponents -4..15, scientific otherwise.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  if (ec != std::errc()) return "nan";
  std::string_view sci(buf, static_cast<std::size_t>(end - buf));
  std::string sign;
  if (sci.front() == '-') {
    sign = "-";
    sci.remove_prefix(1);
  }
  std::size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::string_view exp_text = sci.substr(e + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

  std::string out = sign;
  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0) {
      out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
    } else {
      auto int_len = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= int_len) {
        out.append(digits).append(int_len - digits.size(), '0').append(".0");
      } else {
        out.append(digits, 0, int_len).append(".").append(digits, int_len);
      }
    }
    return out;
  }
  out.append(digits, 0, 1);
  if (digits.size() > 1) out.append(".").append(digits, 1);
  char exp_buf[16];
  std::snprintf(exp_buf, sizeof exp_buf, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return out.append(exp_buf);
}

std::string fixed2(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (ec != std::errc()) return "nan";
  return std::string(buf, end);
}

std::string step_time(double ms) {
  if (!(ms >= 0.0) || !std::isfinite(ms)) return {};
  if (ms < 1000.0) return std::to_string(std::llround(ms)) + " ms";
  return fixed2(ms / 1000.0) + " s";
}

long long pass_rate(std::size_t passed, std::size_t total) {
  if (total == 0) return 0;
  // Computed as Python does (passed / total * 100), then rounded half to even.
  double rate = static_cast<double>(passed) / static_cast<double>(total) * 100.0;
  return static_cast<long long>(std::nearbyint(rate));
}

// ---------------------------------------------------------------------------
// The page
// ---------------------------------------------------------------------------

namespace {

constexpr std::string_view kHead = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="UTF-8">
<meta name="viewport" content="width=device-width, initial-scale=1.0">
<title>marrowlane — Test Report</title>
<style>
:root {
  --bg: #F8F8F5;
  --surface: #ffffff;
  --surface-2: #F4F4F0;
  --border: #E5E5E2;
  --text: #1C1F4A;
  --muted: #6b6f8e;
  --pass: #16a34a;
  --fail: #dc2626;
  --skip: #d97706;
  --accent: #3730A3;
  --pass-tint: rgba(22, 163, 74, 0.08);
  --fail-tint: rgba(220, 38, 38, 0.08);
  --skip-tint: rgba(217, 119, 6, 0.08);
  --accent-tint: rgba(55, 48, 163, 0.08);
  --sans: system-ui, -apple-system, 'Segoe UI', Roboto, 'Helvetica Neue', Arial, sans-serif;
  --mono: ui-monospace, 'SFMono-Regular', Menlo, Consolas, 'Liberation Mono', monospace;
  --serif: Georgia, 'Times New Roman', serif;
  --radius: 0.75rem;
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--text); font-family: var(--sans); font-size: 14px; line-height: 1.5; }
.header { display: flex; justify-content: space-between; align-items: center; padding: 1.25rem 2rem; background: var(--surface); border-bottom: 3px solid var(--accent); }
.brand { display: flex; align-items: baseline; gap: 0.75rem; }
.brand-name { font-family: var(--serif); font-size: 1.6rem; font-weight: 600; color: var(--accent); }
.brand-tag { font-size: 0.8rem; text-transform: uppercase; letter-spacing: 0.12em; color: var(--muted); }
.run-meta { display: flex; align-items: center; gap: 1.25rem; font-size: 0.85rem; color: var(--muted); }
.run-status { display: flex; align-items: center; gap: 0.5rem; color: var(--text); font-weight: 500; }
.pulse { width: 8px; height: 8px; border-radius: 50%; background: var(--pass); animation: pulse 1.6s ease-in-out infinite; }
@keyframes pulse { 0%, 100% { box-shadow: 0 0 0 0 rgba(22, 163, 74, 0.5); } 50% { box-shadow: 0 0 0 6px rgba(22, 163, 74, 0); } }
.run-status.interrupted { color: var(--fail); }
.run-status.interrupted .pulse { background: var(--fail); animation: none; }
.run-time, #date-display, #time-display { font-family: var(--mono); }
main { max-width: 1180px; margin: 0 auto; padding: 1.75rem 2rem 3rem; }
.summary { display: grid; grid-template-columns: repeat(auto-fit, minmax(130px, 1fr)); gap: 1rem; margin-bottom: 1.5rem; }
.card { background: var(--surface); border: 1px solid var(--border); border-top: 3px solid var(--accent); border-radius: var(--radius); padding: 1rem 1.1rem; opacity: 0; animation: slide-in 0.4s ease-out forwards; }
.card:nth-child(1) { animation-delay: 0s; }
.card:nth-child(2) { animation-delay: 0.05s; }
.card:nth-child(3) { animation-delay: 0.1s; }
.card:nth-child(4) { animation-delay: 0.15s; }
.card:nth-child(5) { animation-delay: 0.2s; }
.card:nth-child(6) { animation-delay: 0.25s; }
@keyframes slide-in { from { opacity: 0; transform: translateY(8px); } to { opacity: 1; transform: none; } }
.card.total { border-top-color: var(--text); }
.card.passed { border-top-color: var(--pass); }
.card.failed { border-top-color: var(--fail); }
.card.skipped { border-top-color: var(--skip); }
.card.rate { border-top-color: var(--accent); }
.card.time { border-top-color: var(--muted); }
.card .label { font-size: 0.75rem; text-transform: uppercase; letter-spacing: 0.08em; color: var(--muted); }
.card .value { font-family: var(--serif); font-size: 1.9rem; font-weight: 600; margin-top: 0.25rem; }
.card.passed .value { color: var(--pass); }
.card.failed .value { color: var(--fail); }
.card.skipped .value { color: var(--skip); }
.card.rate .value { color: var(--accent); }
.filters { display: flex; align-items: center; gap: 0.5rem; margin-bottom: 1.25rem; }
.filters-label { font-size: 0.75rem; text-transform: uppercase; letter-spacing: 0.08em; color: var(--muted); margin-right: 0.25rem; }
.filter-btn { font-family: var(--sans); font-size: 0.85rem; padding: 0.35rem 0.9rem; border: 1px solid var(--border); border-radius: 999px; background: var(--surface); color: var(--text); cursor: pointer; }
.filter-btn:hover { border-color: var(--accent); }
.filter-btn.active { background: var(--accent); border-color: var(--accent); color: #fff; }
.filter-btn.active[onclick*="'passed'"] { background: var(--pass); border-color: var(--pass); }
.filter-btn.active[onclick*="'failed'"] { background: var(--fail); border-color: var(--fail); }
.filter-btn.active[onclick*="'skipped'"] { background: var(--skip); border-color: var(--skip); }
.file-group { background: var(--surface); border: 1px solid var(--border); border-radius: var(--radius); margin-bottom: 1rem; overflow: hidden; }
.file-header { display: flex; align-items: center; gap: 0.75rem; padding: 0.8rem 1.1rem; background: var(--surface-2); cursor: pointer; user-select: none; }
.chevron { display: inline-block; font-size: 0.7rem; color: var(--muted); transition: transform 0.15s ease; }
.chevron.collapsed { transform: rotate(-90deg); }
.file-name { font-family: var(--mono); font-weight: 500; flex: 1; }
.dim { color: var(--muted); }
.file-counts { display: flex; gap: 0.4rem; }
.test-table { width: 100%; border-collapse: collapse; }
.test-table th { text-align: left; font-size: 0.72rem; text-transform: uppercase; letter-spacing: 0.08em; color: var(--muted); font-weight: 500; padding: 0.5rem 0.75rem; border-bottom: 1px solid var(--border); }
.test-table td { padding: 0.55rem 0.75rem; border-bottom: 1px solid var(--border); vertical-align: middle; }
.test-row:hover { background: var(--surface-2); }
.test-name { font-family: var(--mono); font-size: 0.85rem; word-break: break-all; }
.duration { text-align: right; font-family: var(--mono); color: var(--muted); }
.badge { display: inline-flex; align-items: center; gap: 0.35rem; font-size: 0.75rem; font-weight: 500; padding: 0.15rem 0.6rem; border-radius: 999px; background: var(--surface-2); }
.badge::before { content: ''; width: 6px; height: 6px; border-radius: 50%; background: currentColor; }
.badge.passed { color: var(--pass); background: var(--pass-tint); }
.badge.failed { color: var(--fail); background: var(--fail-tint); }
.badge.skipped { color: var(--skip); background: var(--skip-tint); }
.badge.xfailed, .badge.xpassed { color: var(--muted); background: var(--accent-tint); }
.icon { font-weight: 700; }
.icon.passed { color: var(--pass); }
.icon.failed { color: var(--fail); }
.icon.skipped { color: var(--skip); }
.expand-btn { font-family: var(--mono); font-size: 0.75rem; padding: 0.2rem 0.6rem; border: none; border-radius: 6px; background: var(--text); color: #fff; cursor: pointer; }
.expand-btn:hover, .expand-btn.open { background: var(--accent); }
.steps-container > td { padding: 0; background: var(--surface-2); }
.steps-inner { padding: 0.75rem 1rem 0.9rem 3rem; }
.steps-table { width: 100%; border-collapse: collapse; font-family: var(--mono); font-size: 0.82rem; }
.steps-table td { padding: 0.3rem 0.5rem; border-bottom: 1px dashed var(--border); vertical-align: top; }
.step-icon { width: 1.5rem; font-weight: 700; color: var(--fail); }
.step-icon.passed { color: var(--pass); }
.step-text { white-space: pre-wrap; word-break: break-word; }
.kw { color: #1d4ed8; font-weight: 700; }
.str { color: #15803d; }
.sel { color: #2563eb; }
.step-msg { margin-top: 0.35rem; padding: 0.4rem 0.6rem; border-left: 3px solid var(--fail); background: var(--fail-tint); color: var(--fail); border-radius: 4px; white-space: pre-wrap; }
.test-msg-row > td { padding: 0 0.75rem 0.55rem 3rem; border-bottom: 1px solid var(--border); }
.test-msg { padding: 0.4rem 0.6rem; border-left: 3px solid var(--muted); background: var(--surface-2); border-radius: 4px; font-family: var(--mono); font-size: 0.8rem; white-space: pre-wrap; word-break: break-word; }
.test-msg.failed { border-left-color: var(--fail); color: var(--fail); background: var(--fail-tint); }
.more summary { cursor: pointer; color: var(--accent); font-family: var(--sans); font-size: 0.75rem; }
.more pre { margin: 0.4rem 0 0; white-space: pre-wrap; word-break: break-word; color: var(--text); font-family: var(--mono); font-size: 0.78rem; }
.step-account { margin-top: 0.15rem; font-family: var(--sans); font-size: 0.75rem; color: var(--muted); white-space: normal; }
.step-time { width: 4.5rem; text-align: right; color: var(--muted); white-space: nowrap; }
.clock { width: 0.95em; height: 0.95em; vertical-align: -0.12em; margin-right: 0.3em; }
.step-screenshot img { width: 320px; margin-top: 0.4rem; border: 1px solid var(--border); border-radius: 6px; }
.hidden { display: none; }
.collapsed-body { display: none; }
.filtered { display: none; }
</style>
</head>
<body>
)HTML";

constexpr std::string_view kScript = R"HTML(<script>
const DAYS = ['Sunday', 'Monday', 'Tuesday', 'Wednesday', 'Thursday', 'Friday', 'Saturday'];
const MONTHS = ['January', 'February', 'March', 'April', 'May', 'June', 'July', 'August',
                'September', 'October', 'November', 'December'];

function ordinal(n) {
  const teen = n % 100;
  if (teen >= 11 && teen <= 13) return n + 'th';
  switch (n % 10) {
    case 1: return n + 'st';
    case 2: return n + 'nd';
    case 3: return n + 'rd';
    default: return n + 'th';
  }
}

function updateClock() {
  const now = new Date();
  document.getElementById('date-display').textContent =
      DAYS[now.getDay()] + ', ' + ordinal(now.getDate()) + ' ' + MONTHS[now.getMonth()] + ' ' +
      now.getFullYear();
  const hours = now.getHours();
  const minutes = String(now.getMinutes()).padStart(2, '0');
  document.getElementById('time-display').textContent =
      (hours % 12 === 0 ? 12 : hours % 12) + ':' + minutes + ' ' + (hours < 12 ? 'AM' : 'PM');
}

function filter(status, btn) {
  document.querySelectorAll('.filter-btn').forEach(b => b.classList.remove('active'));
  btn.classList.add('active');
  document.querySelectorAll('.test-row').forEach(row => {
    const hide = status !== 'all' && row.dataset.status !== status;
    row.classList.toggle('hidden', hide);
    // Open steps go out of sight with their test and come back open.
    const next = row.nextElementSibling;
    if (next && next.classList.contains('steps-container')) next.classList.toggle('filtered', hide);
  });
  document.querySelectorAll('.test-msg-row').forEach(row => {
    row.classList.toggle('filtered', status !== 'all' && row.dataset.status !== status);
  });
  document.querySelectorAll('.file-group').forEach(group => {
    const visible = group.querySelector('.test-row:not(.hidden)');
    group.classList.toggle('hidden', !visible);
  });
}

function toggleGroup(header) {
  header.nextElementSibling.classList.toggle('collapsed-body');
  header.querySelector('.chevron').classList.toggle('collapsed');
}

function toggleSteps(id, btn) {
  const row = document.getElementById(id);
  const wasOpen = !row.classList.contains('hidden');
  row.classList.toggle('hidden');
  btn.textContent = wasOpen ? '+ view steps' : '- hide steps';
  btn.classList.toggle('open', !wasOpen);
  const event = window.event;
  if (event) event.stopPropagation();
}

updateClock();
setInterval(updateClock, 1000);
</script>
</body>
</html>
)HTML";

// A stopwatch drawn inline, so the header needs no emoji font.
constexpr std::string_view kClock =
    "<svg class=\"clock\" viewBox=\"0 0 16 16\" aria-hidden=\"true\"><circle cx=\"8\" "
    "cy=\"9\" r=\"5.75\" fill=\"none\" stroke=\"currentColor\" stroke-width=\"1.5\"/><path "
    "d=\"M8 9V6.25M6 1.75h4M12.4 4.1l1.1-1.1\" fill=\"none\" stroke=\"currentColor\" "
    "stroke-width=\"1.5\" stroke-linecap=\"round\"/></svg>";

void add_card(std::string& out, std::string_view kind, std::string_view label,
              std::string_view value) {
  out += "  <div class=\"card ";
  out += kind;
  out += "\"><div class=\"label\">";
  out += label;
  out += "</div><div class=\"value\">";
  out += value;
  out += "</div></div>\n";
}

std::string_view test_icon(std::string_view status) {
  if (status == "passed") return "\u2713";
  if (status == "failed") return "\u2717";
  return "\u25CB";
}

// The number of characters (not bytes) of UTF-8 text.
std::size_t char_count(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// A message as HTML: whole when it is short, else its beginning with the whole
// text one click away.
std::string shown(std::string_view message) {
  std::string_view head = text::first_chars(message, kShownChars);
  if (head.size() == message.size()) return escape(message);
  return escape(head) + "\u2026<details class=\"more\"><summary>show all (" +
         std::to_string(char_count(message)) + " characters)</summary><pre>" + escape(message) +
         "</pre></details>";
}

void add_step_row(std::string& out, const Step& s) {
  out += "<tr><td class=\"step-icon ";
  out += escape(s.status, true);
  out += "\">";
  out += s.status == "passed" ? "\u2713" : "\u2717";
  out += "</td><td class=\"step-text\">";
  out += highlight(s.instruction);
  if (!s.account.empty()) {
    out += "<div class=\"step-account\">" + escape(s.account) + "</div>";
  }
  if (!s.message.empty()) {
    out += "<div class=\"step-msg\">" + shown(s.message) + "</div>";
  }
  if (!s.screenshot.empty()) {
    out += "<div class=\"step-screenshot\"><img src=\"data:image/png;base64,";
    out += escape(s.screenshot, true);
    out += "\" alt=\"screenshot\"/></div>";
  }
  out += "</td>";
  std::string time = step_time(s.duration_ms);
  if (!time.empty()) out += "<td class=\"step-time\">" + time + "</td>";
  out += "</tr>\n";
}

void add_test_row(std::string& out, const Result& t, std::string_view file_attr,
                  std::size_t number) {
  std::string sid = "steps-" + std::to_string(number);
  std::string status = escape(t.status, true);
  out += "<tr class=\"test-row\" data-status=\"" + status + "\" data-file=\"";
  out += file_attr;
  out += "\">\n";
  out += "  <td><span class=\"icon " + status + "\">";
  out += test_icon(t.status);
  out += "</span></td>\n";
  out += "  <td class=\"test-name\">" + escape(t.test) + "</td>\n";
  out += "  <td>";
  if (!t.steps.empty()) {
    out += "<button class=\"expand-btn\" onclick=\"toggleSteps('" + sid +
           "', this)\">+ view steps</button>";
  }
  out += "</td>\n";
  out += "  <td><span class=\"badge " + status + "\">" + escape(t.status) + "</span></td>\n";
  out += "  <td class=\"duration\">" + fixed2(t.duration) + "s</td>\n";
  out += "</tr>\n";
  if (!t.steps.empty()) {
    out += "<tr class=\"steps-container hidden\" id=\"" + sid +
           "\"><td colspan=\"5\"><div class=\"steps-inner\"><table "
           "class=\"steps-table\"><tbody>\n";
    for (const Step& s : t.steps) add_step_row(out, s);
    out += "</tbody></table></div></td></tr>\n";
  }
  // Why the test failed or was skipped (outside any step: a fixture, an assert,
  // an exception), with pytest's whole account one click away.
  if (!t.reason.empty() || !t.details.empty()) {
    out += "<tr class=\"test-msg-row\" data-status=\"" + status + "\"><td colspan=\"5\">";
    out += "<div class=\"test-msg " + status + "\">" + shown(t.reason);
    if (!t.details.empty() && t.details != t.reason) {
      out += "<details class=\"more\"><summary>details</summary><pre>" + escape(t.details) +
             "</pre></details>";
    }
    out += "</div></td></tr>\n";
  }
}

// Results by status, for the summary and for each file group.
struct Counts {
  std::size_t passed = 0, failed = 0, skipped = 0, xfailed = 0, xpassed = 0;

  void add(std::string_view status) {
    if (status == "passed") ++passed;
    if (status == "failed") ++failed;
    if (status == "skipped") ++skipped;
    if (status == "xfailed") ++xfailed;
    if (status == "xpassed") ++xpassed;
  }
};

void add_pill(std::string& out, std::size_t count, std::string_view status) {
  if (count == 0) return;
  out += "<span class=\"badge ";
  out += status;
  out += "\">" + std::to_string(count) + " ";
  out += status;
  out += "</span>";
}

}  // namespace

std::string render(const Run& run) {
  Counts all;
  for (const Result& r : run.results) all.add(r.status);
  const std::size_t total = run.results.size();
  const std::string duration = float_repr(round2(run.elapsed));

  // File groups in order of each file's first result, tests in result order.
  std::vector<std::vector<const Result*>> groups;
  std::unordered_map<std::string_view, std::size_t> group_of;
  for (const Result& r : run.results) {
    auto [it, added] = group_of.try_emplace(r.file, groups.size());
    if (added) groups.emplace_back();
    groups[it->second].push_back(&r);
  }

  std::string out(kHead);
  out += "<header class=\"header\">\n";
  out +=
      "  <div class=\"brand\"><span class=\"brand-name\">marrowlane</span>"
      "<span class=\"brand-tag\">Test Report</span></div>\n";
  out += "  <div class=\"run-meta\">";
  if (run.interrupted.empty()) {
    out += "<span class=\"run-status\"><span class=\"pulse\"></span>Run complete</span>";
  } else {
    out += "<span class=\"run-status interrupted\" title=\"" + escape(run.interrupted, true) +
           "\"><span class=\"pulse\"></span>Interrupted: " + escape(run.interrupted) + "</span>";
  }
  out += "<span class=\"run-time\">" + std::string(kClock) + duration +
         "s</span><span id=\"date-display\"></span><span id=\"time-display\"></span></div>\n";
  out += "</header>\n<main>\n<section class=\"summary\">\n";
  add_card(out, "total", "Total", std::to_string(total));
  add_card(out, "passed", "Passed", std::to_string(all.passed));
  add_card(out, "failed", "Failed", std::to_string(all.failed));
  add_card(out, "skipped", "Skipped", std::to_string(all.skipped));
  if (all.xfailed) add_card(out, "skipped", "XFailed", std::to_string(all.xfailed));
  if (all.xpassed) add_card(out, "skipped", "XPassed", std::to_string(all.xpassed));
  add_card(out, "rate", "Pass Rate", std::to_string(pass_rate(all.passed, total)) + "%");
  add_card(out, "time", "Duration", duration + "s");
  out += "</section>\n";
  out +=
      "<div class=\"filters\"><span class=\"filters-label\">Filter</span>"
      "<button class=\"filter-btn active\" onclick=\"filter('all', this)\">All</button>"
      "<button class=\"filter-btn\" onclick=\"filter('passed', this)\">Passed</button>"
      "<button class=\"filter-btn\" onclick=\"filter('failed', this)\">Failed</button>"
      "<button class=\"filter-btn\" onclick=\"filter('skipped', this)\">Skipped</button>";
  if (all.xfailed) {
    out += "<button class=\"filter-btn\" onclick=\"filter('xfailed', this)\">XFailed</button>";
  }
  if (all.xpassed) {
    out += "<button class=\"filter-btn\" onclick=\"filter('xpassed', this)\">XPassed</button>";
  }
  out += "</div>\n";
  out += "<div class=\"groups\" id=\"groups\">\n";

  // Steps ids count every test of the page, with or without steps.
  std::size_t step_counter = 0;
  for (const auto& tests : groups) {
    const std::string& file_path = tests.front()->file;
    Counts in_file;
    for (const Result* t : tests) in_file.add(t->status);
    std::string file_attr = escape(file_path, true);
    out += "<div class=\"file-group\" data-file=\"" + file_attr + "\">\n";
    out +=
        "<div class=\"file-header\" onclick=\"toggleGroup(this)\"><span "
        "class=\"chevron\">\u25BC</span><span class=\"file-name\">" +
        file_label(file_path) + "</span><span class=\"file-counts\">";
    add_pill(out, in_file.passed, "passed");
    add_pill(out, in_file.failed, "failed");
    add_pill(out, in_file.skipped, "skipped");
    add_pill(out, in_file.xfailed, "xfailed");
    add_pill(out, in_file.xpassed, "xpassed");
    out += "</span></div>\n";
    out +=
        "<table class=\"test-table\">\n<thead><tr><th style=\"width:32px\"></th><th>Test</th>"
        "<th style=\"width:130px\"></th><th style=\"width:110px\">Status</th>"
        "<th style=\"width:80px;text-align:right\">Duration</th></tr></thead>\n<tbody>\n";
    for (const Result* t : tests) add_test_row(out, *t, file_attr, ++step_counter);
    out += "</tbody>\n</table>\n</div>\n";
  }
  out += "</div>\n</main>\n";
  out += kScript;
  return out;
}

}  // namespace marrowlane::report
