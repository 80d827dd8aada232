// marrowlane_web.engine.agent.step_parser: the step language. StepParser turns
// one plain-English step into a parsed instruction (a dict) and checks steps
// for writing mistakes; the vocabulary tables are exposed as the Python kinds a
// caller expects (list, frozenset, dicts in table order).
#include "marrowlane/step_parser.hpp"

#include "common/common.hpp"

namespace py = pybind11;
namespace sp = marrowlane::step_parser;
using namespace marrowlane::bind;

namespace {

class StepParser {};

// A double quote, one or more other characters, a double quote.
constexpr const char* kQuotePattern = "\"([^\"]+)\"";

py::dict parse(const StepParser&, py::handle instruction) {
  sp::Instruction parsed = sp::parse(str_arg(instruction, "instruction"));
  py::dict out;
  out["action"] = from_utf8(parsed.action);
  out["target"] = str_or_none(parsed.target);
  out["value"] = str_or_none(parsed.value);
  if (parsed.ordinal) out["ordinal"] = py::int_(*parsed.ordinal);
  out["_literal_target"] = py::bool_(parsed.literal_target);
  return out;
}

py::list validate(const StepParser&, py::handle instruction) {
  return list_of(sp::validate(str_arg(instruction, "instruction")));
}

py::dict validate_all(const StepParser&, py::handle instructions) {
  check_arg(instructions, "instructions", Kind::List);
  // Each line is checked as `validate` checks its argument.
  std::vector<std::string> lines;
  for (py::handle line : py::reinterpret_borrow<py::list>(instructions)) {
    lines.push_back(str_arg(line, "instruction"));
  }
  std::vector<std::string_view> views(lines.begin(), lines.end());
  py::dict out;
  for (const auto& [number, issues] : sp::validate_all(views)) {
    out[py::int_(number)] = list_of(issues);
  }
  return out;
}

py::tuple unquote(py::handle instruction) {
  sp::Unquoted result = sp::unquote(str_arg(instruction, "instruction"));
  return py::make_tuple(from_utf8(result.text), list_of(result.literals));
}

py::str clean_target(py::handle target) {
  return from_utf8(sp::clean_target(str_arg(target, "target")));
}

py::tuple extract_ordinal(py::handle text) {
  std::string source = str_arg(text, "text");
  auto [ordinal, rest] = sp::extract_ordinal(source);
  return py::make_tuple(py::int_(ordinal), from_utf8(rest));
}

}  // namespace

PYBIND11_MODULE(step_parser, m) {
  py::options options;
  prepare_module(options);

  py::class_<StepParser> cls(m, "StepParser");
  cls.def(py::init<>(), doc("__init__(self)").c_str())
      .def("parse", &parse, doc("parse(self, instruction)").c_str(), py::arg("instruction"))
      .def("validate", &validate, doc("validate(self, instruction)").c_str(),
           py::arg("instruction"))
      .def("validate_all", &validate_all, doc("validate_all(self, instructions)").c_str(),
           py::arg("instructions"))
      .def_static("_unquote", &unquote, doc("_unquote(instruction)").c_str(),
                  py::arg("instruction"))
      .def_static("_clean_target", &clean_target, doc("_clean_target(target)").c_str(),
                  py::arg("target"));
  cls.attr("SUPPORTED_ACTIONS") = list_of(sp::kSupportedActions);
  cls.attr("_KNOWN_ACTIONS") = frozenset_of(sp::kKnownActions);
  cls.attr("_VERIFY_STATES") = dict_of(sp::kVerifyStates);
  cls.attr("_VERIFY_TEXT_STATES") = dict_of(sp::kVerifyTextStates);
  cls.attr("_STOP_WORDS") = frozenset_of(sp::kStopWords);

  m.attr("_ORDINALS") = dict_of(sp::kOrdinals);
  // The quote pattern as a compiled Python pattern, for callers that scan with
  // it; the core scans for the same pairs itself.
  m.attr("_QUOTE_RE") = py::module_::import("re").attr("compile")(kQuotePattern);
  m.def("_extract_ordinal", &extract_ordinal, doc("_extract_ordinal(text)").c_str(),
        py::arg("text"));
}
