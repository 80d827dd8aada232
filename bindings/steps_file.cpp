// marrowlane_web.harness.steps_file: the grammar of .steps files. `read` takes
// the text of a file and answers with its tests and the problems of its shape,
// as plain tuples for the collector and the checker to walk.
#include "marrowlane/steps_file.hpp"

#include "common/common.hpp"

namespace py = pybind11;
namespace sf = marrowlane::steps_file;
using namespace marrowlane::bind;

namespace {

constexpr const char* kReadDoc =
    "The tests and the problems of a .steps file's text.\n\n"
    "Returns (tests, problems): tests as (line, title, [(line, step), ...]) in file\n"
    "order, problems as (line, message) in line order. Lines count from 1.";

py::tuple read_text(py::handle text) {
  sf::File file = sf::read(str_arg(text, "text"));
  py::list tests;
  for (const sf::Test& test : file.tests) {
    py::list steps;
    for (const sf::Step& step : test.steps) {
      steps.append(py::make_tuple(py::int_(step.line), from_utf8(step.text)));
    }
    tests.append(py::make_tuple(py::int_(test.line), from_utf8(test.title), steps));
  }
  py::list problems;
  for (const sf::Problem& problem : file.problems) {
    problems.append(py::make_tuple(py::int_(problem.line), from_utf8(problem.message)));
  }
  return py::make_tuple(tests, problems);
}

}  // namespace

PYBIND11_MODULE(steps_file, m) {
  py::options options;
  prepare_module(options);

  m.def("read", &read_text, doc("read(text)", kReadDoc).c_str(), py::arg("text"));
  m.attr("TEST_KEYWORD") = from_utf8(sf::kTestKeyword);
}
