// marrowlane_web.engine.strategies.layout_strategy: the spatial member of the
// strategy layer. Its one method checks its arguments and answers None; the
// working spatial resolution is GridBuilder followed by GridResolver.
#include "common/common.hpp"

namespace py = pybind11;
using namespace marrowlane::bind;

namespace {

class LayoutStrategy {};

py::object resolve(const LayoutStrategy&, py::handle parsed_instruction, py::handle matrix,
                   py::handle dom_candidates) {
  check_arg(parsed_instruction, "parsed_instruction", Kind::Dict);
  check_arg(matrix, "matrix", Kind::Dict);
  check_arg(dom_candidates, "dom_candidates", Kind::List);
  return py::none();
}

}  // namespace

PYBIND11_MODULE(layout_strategy, m) {
  py::options options;
  prepare_module(options);
  m.doc() = "Spatial (Level-2) resolution strategy.";

  py::class_<LayoutStrategy>(
      m, "LayoutStrategy",
      "Resolves instructions using spatial relationships between DOM elements.")
      .def(py::init<>(), doc("__init__(self)").c_str())
      .def("resolve", &resolve,
           doc("resolve(self, parsed_instruction, matrix, dom_candidates)").c_str(),
           py::arg("parsed_instruction"), py::arg("matrix"), py::arg("dom_candidates"));
}
