// marrowlane_web.harness.reporter: the pytest plugin that keeps one result per
// test and writes the HTML report when the session ends. pytest's reports, the
// config object and the step lists are read here into plain values; the rules
// and the page live in the core (marrowlane/report.hpp).
#include <string>

#include "common/common.hpp"
#include "marrowlane/report.hpp"

namespace py = pybind11;
namespace report = marrowlane::report;
using namespace marrowlane::bind;

namespace {

// The reporter's state is four ordinary attributes, as a Python plugin would
// keep them; they stay writable. Beside them: `_details`, node id -> {"reason":
// one line, "text": pytest's whole account} for tests that failed or were
// skipped, and why the run stopped early when it did.
struct Reporter {
  py::object report_path = py::none();
  py::object config = py::none();
  py::object results = py::none();
  py::object start_time = py::none();
  py::object details = py::none();
  std::string interrupted;
};

// The reporter and the config object refer to each other (the config's plugin
// manager holds the reporter), so the collector must see the reporter's members.
void setup_gc(PyHeapTypeObject* heap_type) {
  PyTypeObject* type = &heap_type->ht_type;
  type->tp_flags |= Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = [](PyObject* self_base, visitproc visit, void* arg) -> int {
    Py_VISIT(Py_TYPE(self_base));
    if (py::detail::is_holder_constructed(self_base)) {
      auto& self = py::cast<Reporter&>(py::handle(self_base));
      Py_VISIT(self.report_path.ptr());
      Py_VISIT(self.config.ptr());
      Py_VISIT(self.results.ptr());
      Py_VISIT(self.start_time.ptr());
      Py_VISIT(self.details.ptr());
    }
    return 0;
  };
  type->tp_clear = [](PyObject* self_base) -> int {
    if (py::detail::is_holder_constructed(self_base)) {
      auto& self = py::cast<Reporter&>(py::handle(self_base));
      self.report_path = py::none();
      self.config = py::none();
      self.results = py::none();
      self.start_time = py::none();
      self.details = py::none();
    }
    return 0;
  };
}

double now() { return py::module_::import("time").attr("time")().cast<double>(); }

py::list results_of(const Reporter& self) {
  check_result(self.results, Kind::List);
  return py::reinterpret_borrow<py::list>(self.results);
}

// A number read as Python's float() reads it; None (or nothing) is 0.0.
double seconds(py::handle value) {
  if (value.is_none()) return 0.0;
  return py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
}

// A record's optional text, shown only when truthy (str() of other values).
std::string shown_text(py::handle record, const char* key) {
  py::object value = get(record, key);
  if (!truthy(value)) return {};
  return text_of(value, /*convert=*/true).value_or("");
}

Reporter make_reporter(py::object report_path, py::object config) {
  check_arg(report_path, "report_path", Kind::Str);
  return Reporter{std::move(report_path), std::move(config), py::list(),
                  py::float_(now()),      py::dict(),        {}};
}

py::object extract_message(const Reporter&, py::handle report) {
  py::object longrepr = py::getattr(report, "longrepr", py::none());
  if (longrepr.is_none()) return py::str("");
  // pytest leaves the crash entry empty when every frame of the traceback is
  // hidden: then the text is all there is, as for a plain-text failure.
  py::object crash = py::getattr(longrepr, "reprcrash", py::none());
  if (!crash.is_none()) {
    py::object message = crash.attr("message");
    check_result(message, Kind::Str, /*none_ok=*/true);
    return message;
  }
  return from_utf8(report::last_line(to_utf8(py::str(longrepr))));
}

py::dict make_record(py::handle nodeid, const report::NodeId& id, std::string_view status,
                     double duration, py::handle message, std::string_view when) {
  py::dict record;
  record["nodeid"] = nodeid;
  record["file"] = from_utf8(id.file);
  record["test"] = from_utf8(id.test);
  record["status"] = from_utf8(status);
  record["duration"] = py::float_(duration);
  record["message"] = message;
  record["when"] = from_utf8(when);
  return record;
}

// pytest's whole account of a report (the traceback), or None when it has none.
py::object account(py::handle report) {
  py::object text = py::getattr(report, "longreprtext", py::none());
  return PyUnicode_Check(text.ptr()) && truthy(text) ? text : py::none();
}

// The one line that says why a test was skipped: a skip's reason, not the
// (file, line, reason) triple pytest keeps it in.
py::object skip_reason(py::handle longrepr) {
  if (PyTuple_Check(longrepr.ptr()) && py::len(longrepr) == 3)
    return py::str(longrepr[py::int_(2)]);
  return truthy(longrepr) ? py::str(longrepr) : py::str("");
}

void note_details(const Reporter& self, py::handle nodeid, py::object reason, py::object text) {
  if (!PyDict_Check(self.details.ptr())) return;
  py::dict entry;
  entry["reason"] = std::move(reason);
  entry["text"] = std::move(text);
  self.details[nodeid] = entry;
}

// The latest result of the test `nodeid`, or None.
py::object latest_result(const py::list& results, py::handle nodeid) {
  for (std::size_t i = results.size(); i-- > 0;) {
    // Held: the comparison below may run any code, the removal of the record
    // from the list included.
    py::object record = results[i];
    if (PyDict_CheckExact(record.ptr()) && get(record, "nodeid").equal(nodeid)) {
      return py::reinterpret_borrow<py::object>(record);
    }
  }
  return py::none();
}

void runtest_logreport(const Reporter& self, py::handle report) {
  py::object when = py::getattr(report, "when", py::none());
  if (!PyUnicode_Check(when.ptr())) return;
  const std::string when_text = to_utf8(when);
  const bool failed = truthy(py::getattr(report, "failed", py::bool_(false)));
  const bool skipped = truthy(py::getattr(report, "skipped", py::bool_(false)));
  const report::Phase phase = report::classify(when_text, failed, skipped);
  if (phase == report::Phase::Ignore) return;

  py::list results = results_of(self);
  const double duration = seconds(py::getattr(report, "duration", py::none()));
  py::object nodeid = report.attr("nodeid");
  const std::string nodeid_text = to_utf8(nodeid);
  const report::NodeId id = report::split_nodeid(nodeid_text);

  if (phase == report::Phase::TeardownFailure) {
    py::object message = extract_message(self, report);
    py::object record = latest_result(results, nodeid);
    if (record.is_none()) {
      results.append(make_record(nodeid, id, "failed", duration, message, when_text));
    } else if (report::teardown_overrides(get_text(record, "status", true).value_or(""))) {
      record["status"] = py::str("failed");
      record["message"] = message;
      record["when"] = when;
    } else {
      return;  // the test's own failure stays its reason
    }
    note_details(self, nodeid, message, account(report));
    return;
  }

  const bool passed = truthy(py::getattr(report, "passed", py::bool_(false)));
  py::object wasxfail = py::getattr(report, "wasxfail", py::none());
  const std::string_view status = report::status_of(passed, failed, !wasxfail.is_none());
  py::object longrepr = py::getattr(report, "longrepr", py::none());
  py::object message = py::str("");
  if (status == "failed" || status == "xfailed") {
    message = extract_message(self, report);
  } else if (status == "skipped" && truthy(longrepr)) {
    message = py::str(longrepr);
  }
  results.append(make_record(nodeid, id, status, duration, message, when_text));

  if (status == "failed") {
    note_details(self, nodeid, message, account(report));
  } else if (status == "skipped") {
    note_details(self, nodeid, skip_reason(longrepr), py::none());
  } else if (status == "xfailed" || status == "xpassed") {
    std::string why = "expected to fail";
    if (truthy(wasxfail)) why += " (" + to_utf8(py::str(wasxfail)) + ")";
    if (status == "xpassed") why += ", but passed";
    if (!message.is_none() && truthy(message)) why += ": " + to_utf8(py::str(message));
    note_details(self, nodeid, from_utf8(why), account(report));
  }
}

// A file or module that could not be collected is a failure of its own.
void collectreport(const Reporter& self, py::handle report) {
  if (!truthy(py::getattr(report, "failed", py::bool_(false)))) return;
  py::object nodeid = report.attr("nodeid");
  const std::string nodeid_text = to_utf8(nodeid);
  py::object message = extract_message(self, report);
  results_of(self).append(
      make_record(nodeid, report::split_nodeid(nodeid_text), "failed", 0.0, message, "collect"));
  note_details(self, nodeid, message, account(report));
}

// pytest stops a run with a KeyboardInterrupt of its own for collection errors
// ("1 error during collection") and pytest.exit(); a bare one is Ctrl-C.
void keyboard_interrupt(Reporter& self, py::handle excinfo) {
  std::string why = to_utf8(py::str(excinfo.attr("value")));
  self.interrupted = why.empty() ? "stopped with Ctrl-C" : why;
}

// A step's duration in milliseconds: a number, else none shown (-1).
double step_ms(py::handle step) {
  py::object value = get(step, "duration_ms");
  if (PyBool_Check(value.ptr()) || !(PyFloat_Check(value.ptr()) || PyLong_Check(value.ptr()))) {
    return -1.0;
  }
  return seconds(value);
}

report::Step read_step(py::handle step) {
  return report::Step{get_text(step, "instruction", true).value_or(""),
                      get_text(step, "status", true).value_or(""),
                      shown_text(step, "message"),
                      shown_text(step, "screenshot"),
                      shown_text(step, "account"),
                      step_ms(step)};
}

py::str render(const Reporter& self) {
  report::Run run;
  py::object all_steps = py::getattr(self.config, "_marrowlane_steps", py::none());
  // Python's own iteration: reading a record may run any code (a str() of a
  // value), and unlike a walk over the list's item array it stays sound when
  // that code changes the list.
  for (py::handle record : py::iter(results_of(self))) {
    report::Result result{get_text(record, "file", true).value_or(""),
                          get_text(record, "test", true).value_or(""),
                          get_text(record, "status", true).value_or(""),
                          seconds(get(record, "duration")),
                          {}};
    py::object detail = PyDict_Check(self.details.ptr())
                            ? self.details.attr("get")(get(record, "nodeid"))
                            : py::none();
    if (PyDict_Check(detail.ptr())) {
      result.reason = shown_text(detail, "reason");
      result.details = shown_text(detail, "text");
    } else if (result.status != "passed") {
      result.reason = shown_text(record, "message");
    }
    if (result.test.empty() && get_text(record, "when").value_or("") == "collect") {
      result.test = "(collecting)";
    }
    if (!all_steps.is_none()) {
      py::object steps = all_steps.attr("get")(get(record, "nodeid"));
      if (!steps.is_none()) {
        for (py::handle step : steps) result.steps.push_back(read_step(step));
      }
    }
    run.results.push_back(std::move(result));
  }
  run.elapsed = now() - seconds(self.start_time);
  run.interrupted = self.interrupted;
  return from_utf8(report::render(run));
}

// pytest's exit status for a run it interrupted (Ctrl-C, collection errors).
constexpr int kInterrupted = 2;

// Why the run stopped before its end, or "" when it did not.
std::string stop_reason(const Reporter& self, py::handle session, int exitstatus) {
  if (!self.interrupted.empty()) return self.interrupted;
  if (!session.is_none()) {
    for (const char* name : {"shouldfail", "shouldstop"}) {
      py::object why = py::getattr(session, name, py::none());
      if (truthy(why)) return PyUnicode_Check(why.ptr()) ? to_utf8(why) : "stopped early";
    }
  }
  return exitstatus == kInterrupted ? "stopped before the end" : "";
}

void sessionfinish(Reporter& self, py::handle session, py::handle exitstatus) {
  const int status = exitstatus.is_none()
                         ? 0
                         : py::int_(py::reinterpret_borrow<py::object>(exitstatus)).cast<int>();
  self.interrupted = stop_reason(self, session, status);
  // A run in which nothing ran (nothing collected, --collect-only) keeps the
  // previous report; an interrupted one says so, even with nothing to show.
  if (py::len(results_of(self)) == 0 && !session.is_none() && self.interrupted.empty()) return;

  py::module_ os = py::module_::import("os");
  py::object directory = os.attr("path").attr("dirname")(self.report_path);
  if (!truthy(directory)) directory = py::str(".");
  os.attr("makedirs")(directory, py::arg("exist_ok") = true);
  // Rendered and encoded whole before any file is opened, then written beside
  // the report and renamed over it: an error on the way leaves the previous
  // report as it was, and a reader never sees half a page.
  py::object data = render(self).attr("encode")("utf-8");
  py::tuple made = py::module_::import("tempfile")
                       .attr("mkstemp")(py::arg("dir") = directory, py::arg("prefix") = ".report-",
                                        py::arg("suffix") = ".tmp");
  py::object temporary = made[1];
  try {
    write_and_close(os.attr("fdopen")(made[0], "wb"), data);
    os.attr("chmod")(temporary, 0644);
    os.attr("replace")(temporary, self.report_path);
  } catch (...) {
    try {
      os.attr("remove")(temporary);
    } catch (py::error_already_set&) {
    }
    throw;
  }
}

py::str highlight(const Reporter&, py::handle instruction) {
  return from_utf8(report::highlight(str_arg(instruction, "instruction")));
}

py::str file_label(const Reporter&, py::handle file_path) {
  return from_utf8(report::file_label(str_arg(file_path, "file_path")));
}

// pluggy takes a hook's argument names from the function's code object, which
// compiled functions lack. So each hook is a one-line Python function, made
// from its parameter list, that hands its arguments to the compiled code.
template <typename Class>
void def_hook(Class& cls, const char* name, const char* params, py::cpp_function impl) {
  const std::string qualname = std::string("MarrowlaneReporter.") + name;
  const std::string source =
      std::string("def ") + name + "(" + params + "):\n    return _impl(" + params + ")\n";
  py::dict scope;
  scope["_impl"] = impl;
  py::module_ builtins = py::module_::import("builtins");
  builtins.attr("exec")(builtins.attr("compile")(source, "<" + qualname + ">", "exec"), scope);
  py::object hook = scope[name];
  hook.attr("__module__") = cls.attr("__module__");
  hook.attr("__qualname__") = qualname;
  hook.attr("__doc__") = py::str("");
  hook.attr("__text_signature__") = std::string("(") + params + ")";
  cls.attr(name) = hook;
}

}  // namespace

PYBIND11_MODULE(reporter, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "HTML test report: result collection and page rendering.";

  py::class_<Reporter> cls(m, "MarrowlaneReporter", py::custom_type_setup(setup_gc));
  cls.def(py::init(&make_reporter), doc("__init__(self, report_path, config)").c_str(),
          py::arg("report_path"), py::arg("config"))
      .def_readwrite("report_path", &Reporter::report_path)
      .def_readwrite("config", &Reporter::config)
      .def_readwrite("results", &Reporter::results)
      .def_readwrite("start_time", &Reporter::start_time)
      .def_readwrite("_details", &Reporter::details)
      .def("_render", &render, doc("_render(self)").c_str())
      .def("_highlight", &highlight, doc("_highlight(self, instruction)").c_str(),
           py::arg("instruction"))
      .def("_file_label", &file_label, doc("_file_label(self, file_path)").c_str(),
           py::arg("file_path"))
      .def("_extract_message", &extract_message, doc("_extract_message(self, report)").c_str(),
           py::arg("report"));
  cls.attr("_KEYWORDS") = py::tuple(list_of(report::kKeywords));
  def_hook(cls, "pytest_runtest_logreport", "self, report",
           py::cpp_function(&runtest_logreport, py::name("pytest_runtest_logreport")));
  def_hook(cls, "pytest_sessionfinish", "self, session, exitstatus",
           py::cpp_function(&sessionfinish, py::name("pytest_sessionfinish")));
  def_hook(cls, "pytest_collectreport", "self, report",
           py::cpp_function(&collectreport, py::name("pytest_collectreport")));
  def_hook(cls, "pytest_keyboard_interrupt", "self, excinfo",
           py::cpp_function(&keyboard_interrupt, py::name("pytest_keyboard_interrupt")));
}
